// Filling the compilation from the list, under each "Save path" state.
#include <sys/xattr.h>

#include "CompilationFixture.h"
#include "burner/iso/DiscPaths.h"
#include "burner/iso/FillCompilation.h"

namespace kestrel::test {
namespace {

class FillTest : public CompilationTest {
protected:
    void SetUp() override {
        Source("A/B/f.txt");
        Source("A/B/sub/g.txt");
        Source("A/h.txt");
    }
    // The disc directory the source directory Relative maps to when saved.
    std::string Saved(const std::string& Relative) { return *DiscDirFromSource(src / Relative); }
    TFillResult Fill(TSavePathState State, std::vector<TListEntry> Entries, bool ArchiveFiles = false) {
        TFillOptions options;
        options.SavePath = State;
        options.ArchiveFiles = ArchiveFiles;
        return FillCompilation(comp, Entries, options);
    }
};

TEST_F(FillTest, UncheckedPutsEverythingInTheRoot) {
    const TFillResult result =
        Fill(TSavePathState::Unchecked, {{src / "A/B/", true}, {src / "A/h.txt", false}});
    EXPECT_TRUE(result.Filled);
    EXPECT_EQ(Names(comp.RootDir), (std::vector<std::string>{"sub", "f.txt", "h.txt"}));
    EXPECT_EQ(Names(comp.FindDirEntry("\\sub")), std::vector<std::string>{"g.txt"});
}

TEST_F(FillTest, CheckedKeepsTheWholeSourcePath) {
    Fill(TSavePathState::Checked, {{src / "A/B/", true}, {src / "A/h.txt", false}});
    EXPECT_EQ(Names(comp.FindDirEntry(Saved("A/B"))), (std::vector<std::string>{"sub", "f.txt"}));
    EXPECT_EQ(Names(comp.FindDirEntry(Saved("A/B/sub"))), std::vector<std::string>{"g.txt"});
    EXPECT_EQ(Names(comp.FindDirEntry(Saved("A"))), (std::vector<std::string>{"B", "h.txt"}));
}

TEST_F(FillTest, GrayedKeepsOnlyTheLastDirectory) {
    Fill(TSavePathState::Grayed, {{src / "A/B/", true}, {src / "A/h.txt", false}});
    EXPECT_EQ(Names(comp.FindDirEntry("\\B")), (std::vector<std::string>{"sub", "f.txt"}));
    EXPECT_EQ(Names(comp.FindDirEntry("\\B\\SUB")), std::vector<std::string>{"g.txt"});
    EXPECT_EQ(Names(comp.FindDirEntry("\\A")), std::vector<std::string>{"h.txt"});
    EXPECT_EQ(Names(comp.RootDir), (std::vector<std::string>{"B", "A"}));
}

TEST_F(FillTest, ClearedRecursiveBoxTakesOnlyDirectFiles) {
    Fill(TSavePathState::Grayed, {{src / "A/B/", false}});
    EXPECT_EQ(Names(comp.FindDirEntry("\\B")), std::vector<std::string>{"f.txt"});
    EXPECT_EQ(comp.DirsCount(), 1);
}

TEST_F(FillTest, DirectoryWithoutTrailingSlashIsStillItself) {
    Fill(TSavePathState::Grayed, {{src / "A/B", true}});
    EXPECT_EQ(Names(comp.FindDirEntry("\\B")), (std::vector<std::string>{"sub", "f.txt"}));
    EXPECT_EQ(comp.FindDirEntry("\\A"), nullptr);
}

TEST_F(FillTest, EmptyListAndVanishedEntries) {
    const TFillResult empty = Fill(TSavePathState::Grayed, {});
    EXPECT_FALSE(empty.Filled);
    EXPECT_EQ(empty.Message, "Atleast one file/directory should be selected");

    const TFillResult gone = Fill(TSavePathState::Checked, {{src / "gone/x.txt", false}, {src / "A/h.txt", false}});
    EXPECT_TRUE(gone.Filled);
    EXPECT_TRUE(Logged("MISSING FILE", "x.txt"));
    EXPECT_EQ(comp.FilesCount() - comp.DirsCount(), 1);
}

TEST_F(FillTest, EmptyDirectoriesAreDroppedAtTheEnd) {
    Mkdir("E/empty/emptier");
    Fill(TSavePathState::Checked, {{src / "E/", true}});
    EXPECT_EQ(comp.DirsCount(), 0);
    EXPECT_EQ(comp.FilesCount(), 0);
}

TEST_F(FillTest, ArchiveFilesFiltersOnlyDirectoryEntries) {
    const std::string f = src / "A/B/f.txt";
    if (setxattr(f.c_str(), "user.kestrel.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no user extended attributes";
    Fill(TSavePathState::Unchecked, {{src / "A/B/", false}}, true);
    ASSERT_EQ(comp.FilesCount(), 1);
    comp.ClearArchiveBits();
    comp.ClearAll(600000, 20000);
    Fill(TSavePathState::Unchecked, {{src / "A/B/", false}, {f, false}}, true);
    ASSERT_EQ(comp.FilesCount(), 1);  // only as its own entry
    EXPECT_FALSE(comp.RootDir->Files->ArchiveOnly);
}

TEST_F(FillTest, LimitStopsTheFillWithAMessage) {
    for (int i = 0; i < 10; ++i) Source("many/" + std::to_string(i) + ".txt");
    comp.ClearAll(5, 20000);
    const TFillResult result = Fill(TSavePathState::Unchecked, {{src / "many/", true}, {src / "A/h.txt", false}});
    EXPECT_FALSE(result.Filled);
    EXPECT_NE(result.Message.find("at most 5 files"), std::string::npos);
    EXPECT_EQ(comp.FilesCount(), 5);
}

TEST_F(FillTest, SessionImportComesFirst) {
    TFillOptions options;
    options.SessionNo = -1;
    int imported = 0;
    options.ImportSession = [&](int Session) {
        imported = Session;
        EXPECT_EQ(comp.FilesCount(), 0);
    };
    FillCompilation(comp, {{src / "A/h.txt", false}}, options);
    EXPECT_EQ(imported, -1);
    EXPECT_EQ(comp.FilesCount(), 2);  // \A and h.txt under grayed
}

TEST_F(FillTest, ListEntriesFollowTheListRules) {
    EXPECT_EQ(MakeListEntry(src / "A").Path, src / "A/");
    EXPECT_TRUE(MakeListEntry(src / "A").Recursive);
    EXPECT_EQ(MakeListEntry(src / "A/").Path, src / "A/");
    EXPECT_EQ(MakeListEntry(src / "A/h.txt").Path, src / "A/h.txt");
    EXPECT_FALSE(MakeListEntry(src / "A/h.txt").Recursive);
    EXPECT_FALSE(MakeListEntry(src / "missing").Recursive);
}

}  // namespace
}  // namespace kestrel::test
