// Burning a compilation onto every medium the virtual recorder emulates:
// the disc read back by peers, and the commands the drive saw.
#include <gtest/gtest.h>

#include <algorithm>

#include "BurnRig.h"
#include "burner/common/Clock.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

struct MediumCase {
    const char* Name;
    MediaKind Kind;
    uint16_t BlockSectors;      // sectors per WRITE (10)
    std::vector<uint8_t> Close;  // close functions (CDB byte 2 of 5Bh), in order
};

std::ostream& operator<<(std::ostream& Out, const MediumCase& Case) { return Out << Case.Name; }

struct BurnEveryMedium : ::testing::TestWithParam<MediumCase> {
    TBurnRig rig;
    std::string source = rig.files / "src";
    void SetUp() override {
        MakeSourceTree(source);
        ASSERT_TRUE(rig.Open());
        rig.Insert(GetParam().Kind);
        rig.Fill(source);
    }
};

TEST_P(BurnEveryMedium, DiscReadsBackWithEveryFileAndTheDriveSawTheRightCommands) {
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_FALSE(rig.burner.Writing());
    EXPECT_EQ(rig.burner.CacheFillPercent(), 0);

    const auto writes = rig.Commands(0x2A);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front().Lba(), 0u);
    for (size_t i = 0; i + 1 < writes.size(); ++i) EXPECT_EQ(writes[i].Blocks(), GetParam().BlockSectors) << i;
    if (GetParam().BlockSectors == 32) {
        EXPECT_EQ(writes.back().Blocks(), 32);
    }
    // Mode page 05h was read and written back before the data.
    const auto trace = rig.Trace();
    const auto firstWrite = std::find_if(trace.begin(), trace.end(), [](auto& c) { return c.Opcode() == 0x2A; });
    const bool pageSelected = std::any_of(trace.begin(), firstWrite, [](auto& c) { return c.Opcode() == 0x55; });
    EXPECT_TRUE(pageSelected || GetParam().Kind == MediaKind::DvdRam);
    EXPECT_EQ(!rig.Commands(0x53).empty(), GetParam().Kind == MediaKind::DvdR);  // the reservation
    std::vector<uint8_t> closes;
    for (const auto& close : rig.Commands(0x5B)) closes.push_back(close.Cdb[2] & 0x07);
    EXPECT_EQ(closes, GetParam().Close);

    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = rig.files / "out";
    ASSERT_EQ(ExtractWithXorriso(rig.Dump(), out), 0);
    EXPECT_TRUE(SameTree(source, out));
}

INSTANTIATE_TEST_SUITE_P(
    Media, BurnEveryMedium,
    ::testing::Values(MediumCase{"CDR", MediaKind::CdR, 27, {2}}, MediumCase{"CDRW", MediaKind::CdRw, 27, {2}},
                      MediumCase{"DVDR", MediaKind::DvdR, 32, {1, 1, 2}},
                      MediumCase{"DVDRWSequential", MediaKind::DvdRwSequential, 32, {2}},
                      MediumCase{"DVDRWRestricted", MediaKind::DvdRwRestricted, 32, {2}},
                      MediumCase{"DVDPlusR", MediaKind::DvdPlusR, 32, {1, 2}},
                      MediumCase{"DVDPlusRW", MediaKind::DvdPlusRw, 32, {3}},
                      MediumCase{"DVDRAM", MediaKind::DvdRam, 32, {}},
                      MediumCase{"DVDPlusRDL", MediaKind::DvdPlusRDl, 32, {1, 2}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

struct DiscBurn : ::testing::Test {
    TBurnRig rig;
    std::string source = rig.files / "src";
    void SetUp() override {
        MakeSourceTree(source);
        ASSERT_TRUE(rig.Open());
    }
    // A sparse file large enough to keep a burn busy for many blocks.
    void AddLargeFile(int64_t Bytes) {
        const std::string large = source + "/large.bin";
        { std::ofstream(large).close(); }
        ASSERT_EQ(truncate(large.c_str(), Bytes), 0);
    }
};

struct SecondVolume : ::testing::TestWithParam<MediumCase> {
    TBurnRig rig;
    std::string source = rig.files / "src";
    void SetUp() override {
        MakeSourceTree(source);
        ASSERT_TRUE(rig.Open());
    }
};

TEST_P(SecondVolume, FollowsTheFirstAndItsDescriptorsGoToSectorSixteenLast) {
    rig.Insert(GetParam().Kind);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    // The next volume begins where the first one's volume space ends.
    const int64_t firstSize = rig.burner.ImageEndLBA;

    const std::string second = rig.files / "second";
    WriteFile(second + "/new.txt", "session two");
    rig.Fill(second);
    rig.ClearTrace();
    ASSERT_EQ(rig.Burn(), "");
    // Never inside the first volume; a drive may report a later address.
    EXPECT_GE(rig.burner.ImageStartLBA, firstSize);
    EXPECT_LT(rig.burner.ImageStartLBA, firstSize + 32);
    const auto writes = rig.Commands(0x2A);
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes.front().Lba(), uint32_t(rig.burner.ImageStartLBA));
    EXPECT_EQ(writes.back().Lba(), 0u);  // the descriptor copy, after all data
    EXPECT_LE(writes.back().Blocks(), 20);

    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = rig.files / "out";
    ASSERT_EQ(ExtractWithXorriso(rig.Dump(), out), 0);
    EXPECT_TRUE(SameTree(second, out));
}

INSTANTIATE_TEST_SUITE_P(Overwritable, SecondVolume,
                         ::testing::Values(MediumCase{"DVDPlusRW", MediaKind::DvdPlusRw, 32, {}},
                                           MediumCase{"DVDRWRestricted", MediaKind::DvdRwRestricted, 32, {}},
                                           MediumCase{"DVDRAM", MediaKind::DvdRam, 32, {}}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(DiscBurn, AbortInTheMiddleLeavesTheOldVolumeReadableAndClosesNothing) {
    rig.Insert(MediaKind::DvdPlusRw);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");

    AddLargeFile(64 << 20);
    rig.Fill(source);
    rig.SetKnob("delay-opcode", "2A");
    rig.SetKnob("delay-ms", "20");
    rig.ClearTrace();
    TWriteDoneWatch watch(rig.burner);
    ASSERT_TRUE(rig.burner.BurnCD());
    for (int i = 0; i < 2000 && rig.burner.BytesWritten() < 10 * 65536; ++i) usleep(5000);
    EXPECT_GT(rig.burner.BytesWritten(), 0);
    rig.burner.AbortWrite();
    EXPECT_EQ(watch.Wait(), "OPERATION ABORTED BY USER");
    EXPECT_TRUE(rig.Commands(0x5B).empty());
    EXPECT_FALSE(rig.Commands(0x35).empty());  // the drive's cache was still flushed
    for (const auto& write : rig.Commands(0x2A)) EXPECT_NE(write.Lba(), 0u);

    rig.SetKnob("delay-ms", "0");
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = rig.files / "out";
    std::filesystem::remove(source + "/large.bin");
    ASSERT_EQ(ExtractWithXorriso(rig.Dump(), out), 0);
    EXPECT_TRUE(SameTree(source, out));
}

TEST_F(DiscBurn, WriteFailureIsAWriterErrorWithTheDrivesText) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    rig.SetKnob("fail-write-lba", "100");
    const std::string error = rig.Burn();
    EXPECT_EQ(error.rfind("WRITER ERROR [", 0), 0u) << error;
    EXPECT_NE(error.find("WRITE ERROR"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(0x5B).empty());
}

TEST_F(DiscBurn, BusyAnswersAreRetriedUntilTheDriveTakesTheBlock) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    rig.SetKnob("busy-opcode", "2A");
    rig.SetKnob("busy-count", "25");
    EXPECT_EQ(rig.Burn(), "");
}

TEST_F(DiscBurn, DriveThatStaysBusyEndsWithWriterBusy) {
    const double scale = TimeScale();
    SetTimeScale(0.00001);
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    rig.SetKnob("busy-opcode", "2A");
    rig.SetKnob("busy-count", "20000");
    EXPECT_EQ(rig.Burn(), "WRITER BUSY/BUFFER FULL");
    SetTimeScale(scale);
}

TEST_F(DiscBurn, MediumPulledInTheMiddleIsAWriterError) {
    rig.Insert(MediaKind::DvdPlusR);
    AddLargeFile(8 << 20);
    rig.Fill(source);
    rig.SetKnob("drop-medium-after", "40");
    const std::string error = rig.Burn();
    EXPECT_EQ(error.rfind("WRITER ERROR [", 0), 0u) << error;
}

TEST_F(DiscBurn, MissingSourceStopsTheBurnBeforeTheDriveIsWritten) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    std::filesystem::remove(source + "/data/blob.bin");
    EXPECT_EQ(rig.Burn(), "CAN'T OPEN FILE \"" + source + "/data/blob.bin\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_TRUE(rig.Commands(0x2A).empty());
}

TEST_F(DiscBurn, EmptyCompilationIsNeverBurnt) {
    rig.Insert(MediaKind::CdR);
    rig.burner.ClearAll(65535, 8191);
    rig.ClearTrace();
    EXPECT_EQ(rig.Burn(), "THE COMPILATION IS EMPTY: NOTHING TO WRITE");
    EXPECT_TRUE(rig.Trace().empty());
    EXPECT_EQ(rig.Drive().State().medium->Status(), vdrive::DiscStatus::Empty);
}

// The layout is fixed once the burn starts: a file that changed is written
// with its laid-out length, the burn is finished, and it is reported failed
// for that file.
TEST_F(DiscBurn, SourceThatChangedIsWrittenAsLaidOutAndTheBurnReportsIt) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    const std::string changed = source + "/data/blob.bin";
    WriteFile(changed, "now much shorter");
    const std::string error = rig.Burn();
    EXPECT_EQ(error, "FILE CHANGED WHILE IT WAS WRITTEN, ITS COPY IS NOT THE FILE: \"" + changed + "\"");
    EXPECT_EQ(rig.burner.ChangedSources(), std::vector<std::string>{changed});
    EXPECT_FALSE(rig.Commands(0x5B).empty()) << "the session is closed as after any complete burn";
    EXPECT_TRUE(rig.Logged("PADDED WITH ZEROS"));

    // The next burn starts with a clean record.
    rig.Fill(source);
    EXPECT_EQ(rig.Burn(), "");
    EXPECT_TRUE(rig.burner.ChangedSources().empty());
}

TEST_F(DiscBurn, ClosedDiscIsRefusedBeforeAnyWrite) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    rig.burner.FinalizeDisc = true;
    ASSERT_EQ(rig.Burn(), "");
    rig.ClearTrace();
    EXPECT_EQ(rig.Burn(), "THE DISC IS CLOSED: NO FURTHER SESSION CAN BE WRITTEN");
    EXPECT_TRUE(rig.Commands(0x2A).empty());
}

TEST_F(DiscBurn, SecondSessionOnACDRStartsAtTheNextWritableAddress) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    rig.Fill(source);
    rig.ClearTrace();
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_GT(rig.burner.ImageStartLBA, rig.burner.ImageSectors());
    EXPECT_EQ(rig.Commands(0x2A).front().Lba(), uint32_t(rig.burner.ImageStartLBA));
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = rig.files / "out";
    ASSERT_EQ(ExtractWithXorriso(rig.Dump(), out, rig.burner.ImageStartLBA), 0);
    EXPECT_TRUE(SameTree(source, out));
}

TEST_F(DiscBurn, TestWriteOnACDRClosesNothingAndLeavesItBlank) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    rig.burner.TestWrite = true;
    rig.burner.PerformOPC = true;
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_TRUE(rig.Commands(0x5B).empty());
    EXPECT_TRUE(rig.Commands(0x54).empty());  // no OPC for a test write
    EXPECT_TRUE(rig.Logged(">>> TEST/DUMMY WRITE"));
    EXPECT_EQ(rig.burner.GetDiscStatus(), 0);
}

TEST_F(DiscBurn, TestWriteIsRefusedWhereTheMediumCannotSimulate) {
    rig.Insert(MediaKind::DvdPlusRw);
    rig.Fill(source);
    rig.burner.TestWrite = true;
    const std::string error = rig.Burn();
    EXPECT_NE(error.find("TEST WRITE"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(0x2A).empty());
    EXPECT_TRUE(rig.Commands(0x04).empty());
}

TEST_F(DiscBurn, StartLineNamesTheMediumAndTheSpeed) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_TRUE(rig.Logged(">>> STARTING WRITE PROCESS ON CD-R AT "));
}

TEST_F(DiscBurn, BlankSequentialDVDRWIsFormattedButOneHoldingDataIsNot) {
    rig.Insert(MediaKind::DvdRwSequential);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_EQ(rig.Commands(0x04).size(), 1u);
    rig.Fill(source);
    rig.ClearTrace();
    rig.Burn();
    EXPECT_TRUE(rig.Commands(0x04).empty());
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

// A compilation ready to burn onto a blank CD-R.
struct DiscStart : DiscBurn {
    void SetUp() override {
        DiscBurn::SetUp();
        rig.Insert(MediaKind::CdR);
        rig.Fill(source);
    }
};

TEST_F(DiscStart, StartInsideTheExtentsOfAnImportedSessionIsRefused) {
    // An entry of an imported session whose data lies where a blank disc's
    // new session would begin.
    TSearchData found;
    found.Name = "old.bin";
    found.Size = 10 * 2048;
    ASSERT_EQ(rig.burner.AddFileEntry(rig.burner.RootDir, found, "", 40, false), 1);
    const std::string error = rig.Burn();
    EXPECT_NE(error.find("INSIDE THE IMPORTED SESSION"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(0x2A).empty());
}

TEST_F(DiscStart, SessionToImportThatFailsStopsTheBurn) {
    rig.burner.SessionToImport = -1;  // a blank disc has no session to import
    const std::string error = rig.Burn();
    EXPECT_NE(error.find("ERROR IMPORTING SESSION"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(0x2A).empty());
}

}  // namespace
}  // namespace kestrel
