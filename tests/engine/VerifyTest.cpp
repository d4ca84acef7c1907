// Reading a burnt session back: a good burn verifies on every medium; a
// drive that records a block wrongly or cannot read one back fails the burn
// naming the file (or the file system structures); a source changed during
// the burn is named; an abort while the disc is read back leaves the burn
// written, not verified.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

#include "BurnRig.h"
#include "burner/engine/SectorMap.h"
#include "burner/engine/WriteDigest.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

// The READ (10) commands that read the session back: those after the last write.
std::vector<TTracedCommand> ReadsAfterLastWrite(TBurnRig& Rig) {
    const auto trace = Rig.Trace();
    auto last = std::find_if(trace.rbegin(), trace.rend(), [](auto& c) { return c.Opcode() == mmc::op::kWrite10; });
    std::vector<TTracedCommand> reads;
    for (auto it = last.base(); it != trace.end(); ++it)
        if (it->Opcode() == mmc::op::kRead10) reads.push_back(*it);
    return reads;
}

struct VerifyEveryMedium : ::testing::TestWithParam<MediaKind> {
    TBurnRig rig;
    std::string source = rig.files / "src";
    void SetUp() override {
        MakeSourceTree(source);
        ASSERT_TRUE(rig.Open());
        rig.Insert(GetParam());
        rig.Fill(source);
        rig.burner.VerifyAfterWrite = true;
    }
};

TEST_P(VerifyEveryMedium, GoodBurnIsReadBackWholeInLargeBlocksAndVerified) {
    ASSERT_EQ(rig.Burn(), "");
    const TVerifyReport report = rig.burner.LastVerification();
    EXPECT_EQ(report.Outcome, TVerifyOutcome::Verified) << report.Summary();
    EXPECT_TRUE(report.Findings.empty());
    EXPECT_EQ(report.Sectors, rig.burner.ImageSectors());
    EXPECT_EQ(rig.burner.BytesVerified(), report.Sectors * 2048);

    // Every sector of the session once, in blocks of 32 sectors.
    std::vector<TTracedCommand> reads;
    for (const auto& read : ReadsAfterLastWrite(rig))
        if (read.Lba() >= uint32_t(rig.burner.ImageStartLBA)) reads.push_back(read);
    ASSERT_FALSE(reads.empty());
    uint32_t next = uint32_t(rig.burner.ImageStartLBA);
    for (size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(reads[i].Lba(), next) << i;
        if (i + 1 < reads.size()) {
            EXPECT_EQ(reads[i].Blocks(), kDigestRangeSectors) << i;
        }
        next += reads[i].Blocks();
    }
    EXPECT_EQ(next, uint32_t(rig.burner.ImageStartLBA + report.Sectors));
}

INSTANTIATE_TEST_SUITE_P(Media, VerifyEveryMedium,
                         ::testing::Values(MediaKind::CdR, MediaKind::CdRw, MediaKind::DvdR, MediaKind::DvdRwSequential,
                                           MediaKind::DvdRwRestricted, MediaKind::DvdPlusR, MediaKind::DvdPlusRw,
                                           MediaKind::DvdRam, MediaKind::DvdPlusRDl),
                         [](const auto& Info) {
                             std::string name;
                             for (const char c : std::string(vdrive::TraitsOf(Info.param).name))
                                 name += c == '+' ? std::string("plus") : std::isalnum(c) ? std::string(1, c) : "";
                             return name;
                         });

struct Verify : ::testing::Test {
    TBurnRig rig;
    std::string source = rig.files / "src";
    std::string blob = source + "/data/blob.bin";
    void SetUp() override {
        MakeSourceTree(source);
        ASSERT_TRUE(rig.Open());
        rig.burner.VerifyAfterWrite = true;
    }
    // The compilation of source, laid out as on a blank disc; the sector
    // at Offset sectors into the data of Path.
    int64_t SectorOf(const std::string& Path, int64_t Offset) {
        rig.Fill(source);
        rig.burner.BuildLayout(true, nullptr);
        for (const auto& entry : rig.burner.FileTable)
            if (entry->SourcePath == Path) return rig.burner.FirstFileLBA + entry->ISOExtent + Offset;
        ADD_FAILURE() << Path << " is not in the compilation";
        return -1;
    }
};

TEST_F(Verify, BlockRecordedWronglyInsideAFileFailsTheBurnNamingOnlyThatFile) {
    rig.Insert(MediaKind::CdR);
    const int64_t bad = SectorOf(blob, 40);
    rig.SetKnob("corrupt-write-lba", std::to_string(bad));
    const std::string error = rig.Burn();
    EXPECT_EQ(error, "VERIFICATION FAILED, THE DISC DOES NOT HOLD WHAT WAS WRITTEN: \"" + blob + "\" differs (sector " +
                         std::to_string(bad) + ")");
    const TVerifyReport report = rig.burner.LastVerification();
    EXPECT_EQ(report.Outcome, TVerifyOutcome::Differs);
    ASSERT_EQ(report.Findings.size(), 1u);
    EXPECT_EQ(report.Findings[0].Sectors, 1);
    EXPECT_TRUE(rig.Logged(">>> VERIFY: \"" + blob + "\" differs"));
    EXPECT_FALSE(rig.Commands(mmc::op::kCloseTrackSession).empty()) << "the session was closed before the read-back";
}

TEST_F(Verify, BlockRecordedWronglyInTheDirectoryRecordsNamesTheFileSystemStructures) {
    rig.Insert(MediaKind::DvdPlusR);
    rig.Fill(source);
    rig.burner.BuildLayout(true, nullptr);
    const int64_t directory = rig.burner.ISODirArea;
    rig.SetKnob("corrupt-write-lba", std::to_string(directory));
    EXPECT_EQ(rig.Burn(), "VERIFICATION FAILED, THE DISC DOES NOT HOLD WHAT WAS WRITTEN: file system structures "
                          "differ (sector " + std::to_string(directory) + ")");
}

TEST_F(Verify, UnreadableBlockIsReportedAsUnreadableWithItsFile) {
    rig.Insert(MediaKind::DvdR);
    const int64_t bad = SectorOf(blob, 100);
    rig.SetKnob("unreadable-lba", std::to_string(bad));
    const std::string error = rig.Burn();
    EXPECT_NE(error.find("\"" + blob + "\" cannot be read (sector " + std::to_string(bad) + ")"), std::string::npos)
        << error;
    EXPECT_EQ(error.find("differs"), std::string::npos) << "the readable sectors around it are right\n" << error;
    EXPECT_TRUE(rig.burner.LastVerification().Has(TVerifyProblem::Unreadable));
}

// The read-ahead has read every source before the first block goes out; a
// file changed later (here while the drive closes the track) is no longer
// what the disc holds.
TEST_F(Verify, SourceChangedDuringTheBurnAfterItWasReadIsNamed) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    const std::string readme = source + "/readme.txt";
    rig.burner.OnFinalizingTrack = [&](TKestrelBurner*) { std::ofstream(readme, std::ios::app) << "more\n"; };
    const std::string error = rig.Burn();
    EXPECT_EQ(error, "VERIFICATION FAILED, THE DISC DOES NOT HOLD WHAT WAS WRITTEN: \"" + readme +
                         "\" changed while it was burnt");
    EXPECT_EQ(rig.burner.ChangedSources(), std::vector<std::string>{readme});

    // Without the read-back the burn has no way to know.
    rig.burner.VerifyAfterWrite = false;
    rig.Fill(source);
    EXPECT_EQ(rig.Burn(), "");
}

// Abort while the disc is read back: the burn's own result stands (the
// session is written and closed), only the verification is missing.
TEST_F(Verify, AbortWhileReadingBackLeavesTheBurnWrittenNotVerified) {
    rig.Insert(MediaKind::DvdPlusR);
    rig.Fill(source);
    rig.burner.OnDebugMessage = [&](TDebugLog*, const std::string& Line, uint8_t) {
        if (Line.rfind(">>> VERIFYING", 0) == 0) rig.burner.AbortWrite();
    };
    EXPECT_EQ(rig.Burn(), "WRITTEN, NOT VERIFIED: VERIFICATION ABORTED BY USER");
    EXPECT_EQ(rig.burner.LastVerification().Outcome, TVerifyOutcome::Aborted);
    EXPECT_FALSE(rig.Commands(mmc::op::kCloseTrackSession).empty());
    EXPECT_EQ(rig.Drive().State().medium->Status(), vdrive::DiscStatus::Incomplete) << "closed, appendable";
    EXPECT_TRUE(ReadsAfterLastWrite(rig).empty()) << "the reading stopped before its first block";
}

TEST_F(Verify, ImageBurnNamesTheFileOfTheImageThatDiffers) {
    rig.Fill(source);
    const std::string image = rig.files / "own.iso";
    rig.burner.QuickSaveToISOFile(image);
    const int64_t bad = SectorOf(blob, 3);  // the same layout at sector 0
    rig.Insert(MediaKind::DvdPlusR);
    rig.SetKnob("corrupt-write-lba", std::to_string(bad));
    EXPECT_EQ(rig.BurnImage(image), "VERIFICATION FAILED, THE DISC DOES NOT HOLD WHAT WAS WRITTEN: \"/data/blob.bin\" "
                                     "differs (sector " + std::to_string(bad) + ")");
}

// On overwritable media the copy of the volume descriptors written at the
// disc's start after the data is read back as well.
TEST_F(Verify, SecondVolumeOnADVDPlusRWChecksTheDescriptorCopyAtTheStart) {
    rig.Insert(MediaKind::DvdPlusRw);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    rig.Fill(source);
    rig.SetKnob("corrupt-write-lba", "16");
    const std::string error = rig.Burn();
    EXPECT_EQ(error, "VERIFICATION FAILED, THE DISC DOES NOT HOLD WHAT WAS WRITTEN: file system structures "
                     "differ (sector 16)");
}

TEST_F(Verify, TestWriteIsNotReadBack) {
    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    rig.burner.TestWrite = true;
    EXPECT_EQ(rig.Burn(), "");
    EXPECT_EQ(rig.burner.LastVerification().Outcome, TVerifyOutcome::NotRun);
    EXPECT_TRUE(ReadsAfterLastWrite(rig).empty());
}

// The fingerprints kept while writing blocks of 27 sectors are those of the
// 32-sector ranges the disc is read back in, and one changed byte shows.
TEST(WriteDigest, BlocksOfAnySizeGiveTheFingerprintsOfTheReadBackRanges) {
    // 100 sectors of stream, sent as four blocks of 27 sectors: the last
    // one's 8 sectors after the stream's end are padding.
    std::vector<uint8_t> stream(108 * 2048, 0xEE);
    for (size_t i = 0; i < 100 * 2048; ++i) stream[i] = static_cast<uint8_t>(i * 7 + i / 2048);
    TWriteDigest digest;
    digest.Start(100);
    for (size_t at = 0; at < stream.size(); at += 27 * 2048) digest.Add(stream.data() + at, 27 * 2048);
    ASSERT_TRUE(digest.Complete());
    ASSERT_EQ(digest.Ranges(), 4u);
    for (size_t r = 0; r < 4; ++r)
        EXPECT_EQ(digest.Range(r), RangeDigest(stream.data() + r * 32 * 2048, r < 3 ? 32 : 4)) << r;

    stream[33 * 2048 + 1000] ^= 0x01;
    EXPECT_NE(digest.Range(1), RangeDigest(stream.data() + 32 * 2048, 32));
    // Two sectors swapped are not the same range.
    std::vector<uint8_t> swapped(stream.begin(), stream.begin() + 64 * 2048);
    std::swap_ranges(swapped.begin(), swapped.begin() + 2048, swapped.begin() + 2048);
    EXPECT_NE(RangeDigest(swapped.data(), 32), RangeDigest(stream.data(), 32));
}

// An image is untrusted: a directory that holds itself and lengths past
// the file end name nothing wrongly and end.
TEST(ImageSectorMap, HostileDirectoriesEndAndLeaveTheRestToTheFileSystem) {
    TTempDir dir;
    const std::string image = dir / "loop.iso";
    std::string bytes(40 * 2048, '\0');
    uint8_t* pvd = reinterpret_cast<uint8_t*>(bytes.data()) + 16 * 2048;
    pvd[0] = 1;
    std::memcpy(pvd + 1, "CD001", 5);
    uint8_t* root = pvd + 156;
    root[0] = 34;
    root[2] = 20;                                  // the root's extent: sector 20
    root[10] = 0xFF, root[11] = 0xFF, root[12] = 0xFF, root[13] = 0x7F;  // 2 GB long
    uint8_t* term = pvd + 2048;
    term[0] = 0xFF;
    std::memcpy(term + 1, "CD001", 5);
    // Sector 20: a record of a directory at sector 20 again, and a file.
    uint8_t* rec = reinterpret_cast<uint8_t*>(bytes.data()) + 20 * 2048;
    rec[0] = 34, rec[2] = 20, rec[10] = 0x00, rec[11] = 0x08, rec[25] = 0x02, rec[32] = 1, rec[33] = 'D';
    rec += 34;
    rec[0] = 34, rec[2] = 30, rec[10] = 0x00, rec[11] = 0x10, rec[32] = 1, rec[33] = 'F';
    WriteFile(image, bytes);
    const TSectorMap map = SectorMapOfImage(image);
    EXPECT_EQ(map.NameOf(30), "/F");
    EXPECT_EQ(map.NameOf(31), "/F");
    EXPECT_EQ(map.NameOf(32), kFileSystemStructures);
    EXPECT_EQ(map.NameOf(20), kFileSystemStructures);
    EXPECT_EQ(SectorMapOfImage(dir / "missing.iso").Extents(), 0u);
}

}  // namespace
}  // namespace kestrel
