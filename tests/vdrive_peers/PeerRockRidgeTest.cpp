// A Rock Ridge compilation burnt by kestrel-cli onto a virtual DVD+RW (the
// library layer) and read back by xorriso through the interposer, as it
// would read a real drive: modes, links and a file eleven folders deep
// (below the folder the list entry makes).
#include "PeerSupport.h"

#include <filesystem>

using namespace kestrel::test;

namespace {

class XorrisoPeerRockRidgeDisc : public PeerTest {
protected:
    void SetUp() override {
        if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    }
};

}  // namespace

TEST_F(XorrisoPeerRockRidgeDisc, XorrisoReadsModesLinksAndDeepFilesOffTheDrive) {
    namespace fs = std::filesystem;
    const fs::path src = work.Path() / "src";
    WriteFile(src / "tool.sh", "#!/bin/sh\n");
    fs::permissions(src / "tool.sh", fs::perms(0750));
    WriteFile(src / "a/b/c/d/e/f/g/h/i/j/k/deep.txt", "deep");
    fs::create_symlink("tool.sh", src / "link");

    const TRunResult burn = RunCommand(BinPath("kestrel-cli") + " burn --drive 0 '" + src.string() + "/' 2>&1", 300);
    ASSERT_EQ(burn.ExitCode, 0) << burn.Output;

    const TRunResult find = Xorriso("-indev /dev/sr0 -find / -exec lsdl");
    ASSERT_EQ(find.ExitCode, 0) << find.Output;
    EXPECT_NE(find.Output.find("-rwxr-x---"), std::string::npos) << find.Output;
    EXPECT_NE(find.Output.find("'/src/link' -> 'tool.sh'"), std::string::npos) << find.Output;
    EXPECT_NE(find.Output.find("'/src/a/b/c/d/e/f/g/h/i/j/k/deep.txt'"), std::string::npos) << find.Output;
    const TRunResult got = Xorriso("-osirrox on -indev /dev/sr0 -extract /src/a/b/c/d/e/f/g/h/i/j/k/deep.txt " +
                                   (work / "deep.txt"));
    ASSERT_EQ(got.ExitCode, 0) << got.Output;
    EXPECT_EQ(ReadFile(work / "deep.txt"), "deep");
}
