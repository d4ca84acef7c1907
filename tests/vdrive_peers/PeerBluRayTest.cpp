// xorriso and growisofs, which no one here wrote, burn Blu-ray media in the
// recorder's BD writer through the interposer, as on a real BD drive; what
// they wrote is dumped by the control tool and read back byte for byte.
#include "PeerSupport.h"

using namespace kestrel::test;

namespace {

// The BD writer comes after the two standard drives: /dev/sr2.
constexpr int kBd = 2;

class BluRayPeer : public PeerTest {
protected:
    void AddBdWriter() {
        const TRunResult r = RunCommand(Tool() + " model --add bd-writer");
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
    }
    static std::string Device() { return "/dev/sr" + std::to_string(kBd); }
    std::string ToolList() { return RunCommand(Tool() + " list").Output; }
    // The dump's start holds the image byte for byte.
    void ExpectDumpStartsWith(const std::string& Image) {
        const std::string burnt = ReadFile(Dump(kBd));
        const std::string wanted = ReadFile(Image);
        ASSERT_GE(burnt.size(), wanted.size());
        EXPECT_TRUE(burnt.compare(0, wanted.size(), wanted) == 0);
    }
    std::string MakeImage(const std::string& Top, int Seed) {
        MakeTree(work / "src", Top, Seed);
        const std::string image = work / "image.iso";
        const TRunResult r = RunCommand("genisoimage -quiet -R -J -o " + image + " " + work / "src");
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        return image;
    }
};

class BluRayXorrisoPeer : public BluRayPeer {
protected:
    void SetUp() override {
        if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is not installed";
        AddBdWriter();
    }
};

class BluRayGrowisofsPeer : public BluRayPeer {
protected:
    void SetUp() override {
        if (!HaveProgram("growisofs") || !HaveProgram("genisoimage")) GTEST_SKIP() << "growisofs is not installed";
        AddBdWriter();
    }
    TRunResult Grow(const std::string& Args) { return RunPreloaded("growisofs " + Args, 300); }
};

}  // namespace

TEST_F(BluRayXorrisoPeer, WritesTwoBdRSessionsAndTheLastHoldsBothTrees) {
    Insert(kBd, "bd-r");
    MakeTree(work / "first", "a", 2);
    MakeTree(work / "second", "b", 3);
    TRunResult r = Xorriso("-outdev " + Device() + " -close off -map " + work / "first" + " / -commit");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    r = Xorriso("-dev " + Device() + " -close off -map " + work / "second" + " / -commit");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;

    const std::string toc = Toc(kBd);
    EXPECT_NE(toc.find("Media current: BD-R sequential recording"), std::string::npos) << toc;
    const std::vector<long> starts = SessionStarts(toc);
    ASSERT_EQ(starts.size(), 2u) << toc;
    EXPECT_EQ(starts[1] % 32, 0) << "sessions start on a cluster";
    EXPECT_NE(toc.find("is appendable"), std::string::npos) << toc;

    const std::string out = ExtractSession(Dump(kBd), starts[1], "out");
    std::string diff;
    EXPECT_TRUE(SameTree(work / "first/a", out + "/a", diff)) << diff;
    EXPECT_TRUE(SameTree(work / "second/b", out + "/b", diff)) << diff;
}

TEST_F(BluRayXorrisoPeer, FormatsABlankBdReWritesItAndGrowsItsVolume) {
    Insert(kBd, "bd-re");
    MakeTree(work / "first", "a", 4);
    MakeTree(work / "second", "b", 5);
    TRunResult r = Xorriso("-outdev " + Device() + " -map " + work / "first" + " / -commit");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(ToolList().find("bd-re (formatted"), std::string::npos) << ToolList();
    r = Xorriso("-dev " + Device() + " -map " + work / "second" + " / -commit");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;

    const std::string out = ExtractSession(Dump(kBd), 0, "out");
    std::string diff;
    EXPECT_TRUE(SameTree(work / "first/a", out + "/a", diff)) << diff;
    EXPECT_TRUE(SameTree(work / "second/b", out + "/b", diff)) << diff;
    r = Xorriso("-indev " + Device() + " -check_media --");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output.find("unreadable"), std::string::npos) << r.Output;
}

TEST_F(BluRayGrowisofsPeer, BurnsAnImageOntoABdReThatTheDumpHoldsByteForByte) {
    Insert(kBd, "bd-re");
    const std::string image = MakeImage("img", 6);
    const TRunResult r = Grow("-Z " + Device() + "=" + image);
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(ToolList().find("bd-re (formatted"), std::string::npos) << ToolList();
    ExpectDumpStartsWith(image);
}

TEST_F(BluRayGrowisofsPeer, BurnsAnImageOntoABdRWithoutSpareAreas) {
    Insert(kBd, "bd-r");
    const std::string image = MakeImage("img", 7);
    const TRunResult r = Grow("-use-the-force-luke=spare:none -Z " + Device() + "=" + image);
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(ToolList().find("spare areas"), std::string::npos) << ToolList();
    ExpectDumpStartsWith(image);
}
