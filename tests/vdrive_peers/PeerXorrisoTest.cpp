// xorriso, which no one here wrote, uses the virtual drives through the
// interposer as real recorders; what it wrote is dumped by the control tool
// and read back by independent readers.
#include "PeerSupport.h"

using namespace kestrel::test;

namespace {

class XorrisoPeer : public PeerTest {
protected:
    void SetUp() override {
        if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    }
};

}  // namespace

TEST_F(XorrisoPeer, ShowsTheTocOfTheFirstUseDrives) {
    const std::string dvd = Toc(0);
    EXPECT_NE(dvd.find("Media current: DVD+RW"), std::string::npos) << dvd;
    EXPECT_NE(dvd.find("is blank"), std::string::npos) << dvd;
    const std::string cd = Toc(1);
    EXPECT_NE(cd.find("Media current: CD-R"), std::string::npos) << cd;
    EXPECT_NE(cd.find("is blank"), std::string::npos) << cd;
}

TEST_F(XorrisoPeer, FormatsAndWritesADvdPlusRwThatReadsBackAndChecksGood) {
    MakeTree(work / "src", "one", 1);
    TRunResult r = Xorriso("-outdev /dev/sr0 -format full");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    r = RunCommand(Tool() + " list");
    EXPECT_NE(r.Output.find("dvd+rw (formatted"), std::string::npos) << r.Output;
    r = Xorriso("-outdev /dev/sr0 -map " + work / "src" + " / -commit");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;

    // Read back by bsdtar from the dump, and checked on the drive itself.
    const std::string dump = Dump(0);
    const std::string out = work / "out";
    std::filesystem::create_directories(out);
    r = RunCommand("bsdtar -xf " + dump + " -C " + out);
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    std::string diff;
    EXPECT_TRUE(SameTree(work / "src", out, diff)) << diff;

    r = Xorriso("-indev /dev/sr0 -check_media --");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("good"), std::string::npos) << r.Output;
    EXPECT_EQ(r.Output.find("unreadable"), std::string::npos) << r.Output;
}

TEST_F(XorrisoPeer, WritesTwoSessionsOnACdRAndTheLastHoldsBothTrees) {
    MakeTree(work / "first", "a", 2);
    MakeTree(work / "second", "b", 3);
    TRunResult r = Xorriso("-outdev /dev/sr1 -close off -map " + work / "first" + " / -commit");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    r = Xorriso("-dev /dev/sr1 -close off -map " + work / "second" + " / -commit");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;

    const std::string toc = Toc(1);
    const std::vector<long> starts = SessionStarts(toc);
    ASSERT_EQ(starts.size(), 2u) << toc;
    EXPECT_EQ(starts[0], 0);
    EXPECT_GT(starts[1], starts[0]);
    EXPECT_NE(toc.find("is appendable"), std::string::npos) << toc;

    const std::string dump = Dump(1);
    const std::string out = ExtractSession(dump, starts[1], "out");
    std::string diff;
    EXPECT_TRUE(SameTree(work / "first/a", out + "/a", diff)) << diff;
    EXPECT_TRUE(SameTree(work / "second/b", out + "/b", diff)) << diff;

    // isoinfo, a reader of its own, sees the second session's files too.
    if (HaveProgram("isoinfo")) {
        r = RunCommand("isoinfo -i " + dump + " -T " + std::to_string(starts[1]) + " -R -f");
        EXPECT_NE(r.Output.find("/b/sub/file1.bin"), std::string::npos) << r.Output;
        EXPECT_NE(r.Output.find("/a/README.txt"), std::string::npos) << r.Output;
    }
}

TEST_F(XorrisoPeer, BlanksACdRw) {
    Insert(1, "cd-rw");
    MakeTree(work / "src", "t", 4);
    for (const char* mode : {"as_needed", "all"}) {
        TRunResult r = Xorriso("-outdev /dev/sr1 -map " + work / "src" + " / -commit");
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        EXPECT_NE(Toc(1).find("is written"), std::string::npos);
        r = Xorriso(std::string("-outdev /dev/sr1 -blank ") + mode);
        ASSERT_EQ(r.ExitCode, 0) << mode << ": " << r.Output;
        const std::string toc = Toc(1);
        EXPECT_NE(toc.find("is blank"), std::string::npos) << mode << ": " << toc;
        const std::string dumped = ReadFile(Dump(1));
        EXPECT_EQ(dumped.find_first_not_of('\0'), std::string::npos) << mode << ": data left after blanking";
    }
}
