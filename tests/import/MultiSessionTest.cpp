// A two-session CD-R written by xorriso through the interposer: each
// session imported on its own. The second session's tree refers to data of
// the first, which must come back byte for byte as well.
#include <gtest/gtest.h>

#include "ImportRig.h"
#include "burner/engine/Extract.h"
#include "burner/engine/SessionPlace.h"

namespace kestrel::test {
namespace {

class TwoSessionCd : public ::testing::Test {
protected:
    TImportRig rig;

    void SetUp() override {
        if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is not installed";
        WriteFile(rig.work / "first/old/a.txt", "first session\n");
        WriteFile(rig.work / "first/old/big.bin", std::string(70000, 'x'));
        WriteFile(rig.work / "second/new/b.txt", "second session\n");
        SetTime(rig.work / "first/old/a.txt", 1100000000);
        SetTime(rig.work / "first/old/big.bin", 1100000100);
        SetTime(rig.work / "second/new/b.txt", 1200000000);
        Write("-outdev /dev/sr1 -close off -joliet on -map " + rig.work / "first" + " /");
        Write("-dev /dev/sr1 -close off -joliet on -map " + rig.work / "second" + " /");
    }

    void Write(const std::string& Args) {
        const TRun r = Shell("LD_PRELOAD=" + BinPath("libkestrel-vdrive-sg.so") + " xorriso -abort_on FAILURE " + Args +
                             " -commit", 300);
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
    }

    TExtractCount ExtractAll(const std::string& Out) {
        std::filesystem::create_directories(Out);
        return ExtractDirectory(rig.burner, *rig.burner.RootDir, Out, true, false);
    }
};

TEST_F(TwoSessionCd, SessionOneHoldsTheFirstTreeOnly) {
    ASSERT_TRUE(rig.Import(TImportRig::kCdDrive, 1)) << rig.LogText();
    EXPECT_NE(rig.Find("/old/a.txt"), nullptr);
    EXPECT_EQ(rig.Find("/new"), nullptr);
    EXPECT_EQ(ExtractAll(rig.work / "out").Failed, 0);
    ExpectSameFiles(rig.work / "first", rig.work / "out");
}

TEST_F(TwoSessionCd, SessionTwoCarriesBothTreesWithTheOldExtentsAndIsTheLast) {
    ASSERT_TRUE(rig.Import(TImportRig::kCdDrive, 2)) << rig.LogText();
    const TFEntry* old = rig.Find("/old/big.bin");
    const TFEntry* fresh = rig.Find("/new/b.txt");
    ASSERT_NE(old, nullptr);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(old->Imported);
    // The old file's data lies in the first session, before the second starts.
    const auto second = LocateSession(rig.burner, 2);
    ASSERT_TRUE(second);
    EXPECT_LT(uint32_t(old->ISOExtent), second->Start);
    EXPECT_GE(uint32_t(fresh->ISOExtent), second->Start);

    EXPECT_EQ(ExtractAll(rig.work / "out").Failed, 0);
    ExpectSameFiles(rig.work / "first/old", rig.work / "out/old");
    ExpectSameFiles(rig.work / "second/new", rig.work / "out/new");

    // The last session, and a number beyond it, both mean session 2; 0 means none.
    rig.ClearLog();
    for (const int asked : {-1, 5}) {
        ASSERT_TRUE(rig.Import(TImportRig::kCdDrive, asked)) << rig.LogText();
        EXPECT_TRUE(rig.Logged(">>> IMPORTING SESSION # 2"));
        EXPECT_NE(rig.Find("/new/b.txt"), nullptr) << asked;
        rig.ClearLog();
    }
    rig.burner.ClearAll(65535, 8191);
    EXPECT_FALSE(rig.burner.ImportDiscSession(0, nullptr));
    EXPECT_EQ(rig.burner.FilesCount(), 0);
}

}  // namespace
}  // namespace kestrel::test
