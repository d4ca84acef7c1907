// Archive marks in extended attributes, and sizes of sources before adding.
#include <sys/xattr.h>
#include <utime.h>

#include "CompilationFixture.h"
#include "burner/iso/ArchiveMark.h"

namespace kestrel::test {
namespace {

bool XattrsWork(const std::string& Path) {
    return setxattr(Path.c_str(), "user.kestrel.probe", "1", 1, 0) == 0;
}

TEST_F(CompilationTest, ArchiveOptionTakesOnlyChangedFilesUntilCleared) {
    const std::string a = Source("t/a.txt", "aaa");
    Source("t/b.txt", "bbb");
    if (!XattrsWork(a)) GTEST_SKIP() << "no user extended attributes here";

    ASSERT_EQ(comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, false, false, true), 1);
    ASSERT_EQ(comp.FilesCount(), 2);
    for (const auto& entry : comp.FileTable) {
        EXPECT_TRUE(entry->Attr & faArchive);
        EXPECT_TRUE(entry->ArchiveOnly);
    }
    EXPECT_TRUE(comp.ClearArchiveBits());

    comp.ClearAll(600000, 20000);
    comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, false, false, true);
    EXPECT_EQ(comp.FilesCount(), 0);

    // A change of content (size) or of time makes the file count as changed.
    WriteFile(a, "changed");
    comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, false, false, true);
    EXPECT_EQ(Names(comp.RootDir), std::vector<std::string>{"a.txt"});
    comp.ClearArchiveBits();
    utimbuf times{1000000, 1000000};
    ASSERT_EQ(utime((src / "t/b.txt").c_str(), &times), 0);
    comp.ClearAll(600000, 20000);
    comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, false, false, true);
    EXPECT_EQ(Names(comp.RootDir), std::vector<std::string>{"b.txt"});
}

TEST_F(CompilationTest, ClearArchiveBitsLeavesOtherSourcesAlone) {
    const std::string a = Source("t/a.txt");
    const std::string single = Source("single.txt");
    if (!XattrsWork(a)) GTEST_SKIP() << "no user extended attributes here";
    comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, false, false, false);
    comp.InsertFile("\\", single, false);
    comp.ClearArchiveBits();
    char value[64];
    EXPECT_LT(getxattr(a.c_str(), ArchiveMarkName, value, sizeof value), 0);
    EXPECT_LT(getxattr(single.c_str(), ArchiveMarkName, value, sizeof value), 0);
}

TEST_F(CompilationTest, FileChangedAfterAddingStaysMarkedAsChanged) {
    const std::string a = Source("t/a.txt", "before");
    if (!XattrsWork(a)) GTEST_SKIP() << "no user extended attributes here";
    comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, false, false, true);
    WriteFile(a, "after the burn started");
    comp.ClearArchiveBits();
    EXPECT_TRUE(Logged("CHANGED SINCE IT WAS ADDED", "a.txt"));
    comp.ClearAll(600000, 20000);
    comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, false, false, true);
    EXPECT_EQ(comp.FilesCount(), 1);
}

TEST_F(CompilationTest, PathSizeCountsHiddenFilesAndFollowsLinksOnce) {
    Source("t/a.bin", std::string(1000, 'a'));
    Source("t/.hidden", std::string(24, 'h'));
    Source("t/sub/b.bin", std::string(3000, 'b'));
    ASSERT_EQ(symlink("..", (src / "t/sub/loop").c_str()), 0);
    ASSERT_EQ(symlink("a.bin", (src / "t/alias").c_str()), 0);
    ASSERT_EQ(mkfifo((src / "t/pipe").c_str(), 0600), 0);
    EXPECT_EQ(comp.GetPathSize(src / "t/"), 5024);
    // A directory named without the trailing "/" is the same tree.
    EXPECT_EQ(comp.GetPathSize(src / "t"), 5024);
    EXPECT_EQ(comp.GetPathSize(src / "t/sub/b.bin"), 3000);
    EXPECT_EQ(comp.GetPathSize(src / "t/missing"), 0);
    EXPECT_EQ(comp.GetPathSize(src / "t/pipe"), 0);
}

TEST_F(CompilationTest, PathSizeOfFilesAbove4GiB) {
    const std::string big = Source("big.bin", "");
    ASSERT_EQ(truncate(big.c_str(), int64_t{5} << 30), 0);
    EXPECT_EQ(comp.GetPathSize(big), int64_t{5} << 30);
    EXPECT_EQ(comp.GetPathSize(src / ""), int64_t{5} << 30);
}

}  // namespace
}  // namespace kestrel::test
