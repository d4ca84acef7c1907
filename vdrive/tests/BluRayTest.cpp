// Blu-ray in the recorder: BD-R in sequential recording mode with its
// clusters and sessions, BD-RE and its formats, spare areas, the features,
// speeds and structures a BD writer reports.
#include <sys/stat.h>

#include "DriveHarness.h"
#include "kestrel/mmc.h"
#include "model/SpareAreas.h"

namespace vdrive::test {
namespace {

constexpr uint32_t kLayer = 12219392, kUsualSpare = 393216;
constexpr uint32_t kCluster = mmc::bd::kClusterBlocks;

class BluRay : public DriveTest {
protected:
    void SetUp() override {
        DriveTest::SetUp();
        bd_ = set_->AddDrive(*DriveModel::Preset("bd-writer"));
    }
    void InsertBd(MediaKind Kind) { Insert(Kind, bd_); }

    // FORMAT UNIT with one descriptor: blocks, format type and subtype.
    Result Format(uint32_t Blocks, uint8_t Type, uint8_t Subtype = 0, int N = -1) {
        std::vector<uint8_t> list = {0, 0x02, 0, 8, B(Blocks, 24), B(Blocks, 16), B(Blocks, 8), B(Blocks, 0),
                                     uint8_t(Type << 2 | Subtype), 0, 0, 0};
        return Out({mmc::op::kFormatUnit, 0x11, 0, 0, 0, 0}, list, N < 0 ? bd_ : N);
    }
    // The descriptors of READ FORMAT CAPACITIES as (blocks, type byte).
    std::vector<std::pair<uint32_t, uint8_t>> FormatCapacities() {
        auto r = In({mmc::op::kReadFormatCapacities, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0}, 256, bd_);
        EXPECT_GOOD(r);
        std::vector<std::pair<uint32_t, uint8_t>> out;
        for (size_t at = 4; at + 8 <= size_t(4 + r.data[3]) && at + 8 <= r.data.size(); at += 8)
            out.emplace_back(r.U32(at), r.data[at + 4]);
        return out;
    }
    Result Close(uint8_t Function, uint16_t Number = 0) {
        return None({mmc::op::kCloseTrackSession, 0, Function, 0, B(Number, 8), B(Number, 0), 0, 0, 0, 0}, bd_);
    }
    uint16_t CurrentProfile(int N) {
        auto r = In({mmc::op::kGetConfiguration, 0x01, 0, 0, 0, 0, 0, 0, 8, 0}, 8, N);
        return r.Good() ? r.U16(6) : 0;
    }
    // The data of one feature (RT 2), empty when the drive does not list it;
    // Current tells whether the drive marked it current.
    std::vector<uint8_t> FeatureData(uint16_t Code, bool& Current, int N) {
        auto r = In({mmc::op::kGetConfiguration, 0x02, B(Code, 8), B(Code, 0), 0, 0, 0, 0x01, 0x00, 0}, 256, N);
        if (!r.Good() || r.data.size() < 12 || r.U16(8) != Code) return {};
        Current = r.data[10] & 0x01;
        return std::vector<uint8_t>(r.data.begin() + 12, r.data.begin() + 12 + r.data[11]);
    }

    int bd_ = 0;
};

}  // namespace

TEST_F(BluRay, BdRWritesWholeClustersAndKeepsSessionsOpenUntilFinalized) {
    InsertBd(MediaKind::BdR);
    EXPECT_EQ(CurrentProfile(bd_), mmc::profile::kBdRSequential);
    auto blank = TrackInfo(1, bd_);
    EXPECT_EQ(blank.U32(16), kLayer);
    EXPECT_EQ(blank.U32(20), kCluster) << "fixed packet size: one cluster";

    // Writes of any length follow each other; a flush pads the cluster the
    // last one ended in, and the next address is the following cluster.
    ASSERT_GOOD(Write10(0, 16, 0x11, bd_));
    ASSERT_GOOD(Write10(16, 24, 0x11, bd_));
    EXPECT_EQ(TrackInfo(1, bd_).U32(12), 40u);
    ASSERT_GOOD(None({mmc::op::kSynchronizeCache, 0, 0, 0, 0, 0, 0, 0, 0, 0}, bd_));
    EXPECT_EQ(TrackInfo(1, bd_).U32(12), 2 * kCluster);
    EXPECT_SENSE(Write10(40, 8, 0x11, bd_), 5, 0x21, 0x02);
    auto padded = Read10(40, 24, bd_);
    ASSERT_GOOD(padded);
    EXPECT_EQ(padded.data, std::vector<uint8_t>(24 * 2048, 0));

    // Function 2 leaves the disc appendable whatever mode page 05h says.
    ASSERT_GOOD(SetWritePage(0, 0, false, bd_));
    ASSERT_GOOD(Close(mmc::close::kTrack, 1));
    ASSERT_GOOD(Close(mmc::close::kSession));
    auto appendable = DiscInfo(bd_);
    EXPECT_EQ(appendable.data[2], 0x01) << "appendable, next session empty";
    EXPECT_EQ(appendable.U32(16), 2 * kCluster) << "the next session follows at once";

    ASSERT_GOOD(Write10(2 * kCluster, 32, 0x22, bd_));
    ASSERT_GOOD(Close(mmc::close::kTrack, 2));
    ASSERT_GOOD(Close(mmc::close::kFinalize));
    auto closed = DiscInfo(bd_);
    EXPECT_EQ(closed.data[2], 0x0E) << "complete disc";
    EXPECT_EQ(closed.data[4], 2);
    EXPECT_SENSE(Write10(3 * kCluster, 32, 0x33, bd_), 5, 0x21, 0x02);
}

TEST_F(BluRay, BlankBdRFormatsWithSpareAreasOnceAndThenVerifiesItsWrites) {
    InsertBd(MediaKind::BdR);
    const auto blank = FormatCapacities();
    ASSERT_EQ(blank.size(), 4u);
    EXPECT_EQ(blank[0], std::make_pair(kLayer, mmc::format::kUnformattedMedium));
    for (size_t i = 1; i < blank.size(); ++i) EXPECT_EQ(blank[i].second, mmc::format::kBdRWithSpare << 2) << i;
    EXPECT_EQ(blank[1].first, kLayer - kUsualSpare);

    EXPECT_SENSE(Format(0, mmc::format::kBdReWithSpare), 5, 0x26, 0x00) << "a BD-R has no BD-RE formats";
    EXPECT_SENSE(Format(kLayer - 16, mmc::format::kBdRWithSpare), 5, 0x26, 0x00) << "not whole clusters";
    EXPECT_SENSE(Format(kLayer, mmc::format::kBdRWithSpare), 5, 0x26, 0x00) << "less spare than offered";
    ASSERT_GOOD(Format(0, mmc::format::kBdRWithSpare));
    auto formatted = D(bd_).State().medium;
    ASSERT_TRUE(formatted);
    EXPECT_TRUE(formatted->VerifiesWrites());
    EXPECT_EQ(formatted->Status(), DiscStatus::Empty) << "formatting records nothing";
    EXPECT_EQ(TrackInfo(1, bd_).U32(16), kLayer - kUsualSpare);
    bool current = false;
    EXPECT_FALSE(FeatureData(mmc::feature::kDefectManagement, current, bd_).empty());
    EXPECT_TRUE(current) << "defect management is on";

    ASSERT_GOOD(Write10(0, 32, 0x44, bd_));
    EXPECT_SENSE(Format(0, mmc::format::kBdRWithSpare), 5, 0x30, 0x06) << "a written BD-R is formatted no more";
    EXPECT_EQ(FormatCapacities().size(), 1u) << "no formats offered any more";
}

TEST_F(BluRay, BdReIsFormattedBeforeItTakesDataAndEachFormatEmptiesIt) {
    InsertBd(MediaKind::BdRe);
    EXPECT_EQ(CurrentProfile(bd_), mmc::profile::kBdRe);
    EXPECT_SENSE(Write10(0, 32, 0x11, bd_), 5, 0x30, 0x10);
    const auto offered = FormatCapacities();
    ASSERT_EQ(offered.size(), 6u);
    EXPECT_EQ(offered[0], std::make_pair(kLayer - kUsualSpare, mmc::format::kUnformattedMedium));
    EXPECT_EQ(offered[1].second, mmc::format::kFull << 2);
    EXPECT_EQ(offered[2], std::make_pair(kLayer - kUsualSpare, uint8_t(mmc::format::kBdReWithSpare << 2)));
    EXPECT_EQ(offered[5], std::make_pair(kLayer, uint8_t(mmc::format::kBdReWithoutSpare << 2)));

    ASSERT_GOOD(Format(offered[3].first, mmc::format::kBdReWithSpare, mmc::format::kQuickCertification));
    EXPECT_EQ(FormatCapacities()[0], std::make_pair(offered[3].first, mmc::format::kFormattedMedium));
    ASSERT_GOOD(Write10(100, 10, 0x55, bd_));
    ASSERT_GOOD(Write10(0, 32, 0x55, bd_));
    EXPECT_EQ(TrackInfo(1, bd_).U32(12), 4 * kCluster) << "next address at a cluster boundary";
    EXPECT_SENSE(None({mmc::op::kBlank, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, bd_), 5, 0x30, 0x05) << "no blanking on BD-RE";

    // A quick reformat keeps the size and empties the disc.
    ASSERT_GOOD(Format(0, mmc::format::kBdReWithSpare, mmc::format::kQuickReformat));
    EXPECT_EQ(FormatCapacities()[0].first, offered[3].first);
    auto reread = Read10(100, 1, bd_);
    ASSERT_GOOD(reread);
    EXPECT_EQ(reread.data, std::vector<uint8_t>(2048, 0));

    // Without spare areas the whole layer is user space and nothing is verified.
    ASSERT_GOOD(Format(0, mmc::format::kBdReWithoutSpare));
    auto unspared = D(bd_).State().medium;
    EXPECT_EQ(unspared->FormattedBlocks(), kLayer);
    EXPECT_FALSE(unspared->VerifiesWrites());
    EXPECT_SENSE(Format(kLayer - 100 * kCluster, mmc::format::kBdReWithSpare, mmc::format::kFullCertification),
                 5, 0x26, 0x00)
        << "less spare than the least offered";
}

TEST_F(BluRay, DualLayerDiscsHoldTwiceTheBlocksAndTheirFilesStaySparse) {
    InsertBd(MediaKind::BdRDl);
    EXPECT_EQ(TrackInfo(1, bd_).U32(16), 2 * kLayer);
    InsertBd(MediaKind::BdReDl);
    ASSERT_GOOD(Format(0, mmc::format::kBdReWithSpare, mmc::format::kQuickCertification));
    EXPECT_EQ(D(bd_).State().medium->FormattedBlocks(), 2 * kLayer - SpareChoicesOf(MediaKind::BdReDl).usual);
    EXPECT_EQ(SpareChoicesOf(MediaKind::BdReDl).usual, 2 * kUsualSpare);

    // A cluster near the end of a 50 GB disc costs one cluster of space.
    ASSERT_GOOD(Write10(2 * kLayer - 2 * kUsualSpare - kCluster, kCluster, 0x66, bd_));
    struct stat st {};
    ASSERT_EQ(::stat((D(bd_).Folder() + "/disc.img").c_str(), &st), 0);
    EXPECT_GT(st.st_size, int64_t(45) << 30);
    EXPECT_LT(int64_t(st.st_blocks) * 512, int64_t(4) << 20);
}

TEST_F(BluRay, WriterReportsBdFeaturesSpeedsAndDiscStructures) {
    InsertBd(MediaKind::BdR);
    bool current = false;
    auto read = FeatureData(mmc::feature::kBdRead, current, bd_);
    ASSERT_EQ(read.size(), 28u);
    EXPECT_TRUE(current);
    EXPECT_NE(read[13], 0) << "reads BD-R";
    auto write = FeatureData(mmc::feature::kBdWrite, current, bd_);
    ASSERT_EQ(write.size(), 20u);
    EXPECT_TRUE(current);
    EXPECT_NE(write[5], 0) << "writes BD-RE";
    EXPECT_NE(write[13], 0) << "writes BD-R";

    // GET PERFORMANCE, write speed descriptors: 12x first, none below 1x.
    auto speeds = In({mmc::op::kGetPerformance, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0x03, 0}, 8 + 8 * 16, bd_);
    ASSERT_GOOD(speeds);
    ASSERT_GE(speeds.data.size(), 24u);
    EXPECT_EQ(speeds.U32(8 + 12), 53946u);
    for (size_t at = 8; at + 16 <= speeds.data.size(); at += 16) EXPECT_GE(speeds.U32(at + 12), 4496u);

    auto di = In({mmc::op::kReadDiscStructure, mmc::bd::kDiscStructureMediaType, 0, 0, 0, 0, 0, 0x00, 0x10, 0x04, 0, 0},
                 4100, bd_);
    ASSERT_GOOD(di);
    EXPECT_EQ(std::string(di.data.begin() + 4, di.data.begin() + 6), "DI");
    EXPECT_EQ(std::string(di.data.begin() + 12, di.data.begin() + 15), "BDR");
    EXPECT_SENSE(In({mmc::op::kReadDiscStructure, 0, 0, 0, 0, 0, 0, 0x00, 0x08, 0x04, 0, 0}, 2052, bd_), 5, 0x30,
                 0x02)
        << "DVD structures of a BD";

    // A DVD in the same drive is written at DVD speed.
    InsertBd(MediaKind::DvdPlusR);
    auto dvd = In({mmc::op::kModeSense10, 0x08, mmc::page::kCapabilities, 0, 0, 0, 0, 0, 128, 0}, 128, bd_);
    ASSERT_GOOD(dvd);
    EXPECT_EQ(dvd.U16(8 + 18), 22160u);
    EXPECT_TRUE(FeatureData(mmc::feature::kBdWrite, current, bd_).size() == 20 && !current);
}

TEST_F(BluRay, DrivesWithoutBdStayAsTheyWere) {
    Insert(MediaKind::BdR, 0);
    EXPECT_SENSE(None({mmc::op::kTestUnitReady, 0, 0, 0, 0, 0}, 0), 2, 0x30, 0x00) << "the DVD writer cannot read a BD";
    bool current = false;
    EXPECT_TRUE(FeatureData(mmc::feature::kBdRead, current, 0).empty());
    auto list = In({mmc::op::kGetConfiguration, 0x02, 0, 0, 0, 0, 0, 0x01, 0x00, 0}, 256, 0);
    ASSERT_GOOD(list);
    for (size_t at = 12; at + 4 <= size_t(12 + list.data[11]); at += 4) EXPECT_LT(list.U16(at), 0x40) << at;
}

TEST(BluRayMedium, SpareAreasAndClustersSurviveTheStateFile) {
    Medium m = Medium::Blank(MediaKind::BdR);
    m.FormatDisc(mmc::format::kBdRWithSpare, 0);
    m.CommitWrite(m.PlanWrite(0, 5), 0, 5);
    EXPECT_EQ(Medium::FromText(m.ToText()).tracks[0].recorded, 5u) << "a partial cluster waits in the drive";
    m.PadPartialUnits();
    const Medium back = Medium::FromText(m.ToText());
    EXPECT_EQ(back, m);
    EXPECT_EQ(back.spareBlocks, kUsualSpare);
    EXPECT_EQ(back.tracks[0].recorded, kCluster);
    // An image loaded onto a BD-RE comes on a disc formatted as drives do it.
    const Medium withImage = Medium::WithImage(MediaKind::BdRe, 1000, false);
    EXPECT_EQ(withImage.FormattedBlocks(), kLayer - kUsualSpare);
    EXPECT_TRUE(withImage.IsReadable(999));
}

}  // namespace vdrive::test
