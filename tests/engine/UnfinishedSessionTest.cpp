// A burn that fails or is interrupted leaves its session open on write-once
// and sequential media. The next burn must not write into that session (its
// start and its broken volume are what readers see): it is refused, or, when
// asked, closes the session first and writes the new one behind it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "BurnRig.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

struct MediumCase {
    const char* Name;
    MediaKind Kind;
    bool WithFirstSession;  // a session before the failed one (so a DVD-RW stays sequential)
};

std::ostream& operator<<(std::ostream& Out, const MediumCase& Case) { return Out << Case.Name; }

constexpr uint8_t kWrite10 = 0x2A;
constexpr uint8_t kCloseTrackSession = 0x5B;

struct UnfinishedSession : ::testing::TestWithParam<MediumCase> {
    // BD media need the BD writer.
    TBurnRig rig{vdrive::TraitsOf(GetParam().Kind).bd ? "bd-writer" : ""};
    std::string first = rig.files / "first";
    std::string failed = rig.files / "failed";
    std::string second = rig.files / "second";

    void SetUp() override {
        WriteFile(first + "/old.txt", "the first session\n");
        MakeSourceTree(failed);
        WriteFile(second + "/added.txt", "written behind the unfinished session\n");
        WriteFile(second + "/more.bin", std::string(70000, 'm'));
        ASSERT_TRUE(rig.Open());
        if (GetParam().WithFirstSession) {
            const std::string image = rig.files / "first.iso";
            rig.Fill(first);
            ASSERT_EQ(rig.burner.SaveToISOFile(image, true), 1);
            rig.InsertImage(GetParam().Kind, image, true);
        } else {
            rig.Insert(GetParam().Kind);
        }
    }

    // A burn of the failed tree whose write fails in the middle of its files.
    void FailABurn() {
        ASSERT_TRUE(rig.burner.GetNextWritableAddress());
        rig.SetKnob("fail-write-lba", std::to_string(rig.burner.ImageStartLBA + 100));
        rig.Fill(failed);
        const std::string error = rig.Burn();
        ASSERT_NE(error.find("WRITER ERROR"), std::string::npos) << error;
    }
    std::string BurnSecond() {
        rig.Fill(second);
        return rig.Burn();
    }
};

TEST_P(UnfinishedSession, NextBurnIsRefusedBeforeAnyWriteAndSaysWhatToDo) {
    FailABurn();
    ASSERT_TRUE(rig.burner.HoldsUnfinishedSession());
    const auto unfinished = rig.burner.FindUnfinishedSession();
    ASSERT_TRUE(unfinished);
    EXPECT_EQ(unfinished->Session, GetParam().WithFirstSession ? 2 : 1);
    EXPECT_GE(unfinished->RecordedBlocks, 32u);
    EXPECT_LE(unfinished->RecordedBlocks, 100u);

    rig.ClearTrace();
    const std::string error = BurnSecond();
    EXPECT_NE(error.find("A BURN FAILED OR WAS INTERRUPTED AND LEFT SESSION"), std::string::npos) << error;
    EXPECT_NE(error.find("UNFINISHED"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(kWrite10).empty());
    EXPECT_TRUE(rig.Commands(kCloseTrackSession).empty()) << "nothing is closed unasked";
    EXPECT_TRUE(rig.burner.HoldsUnfinishedSession());
}

TEST_P(UnfinishedSession, ClosingItFirstPutsTheNewSessionBehindItReadableByPeersAndByTheImport) {
    FailABurn();
    const uint32_t failedEnd = rig.burner.FindUnfinishedSession()->Start + rig.burner.FindUnfinishedSession()->RecordedBlocks;
    rig.burner.CloseUnfinishedSession = true;
    ASSERT_EQ(BurnSecond(), "");
    EXPECT_FALSE(rig.burner.HoldsUnfinishedSession());
    EXPECT_GE(rig.burner.ImageStartLBA, int32_t(failedEnd));
    EXPECT_EQ(rig.burner.GetDiscStatus(), 1) << "the disc stays appendable";
    EXPECT_TRUE(rig.Logged(">>> CLOSING THE UNFINISHED SESSION # "));

    rig.burner.ClearAll(65535, 8191);
    ASSERT_TRUE(rig.burner.ImportDiscSession(-1, nullptr)) << ::testing::PrintToString(rig.Log());
    EXPECT_NE(rig.burner.FindFileEntry(rig.burner.RootDir, "added.txt"), nullptr);
    EXPECT_EQ(rig.burner.FindFileEntry(rig.burner.RootDir, "readme.txt"), nullptr) << "the failed tree is not carried";

    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = rig.files / "out";
    ASSERT_EQ(ExtractWithXorriso(rig.Dump(), out, rig.burner.ImageStartLBA), 0);
    EXPECT_TRUE(SameTree(second, out));
}

INSTANTIATE_TEST_SUITE_P(Media, UnfinishedSession,
                         ::testing::Values(MediumCase{"CDR", MediaKind::CdR, false},
                                           MediumCase{"CDRW", MediaKind::CdRw, false},
                                           MediumCase{"CDRAfterASession", MediaKind::CdR, true},
                                           MediumCase{"DVDR", MediaKind::DvdR, false},
                                           MediumCase{"DVDRWSequential", MediaKind::DvdRwSequential, true},
                                           MediumCase{"DVDPlusR", MediaKind::DvdPlusR, false},
                                           MediumCase{"DVDPlusRDL", MediaKind::DvdPlusRDl, false},
                                           MediumCase{"BDR", MediaKind::BdR, false}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

struct UnfinishedCD : ::testing::Test {
    TBurnRig rig;
    std::string failed = rig.files / "failed";
    std::string second = rig.files / "second";
    void SetUp() override {
        MakeSourceTree(failed);
        WriteFile(second + "/added.txt", "two");
        ASSERT_TRUE(rig.Open());
        rig.Insert(MediaKind::CdR);
    }
    void FailABurnAt(uint32_t Lba) {
        rig.SetKnob("fail-write-lba", std::to_string(Lba));
        rig.Fill(failed);
        ASSERT_NE(rig.Burn(), "");
    }
};

TEST_F(UnfinishedCD, AbortedBurnLeavesAnUnfinishedSessionToo) {
    const std::string large = failed + "/large.bin";
    WriteFile(large, "");
    ASSERT_EQ(truncate(large.c_str(), 8 << 20), 0);
    rig.SetKnob("delay-opcode", "2A");
    rig.SetKnob("delay-ms", "20");
    rig.Fill(failed);
    TWriteDoneWatch watch(rig.burner);
    ASSERT_TRUE(rig.burner.BurnCD());
    // Abort once data reaches the drive.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (rig.Commands(kWrite10).size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    rig.burner.AbortWrite();
    EXPECT_EQ(watch.Wait(60), "OPERATION ABORTED BY USER");
    EXPECT_TRUE(rig.burner.HoldsUnfinishedSession());
}

TEST_F(UnfinishedCD, TestWriteDoesNotCloseIt) {
    FailABurnAt(60);
    rig.burner.CloseUnfinishedSession = true;
    rig.burner.TestWrite = true;
    rig.ClearTrace();
    rig.Fill(second);
    const std::string error = rig.Burn();
    EXPECT_NE(error.find("A TEST WRITE DOES NOT CLOSE IT"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(kCloseTrackSession).empty());
}

TEST_F(UnfinishedCD, ImageBurnIsRefusedWithTheReason) {
    const std::string image = rig.files / "image.iso";
    rig.Fill(second);
    ASSERT_EQ(rig.burner.SaveToISOFile(image, true), 1);
    FailABurnAt(60);
    rig.burner.CloseUnfinishedSession = true;
    rig.ClearTrace();
    const std::string error = rig.BurnImage(image);
    EXPECT_NE(error.find("UNFINISHED"), std::string::npos) << error;
    EXPECT_NE(error.find("AN IMAGE IS WRITTEN ONLY ONTO A BLANK DISC"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(kCloseTrackSession).empty());
    EXPECT_TRUE(rig.Commands(kWrite10).empty());
}

TEST_F(UnfinishedCD, FilesOfTheClosedFailedSessionThatWereNeverWrittenAreLeftOutOfItsImport) {
    FailABurnAt(200);  // behind the first file of the failed tree
    const auto unfinished = rig.burner.FindUnfinishedSession();
    ASSERT_TRUE(unfinished);
    const uint32_t writtenEnd = unfinished->Start + unfinished->RecordedBlocks;
    rig.burner.CloseUnfinishedSession = true;
    rig.Fill(second);
    ASSERT_EQ(rig.Burn(), "");

    rig.burner.ClearAll(65535, 8191);
    EXPECT_FALSE(rig.burner.ImportDiscSession(1, nullptr)) << "the failed session is read only in part";
    EXPECT_TRUE(rig.Logged("IN BLOCKS THAT WERE NEVER WRITTEN")) << ::testing::PrintToString(rig.Log());
    int written = 0;
    for (const auto& entry : rig.burner.FileTable) {
        if (!entry->Imported || entry->Dir || entry->ISOSize <= 0) continue;
        EXPECT_LE(uint64_t(entry->ISOExtent) + uint64_t(entry->ISOSize + 2047) / 2048, writtenEnd) << entry->LongName;
        ++written;
    }
    EXPECT_GE(written, 1) << "what was written stays readable";
}

TEST_F(UnfinishedCD, TheLastSessionToImportIsTheOneBeforeTheUnfinishedSession) {
    rig.Fill(second);
    ASSERT_EQ(rig.Burn(), "");
    ASSERT_TRUE(rig.burner.GetNextWritableAddress());
    FailABurnAt(uint32_t(rig.burner.ImageStartLBA) + 60);

    rig.burner.ClearAll(65535, 8191);
    EXPECT_TRUE(rig.burner.ImportDiscSession(-1, nullptr)) << ::testing::PrintToString(rig.Log());
    EXPECT_NE(rig.burner.FindFileEntry(rig.burner.RootDir, "added.txt"), nullptr);
    EXPECT_EQ(rig.burner.FindFileEntry(rig.burner.RootDir, "readme.txt"), nullptr);

    // The same when the burn itself imports: after closing the failed
    // session, "the last" is still the good one before it.
    rig.burner.ClearAll(65535, 8191);
    ASSERT_EQ(rig.burner.InsertDir(rig.burner.RootDir, failed + "/data", "*.*", 63, true, false, false), 1);
    rig.burner.SessionToImport = -1;
    rig.burner.CloseUnfinishedSession = true;
    ASSERT_EQ(rig.Burn(), "");
    rig.burner.SessionToImport = 0;
    rig.burner.ClearAll(65535, 8191);
    ASSERT_TRUE(rig.burner.ImportDiscSession(-1, nullptr));
    EXPECT_NE(rig.burner.FindFileEntry(rig.burner.RootDir, "added.txt"), nullptr);
    EXPECT_EQ(rig.burner.FindFileEntry(rig.burner.RootDir, "readme.txt"), nullptr);
}

}  // namespace
}  // namespace kestrel
