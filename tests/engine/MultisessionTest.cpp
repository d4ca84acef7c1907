// A second session that carries the first one's files forward: the old
// entries keep their extents, and the last session shows both trees.
#include <gtest/gtest.h>

#include "BurnRig.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

struct SessionCase {
    const char* Name;
    MediaKind Kind;
};

std::ostream& operator<<(std::ostream& Out, const SessionCase& Case) { return Out << Case.Name; }

struct Multisession : ::testing::TestWithParam<SessionCase> {
    TBurnRig rig;
    std::string first = rig.files / "first";
    std::string second = rig.files / "second";
    std::string expected = rig.files / "expected";

    void SetUp() override {
        MakeSourceTree(first);
        WriteFile(second + "/added/notes.txt", "written in session two\n");
        WriteFile(second + "/more.bin", std::string(70000, 'm'));
        std::filesystem::create_directories(expected);
        RunCommand("cp -r " + Quote(first) + "/. " + Quote(second) + "/. " + Quote(expected) + "/ 2>&1");
        ASSERT_TRUE(rig.Open());
        rig.Insert(GetParam().Kind);
    }

    // Session two: the last session imported, then the new files over it.
    void BurnSecondSession() {
        rig.burner.ClearAll(65535, 8191);
        rig.burner.SessionToImport = 0;
        ASSERT_TRUE(rig.burner.ImportDiscSession(-1, nullptr));
        ASSERT_EQ(rig.burner.InsertDir(rig.burner.RootDir, second, "*.*", 63, true, false, false), 1);
        ASSERT_EQ(rig.Burn(), "");
    }
    // Where readers find the last session in the dump.
    int64_t LastSessionStart() const {
        const auto kind = GetParam().Kind;
        const bool overwritable =
            kind == MediaKind::DvdPlusRw || kind == MediaKind::DvdRam || kind == MediaKind::DvdRwRestricted;
        return overwritable ? 0 : rig.burner.ImageStartLBA;
    }
};

TEST_P(Multisession, LastSessionHoldsBothTreesAndOldFilesKeepTheirExtents) {
    rig.Fill(first);
    ASSERT_EQ(rig.Burn(), "");
    const int64_t firstEnd = rig.burner.ImageEndLBA;
    BurnSecondSession();
    EXPECT_GE(rig.burner.ImageStartLBA, firstEnd);
    for (const auto& entry : rig.burner.FileTable) {
        if (entry->Imported && !entry->Dir && entry->ISOSize > 0) {
            EXPECT_LT(entry->ISOExtent, firstEnd);
        }
    }
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = rig.files / "out";
    ASSERT_EQ(ExtractWithXorriso(rig.Dump(), out, LastSessionStart()), 0);
    EXPECT_TRUE(SameTree(expected, out));
}

INSTANTIATE_TEST_SUITE_P(Media, Multisession,
                         ::testing::Values(SessionCase{"CDR", MediaKind::CdR},
                                           SessionCase{"DVDPlusRW", MediaKind::DvdPlusRw},
                                           SessionCase{"DVDRWSequential", MediaKind::DvdRwSequential},
                                           SessionCase{"DVDRWRestricted", MediaKind::DvdRwRestricted},
                                           SessionCase{"DVDRAM", MediaKind::DvdRam}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(MultisessionSequential, AppendableDVDRWHoldingAPeersSessionGetsASecondOneWithoutFormatting) {
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    TBurnRig rig;
    const std::string first = rig.files / "first", second = rig.files / "second", out = rig.files / "out";
    const std::string image = rig.files / "peer.iso";
    MakeSourceTree(first);
    WriteFile(second + "/added.txt", "two");
    int status = -1;
    RunCommand("xorriso -as mkisofs -J -quiet -o " + Quote(image) + " " + Quote(first) + " 2>&1", &status);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(rig.Open());
    rig.InsertImage(MediaKind::DvdRwSequential, image, true);
    rig.burner.ClearAll(65535, 8191);
    ASSERT_TRUE(rig.burner.ImportDiscSession(-1, nullptr));
    ASSERT_EQ(rig.burner.InsertDir(rig.burner.RootDir, second, "*.*", 63, true, false, false), 1);
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_TRUE(rig.Commands(0x04).empty());  // a disc holding data is never formatted unasked
    ASSERT_EQ(ExtractWithXorriso(rig.Dump(), out, rig.burner.ImageStartLBA), 0);
    EXPECT_EQ(ReadFile(out + "/added.txt"), "two");
    EXPECT_EQ(ReadFile(out + "/data/blob.bin"), ReadFile(first + "/data/blob.bin"));
}

TEST(MultisessionPeers, XorrisoThroughTheInterposerSeesTwoSessionsOnACDRAndExtractsTheUnion) {
    const std::string interposer = std::string(KESTREL_BIN_DIR) + "/libkestrel-vdrive-sg.so";
    if (!HaveProgram("xorriso") || !std::filesystem::exists(interposer)) GTEST_SKIP() << "xorriso or interposer missing";
    TBurnRig rig;
    const std::string first = rig.files / "first", second = rig.files / "second", out = rig.files / "out";
    MakeSourceTree(first);
    WriteFile(second + "/added.txt", "two");
    ASSERT_TRUE(rig.Open());
    rig.Insert(MediaKind::CdR);
    rig.Fill(first);
    ASSERT_EQ(rig.Burn(), "");
    rig.burner.ClearAll(65535, 8191);
    ASSERT_TRUE(rig.burner.ImportDiscSession(-1, nullptr));
    ASSERT_EQ(rig.burner.InsertDir(rig.burner.RootDir, second, "*.*", 63, true, false, false), 1);
    ASSERT_EQ(rig.Burn(), "");

    const std::string env = "LD_PRELOAD=" + Quote(interposer) + " ";
    const std::string toc = RunCommand(env + "xorriso -indev /dev/sr" + std::to_string(TBurnRig::kDrive) + " -toc 2>&1");
    EXPECT_NE(toc.find("session"), std::string::npos) << toc;
    int sessions = 0;
    for (size_t at = 0; (at = toc.find("ISO session", at)) != std::string::npos; ++at) ++sessions;
    EXPECT_EQ(sessions, 2) << toc;
    int status = -1;
    RunCommand(env + "xorriso -osirrox on -indev /dev/sr" + std::to_string(TBurnRig::kDrive) + " -extract / " +
                   Quote(out) + " 2>&1",
               &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(ReadFile(out + "/added.txt"), "two");
    EXPECT_EQ(ReadFile(out + "/readme.txt"), "Kestrel test tree\n");
    EXPECT_EQ(ReadFile(out + "/data/blob.bin"), ReadFile(first + "/data/blob.bin"));
}

}  // namespace
}  // namespace kestrel
