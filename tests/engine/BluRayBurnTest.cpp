// Burning onto Blu-ray media in the recorder's BD writer: whole clusters at
// cluster addresses, the closing each medium needs, a blank BD-RE formatted
// before its first write, sessions on BD-R, a BD-RE whose volume grows with
// its descriptors copied to the first cluster last, capacity checks and the
// speed in BD terms. The discs are read back by xorriso.
#include <gtest/gtest.h>

#include <algorithm>

#include "BurnRig.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

constexpr uint32_t kCluster = mmc::bd::kClusterBlocks;
constexpr uint32_t kLayer = 12219392, kUsualFormat = 11826176;

struct TBdCase {
    const char* Name;
    MediaKind Kind;
    bool SpareAreas;             // a BD-R another program formatted with spare areas
    std::vector<uint8_t> Close;  // close functions (CDB byte 2), in order
};

std::ostream& operator<<(std::ostream& Out, const TBdCase& Case) { return Out << Case.Name; }

vdrive::Medium BlankBd(MediaKind Kind, bool SpareAreas) {
    vdrive::Medium medium = vdrive::Medium::Blank(Kind);
    if (SpareAreas) medium.FormatDisc(mmc::format::kBdRWithSpare, 0, mmc::format::kSequentialWithSpare);
    return medium;
}

// Every write starts on a cluster and covers whole clusters.
void ExpectWholeClusters(const std::vector<TTracedCommand>& Writes) {
    for (const auto& write : Writes) {
        EXPECT_EQ(write.Lba() % kCluster, 0u) << write.Lba();
        EXPECT_EQ(write.Blocks() % kCluster, 0u) << write.Lba() << ": " << write.Blocks();
    }
}

std::vector<uint8_t> CloseFunctions(TBurnRig& Rig) {
    std::vector<uint8_t> functions;
    for (const auto& close : Rig.Commands(mmc::op::kCloseTrackSession)) functions.push_back(close.Cdb[2] & 0x07);
    return functions;
}

struct BdBurn : ::testing::Test {
    TBurnRig rig{"bd-writer"};
    std::string source = rig.files / "src";
    void SetUp() override {
        MakeSourceTree(source);
        ASSERT_TRUE(rig.Open());
    }
    void Insert(MediaKind Kind, bool SpareAreas = false) { rig.Drive().Insert(BlankBd(Kind, SpareAreas)); }
    // A medium of Blocks only, to try the capacity checks without big files.
    void InsertSmall(MediaKind Kind, uint32_t Blocks) {
        vdrive::Medium medium = vdrive::Medium::Blank(Kind);
        medium.capacity = Blocks;
        rig.Drive().Insert(medium);
    }
    // The second session: the last one imported and Added over it.
    std::string BurnImportingTheLast(const std::string& Added) {
        rig.burner.ClearAll(65535, 8191);
        if (!rig.burner.ImportDiscSession(-1, nullptr)) return "<import failed>";
        if (rig.burner.InsertDir(rig.burner.RootDir, Added, "*.*", 63, true, false, false) != 1) return "<insert>";
        return rig.Burn();
    }
    std::string ExtractDump(int64_t Start, const std::string& Name) {
        const std::string out = rig.files / Name;
        EXPECT_EQ(ExtractWithXorriso(rig.Dump(), out, Start), 0);
        return out;
    }
};

struct BurnEveryBdMedium : BdBurn, ::testing::WithParamInterface<TBdCase> {};

TEST_P(BurnEveryBdMedium, WholeClustersTheMediumsClosingAndEveryFileReadBack) {
    Insert(GetParam().Kind, GetParam().SpareAreas);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");

    const auto writes = rig.Commands(mmc::op::kWrite10);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.front().Lba(), 0u);
    ExpectWholeClusters(writes);
    EXPECT_EQ(CloseFunctions(rig), GetParam().Close);
    // A BD has no write parameters page: none is selected for the burn.
    const auto trace = rig.Trace();
    const auto firstWrite =
        std::find_if(trace.begin(), trace.end(), [](auto& c) { return c.Opcode() == mmc::op::kWrite10; });
    // The write's preparation begins by loading the disc.
    const auto load = std::find_if(std::make_reverse_iterator(firstWrite), trace.rend(),
                                   [](auto& c) { return c.Opcode() == mmc::op::kStartStopUnit; });
    ASSERT_NE(load, trace.rend());
    EXPECT_TRUE(std::none_of(load.base(), firstWrite, [](auto& c) { return c.Opcode() == mmc::op::kModeSelect10; }));
    EXPECT_TRUE(std::any_of(load.base(), firstWrite, [](auto& c) { return c.Opcode() == mmc::op::kSetStreaming; }));
    EXPECT_TRUE(rig.Logged(">>> STARTING WRITE PROCESS ON " + MediumTypeName(rig.burner.GetDiscType()) +
                           " AT 12.0X (53,946 KB/s)"));

    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    EXPECT_TRUE(SameTree(source, ExtractDump(0, "out")));
}

INSTANTIATE_TEST_SUITE_P(
    Media, BurnEveryBdMedium,
    ::testing::Values(TBdCase{"BDR", MediaKind::BdR, false, {mmc::close::kTrack, mmc::close::kSession}},
                      TBdCase{"BDRDualLayer", MediaKind::BdRDl, false, {mmc::close::kTrack, mmc::close::kSession}},
                      TBdCase{"BDRWithSpareAreas", MediaKind::BdR, true, {mmc::close::kTrack, mmc::close::kSession}},
                      TBdCase{"BDRE", MediaKind::BdRe, false, {}},
                      TBdCase{"BDREDualLayer", MediaKind::BdReDl, false, {}}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(BdBurn, BlankBdReIsFormattedWithSpareAreasBeforeItsFirstWriteAndNeverAgain) {
    Insert(MediaKind::BdRe);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    const auto formats = rig.Commands(mmc::op::kFormatUnit);
    ASSERT_EQ(formats.size(), 1u);
    const auto trace = rig.Trace();
    const auto format = std::find_if(trace.begin(), trace.end(), [](auto& c) { return c.Opcode() == mmc::op::kFormatUnit; });
    const auto write = std::find_if(trace.begin(), trace.end(), [](auto& c) { return c.Opcode() == mmc::op::kWrite10; });
    EXPECT_LT(format, write);
    const auto medium = rig.Drive().State().medium;
    ASSERT_TRUE(medium);
    EXPECT_TRUE(medium->formatted);
    EXPECT_EQ(medium->FormattedBlocks(), kUsualFormat);
    EXPECT_TRUE(medium->VerifiesWrites()) << "spare areas make the drive check its writes";
    EXPECT_TRUE(rig.Logged(">>> FORMATTING THE BLANK BD-RE (11826176 SECTORS)"));

    // Formatting again would empty it: the next burn writes behind the volume.
    rig.Fill(source);
    rig.ClearTrace();
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_TRUE(rig.Commands(mmc::op::kFormatUnit).empty());
}

TEST_F(BdBurn, ImageFileEndsOnAWholeClusterAndABlankBdReIsFormattedFirst) {
    // 1,000,000 bytes: 489 sectors, written as 512.
    std::string bytes(1000000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
    const std::string image = rig.files / "image.iso";
    WriteFile(image, bytes);
    for (const MediaKind kind : {MediaKind::BdR, MediaKind::BdRe}) {
        SCOPED_TRACE(vdrive::TraitsOf(kind).name);
        Insert(kind);
        rig.ClearTrace();
        ASSERT_EQ(rig.BurnImage(image), "");
        EXPECT_EQ(rig.Commands(mmc::op::kFormatUnit).size(), kind == MediaKind::BdRe ? 1u : 0u);
        const auto writes = rig.Commands(mmc::op::kWrite10);
        ExpectWholeClusters(writes);
        uint32_t sectors = 0;
        for (const auto& write : writes) sectors += write.Blocks();
        EXPECT_EQ(sectors, 512u);
        const std::string dumped = ReadFile(rig.Dump());
        ASSERT_EQ(dumped.size(), 512u * 2048);
        EXPECT_EQ(dumped.substr(0, bytes.size()), bytes);
        EXPECT_EQ(dumped.find_first_not_of('\0', bytes.size()), std::string::npos) << "the padding is zeros";
    }
}

TEST_F(BdBurn, TwoBdRSessionsTheSecondImportingTheFirstAndFinalizingTheDisc) {
    Insert(MediaKind::BdR);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    const int64_t firstEnd = rig.burner.ImageEndLBA;
    EXPECT_EQ(rig.burner.GetDiscStatus(), 1) << "appendable";

    const std::string second = rig.files / "second";
    WriteFile(second + "/added/notes.txt", "session two\n");
    rig.burner.FinalizeDisc = true;
    rig.ClearTrace();
    ASSERT_EQ(BurnImportingTheLast(second), "");
    EXPECT_GE(rig.burner.ImageStartLBA, firstEnd);
    EXPECT_EQ(rig.burner.ImageStartLBA % kCluster, 0u);
    ExpectWholeClusters(rig.Commands(mmc::op::kWrite10));
    EXPECT_EQ(CloseFunctions(rig), (std::vector<uint8_t>{mmc::close::kTrack, mmc::close::kFinalize}));
    EXPECT_EQ(rig.burner.GetSessionCount(), 2);
    EXPECT_EQ(rig.burner.GetDiscStatus(), 2) << "finalized";

    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = ExtractDump(rig.burner.ImageStartLBA, "out");
    EXPECT_EQ(ReadFile(out + "/added/notes.txt"), "session two\n");
    EXPECT_EQ(ReadFile(out + "/data/blob.bin"), ReadFile(source + "/data/blob.bin"));
}

TEST_F(BdBurn, BdReVolumeGrowsAndItsDescriptorsGoToTheFirstClusterLast) {
    Insert(MediaKind::BdRe);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    const int64_t firstEnd = rig.burner.ImageEndLBA;
    const std::string before = ReadFile(rig.Dump());

    const std::string second = rig.files / "second";
    WriteFile(second + "/added/notes.txt", "volume two\n");
    rig.ClearTrace();
    ASSERT_EQ(BurnImportingTheLast(second), "");
    EXPECT_GE(rig.burner.ImageStartLBA, firstEnd);
    EXPECT_LT(rig.burner.ImageStartLBA, firstEnd + kCluster);
    EXPECT_EQ(rig.burner.ImageStartLBA % kCluster, 0u);
    const auto writes = rig.Commands(mmc::op::kWrite10);
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes.front().Lba(), uint32_t(rig.burner.ImageStartLBA));
    EXPECT_EQ(writes.back().Lba(), 0u) << "the descriptor copy comes after all data";
    EXPECT_EQ(writes.back().Blocks(), kCluster);
    ExpectWholeClusters(writes);
    EXPECT_TRUE(rig.Commands(mmc::op::kCloseTrackSession).empty());

    // The first cluster past the descriptors holds the first volume's own
    // data, which its files may still use: it was written back unchanged.
    const std::string after = ReadFile(rig.Dump());
    size_t terminator = 16;
    while (static_cast<uint8_t>(after[terminator * 2048]) != 0xFF) ++terminator;
    const size_t keptFrom = (terminator + 1) * 2048, keptTo = kCluster * 2048;
    EXPECT_EQ(after.substr(keptFrom, keptTo - keptFrom), before.substr(keptFrom, keptTo - keptFrom));

    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = ExtractDump(0, "out");
    EXPECT_EQ(ReadFile(out + "/added/notes.txt"), "volume two\n");
    EXPECT_EQ(ReadFile(out + "/data/blob.bin"), ReadFile(source + "/data/blob.bin"));
}

TEST_F(BdBurn, WhatDoesNotFitIsRefusedBeforeAnyWrite) {
    // 300,000 bytes of data and the volume's head need more than 160 sectors.
    InsertSmall(MediaKind::BdR, 5 * kCluster);
    rig.Fill(source);
    std::string error = rig.Burn();
    EXPECT_NE(error.find("DOES NOT FIT ON THE DISC (160 SECTORS)"), std::string::npos) << error;

    // An image of 140 sectors needs 5 whole clusters: one more than the disc.
    InsertSmall(MediaKind::BdR, 4 * kCluster);
    const std::string image = rig.files / "image.iso";
    WriteFile(image, std::string(140 * 2048, 'i'));
    error = rig.BurnImage(image);
    EXPECT_NE(error.find("DOES NOT FIT ON THE DISC (128 SECTORS)"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(mmc::op::kWrite10).empty());

    // A blank BD-RE offers what its format will hold, not the whole layer.
    Insert(MediaKind::BdRe);
    EXPECT_EQ(rig.burner.GetDiscCapacity(), kUsualFormat);
    EXPECT_LT(rig.burner.GetDiscCapacity(), kLayer);
    EXPECT_TRUE(rig.Commands(mmc::op::kFormatUnit).empty());
}

TEST_F(BdBurn, ChosenSpeedIsSentAsAStreamingRateAndLoggedInBdTerms) {
    Insert(MediaKind::BdR);
    rig.Fill(source);
    rig.burner.SetWriteSpeed(17982);  // 4x
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_FALSE(rig.Commands(mmc::op::kSetStreaming).empty());
    EXPECT_TRUE(rig.Logged(">>> STARTING WRITE PROCESS ON BD-R AT 4.0X (17,982 KB/s)"));
}

// xorriso reads the discs through the interposer as from a real BD drive.
TEST(BluRayInterposer, XorrisoSeesBothBdRSessionsAndTheBdReVolume) {
    const std::string interposer = std::string(KESTREL_BIN_DIR) + "/libkestrel-vdrive-sg.so";
    if (!HaveProgram("xorriso") || !std::filesystem::exists(interposer)) GTEST_SKIP() << "xorriso or interposer missing";
    TBurnRig rig("bd-writer");
    const std::string first = rig.files / "first", second = rig.files / "second";
    MakeSourceTree(first);
    WriteFile(second + "/added.txt", "two");
    ASSERT_TRUE(rig.Open());
    const std::string env = "LD_PRELOAD=" + Quote(interposer) + " ";
    const std::string device = "/dev/sr" + std::to_string(rig.DriveIndex());

    for (const MediaKind kind : {MediaKind::BdR, MediaKind::BdRe}) {
        SCOPED_TRACE(vdrive::TraitsOf(kind).name);
        rig.Drive().Insert(vdrive::Medium::Blank(kind));
        rig.Fill(first);
        ASSERT_EQ(rig.Burn(), "");
        rig.burner.ClearAll(65535, 8191);
        ASSERT_TRUE(rig.burner.ImportDiscSession(-1, nullptr));
        ASSERT_EQ(rig.burner.InsertDir(rig.burner.RootDir, second, "*.*", 63, true, false, false), 1);
        ASSERT_EQ(rig.Burn(), "");

        const std::string toc = RunCommand(env + "xorriso -indev " + device + " -toc 2>&1");
        int sessions = 0;
        for (size_t at = 0; (at = toc.find("ISO session", at)) != std::string::npos; ++at) ++sessions;
        // A BD-RE holds one volume that grew; a BD-R one session per burn.
        EXPECT_EQ(sessions, kind == MediaKind::BdR ? 2 : 1) << toc;
        const std::string out = rig.files / (std::string("out-") + vdrive::TraitsOf(kind).name);
        int status = -1;
        RunCommand(env + "xorriso -osirrox on -indev " + device + " -extract / " + Quote(out) + " 2>&1", &status);
        ASSERT_EQ(status, 0);
        EXPECT_EQ(ReadFile(out + "/added.txt"), "two");
        EXPECT_EQ(ReadFile(out + "/data/blob.bin"), ReadFile(first + "/data/blob.bin"));
    }
}

}  // namespace
}  // namespace kestrel
