// Removing entries and directories, and dropping the ones left empty.
#include <algorithm>

#include "CompilationFixture.h"

namespace kestrel::test {
namespace {

class RemovalTest : public CompilationTest {
protected:
    void SetUp() override {
        Source("t/docs/a.txt");
        Source("t/docs/deep/b.txt");
        Source("t/docs/deep/c.txt");
        Source("t/pics/p.png");
        Source("t/top.txt");
        ASSERT_EQ(comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, true, false, false), 1);
        ASSERT_EQ(comp.DirsCount(), 3);
        ASSERT_EQ(comp.FilesCount(), 8);
    }
};

TEST_F(RemovalTest, RemovingADirectoryEntryTakesItsWholeSubtree) {
    TFEntry* docs = comp.FindFileEntry(comp.RootDir, "docs");
    ASSERT_TRUE(comp.RemoveFile(comp.RootDir, docs));
    EXPECT_EQ(comp.DirsCount(), 1);
    EXPECT_EQ(comp.FilesCount(), 3);  // pics, p.png, top.txt
    EXPECT_EQ(comp.FindDirEntry("\\DOCS"), nullptr);
    EXPECT_EQ(comp.FindDirEntry("\\DOCS\\DEEP"), nullptr);
    EXPECT_EQ(Names(comp.RootDir), (std::vector<std::string>{"pics", "top.txt"}));
    ExpectConsistent();
}

TEST_F(RemovalTest, RootCannotBeRemoved) {
    EXPECT_FALSE(comp.RemoveDir(comp.RootDir));
    EXPECT_EQ(comp.FilesCount(), 8);
    EXPECT_EQ(comp.DirsCount(), 3);
}

TEST_F(RemovalTest, RemoveDirWorksByPointerAfterTheOrdersChanged) {
    // The layout reorders the two path-table orders; removal must find each
    // directory where it stands in each list.
    std::reverse(comp.ISODirOrder.begin() + 1, comp.ISODirOrder.end());
    std::rotate(comp.JolietDirOrder.begin() + 1, comp.JolietDirOrder.begin() + 2, comp.JolietDirOrder.end());
    TDEntry* deep = comp.FindDirEntry("\\docs\\deep");
    ASSERT_TRUE(comp.RemoveDir(deep));
    EXPECT_EQ(comp.DirsCount(), 2);
    EXPECT_EQ(Names(comp.FindDirEntry("\\DOCS")), std::vector<std::string>{"a.txt"});
    for (const auto* order : {&comp.ISODirOrder, &comp.JolietDirOrder}) {
        EXPECT_EQ(order->front(), comp.RootDir);
        EXPECT_EQ(std::count(order->begin(), order->end(), nullptr), 0);
    }
    ExpectConsistent();
}

TEST_F(RemovalTest, RemovingTheLastEntryLetsAppendsContinue) {
    TDEntry* docs = comp.FindDirEntry("\\docs");
    ASSERT_TRUE(comp.RemoveByPath("\\docs", "a.txt"));
    EXPECT_FALSE(comp.RemoveByPath("\\docs", "a.txt"));
    EXPECT_FALSE(comp.RemoveByPath("\\nowhere", "a.txt"));
    Source("more.txt");
    comp.InsertFile("\\docs", src / "more.txt", false);
    EXPECT_EQ(Names(docs), (std::vector<std::string>{"deep", "more.txt"}));
    ASSERT_TRUE(comp.RemoveByPath("\\DOCS", "MORE.TXT"));
    comp.InsertFile("\\docs", src / "more.txt", false);
    EXPECT_EQ(Names(docs), (std::vector<std::string>{"deep", "more.txt"}));
    ExpectConsistent();
}

TEST_F(RemovalTest, AnEntryOfAnotherDirectoryIsLeftAlone) {
    TFEntry* top = comp.FindFileEntry(comp.RootDir, "top.txt");
    EXPECT_TRUE(comp.RemoveFile(comp.FindDirEntry("\\pics"), top));
    EXPECT_EQ(comp.FilesCount(), 8);
    ExpectConsistent();
}

TEST_F(RemovalTest, RemoveEmptyDirsDropsNestedEmptyDirectories) {
    TDEntry* outer = comp.ForceDirPath("\\outer\\inner\\innermost");
    ASSERT_NE(outer, nullptr);
    comp.ForceDirPath("\\docs\\empty");
    ASSERT_TRUE(comp.RemoveByPath("\\pics", "p.png"));
    ASSERT_TRUE(comp.RemoveEmptyDirs());
    EXPECT_EQ(comp.FindDirEntry("\\outer"), nullptr);
    EXPECT_EQ(comp.FindDirEntry("\\outer\\inner\\innermost"), nullptr);
    EXPECT_EQ(comp.FindDirEntry("\\docs\\empty"), nullptr);
    EXPECT_EQ(comp.FindDirEntry("\\pics"), nullptr);
    EXPECT_NE(comp.FindDirEntry("\\docs\\deep"), nullptr);
    EXPECT_EQ(comp.DirsCount(), 2);
    ExpectConsistent();
}

TEST_F(RemovalTest, ClearAllAfterRemovalsStartsAfresh) {
    comp.RemoveDir(comp.FindDirEntry("\\docs"));
    comp.ClearAll(10, 10);
    EXPECT_EQ(comp.FilesCount(), 0);
    EXPECT_EQ(comp.FindDirEntry("\\pics"), nullptr);
    EXPECT_EQ(comp.FindFileEntry(comp.RootDir, "top.txt"), nullptr);
}

}  // namespace
}  // namespace kestrel::test
