// growisofs, which no one here wrote, burns images and directories onto the
// virtual DVD drive through the interposer, single- and multisession.
#include <fstream>

#include "PeerSupport.h"

using namespace kestrel::test;

namespace {

class GrowisofsPeer : public PeerTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        if (!HaveProgram("growisofs")) GTEST_SKIP() << "growisofs is not installed";
        Insert(0, GetParam());
    }

    TRunResult Grow(const std::string& Args) { return RunPreloaded("growisofs " + Args, 300); }
};

}  // namespace

TEST_P(GrowisofsPeer, BurnsAnImageThatTheDumpHoldsByteForByte) {
    MakeTree(work / "src", "img", 5);
    const std::string image = work / "image.iso";
    TRunResult r = RunCommand("genisoimage -quiet -R -J -o " + image + " " + work / "src");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    r = Grow("-Z /dev/sr0=" + image);
    ASSERT_EQ(r.ExitCode, 0) << r.Output;

    const std::string dump = Dump(0);
    const std::string burnt = ReadFile(dump);
    const std::string wanted = ReadFile(image);
    ASSERT_GE(burnt.size(), wanted.size());
    EXPECT_TRUE(burnt.compare(0, wanted.size(), wanted) == 0);
}

TEST_P(GrowisofsPeer, StartsAndMergesSessionsFromDirectories) {
    MakeTree(work / "first", "one", 6);
    MakeTree(work / "second", "two", 7);
    TRunResult r = Grow("-Z /dev/sr0 -R -J " + work / "first");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    r = Grow("-M /dev/sr0 -R -J " + work / "second");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;

    // The last session: on DVD+RW and DVD-RAM growisofs rewrites the
    // descriptors at the start, on DVD-R it is the last track's start.
    long start = 0;
    if (std::string(GetParam()) == "dvd-r" && HaveProgram("xorriso")) {
        const std::vector<long> starts = SessionStarts(Toc(0));
        ASSERT_EQ(starts.size(), 2u);
        start = starts.back();
    }
    const std::string out = ExtractSession(Dump(0), start, "out");
    std::string diff;
    EXPECT_TRUE(SameTree(work / "first/one", out + "/one", diff)) << diff;
    EXPECT_TRUE(SameTree(work / "second/two", out + "/two", diff)) << diff;
}

// DVD-RAM is written through the block device with plain writes.
INSTANTIATE_TEST_SUITE_P(Media, GrowisofsPeer, ::testing::Values("dvd+rw", "dvd-r", "dvd-ram"), [](const auto& Info) {
    const std::string media = Info.param;
    return media == "dvd+rw" ? "DvdPlusRw" : media == "dvd-r" ? "DvdMinusR" : "DvdRam";
});
