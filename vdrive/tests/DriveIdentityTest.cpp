// How a drive describes itself: features, profiles, mode pages, and the
// answers to malformed or unknown commands.
#include "DriveHarness.h"

namespace vdrive::test {
namespace {

// The feature descriptor of one code from a GET CONFIGURATION reply with
// RT = 2, or an empty vector.
std::vector<uint8_t> OneFeature(const Result& R) {
    if (R.data.size() < 12) return {};
    return std::vector<uint8_t>(R.data.begin() + 8, R.data.end());
}

}  // namespace

TEST_F(DriveTest, CurrentProfileFollowsTheMedium) {
    auto cfg = [&](int N) { return In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 114, 0}, 114, N); };
    EXPECT_EQ(cfg(0).U16(6), 0x001Au);
    EXPECT_EQ(cfg(1).U16(6), 0x0009u);
    Insert(MediaKind::DvdRwRestricted);
    EXPECT_EQ(cfg(0).U16(6), 0x0013u);
    D(0).Eject();
    EXPECT_EQ(cfg(0).U16(6), 0x0000u) << "no medium, no current profile";
    Insert(MediaKind::DvdPlusR, 1);
    EXPECT_EQ(cfg(1).U16(6), 0x0000u) << "a CD writer cannot read a DVD";
    EXPECT_SENSE(None({0, 0, 0, 0, 0, 0}, 1), 2, 0x30, 0x00);
}

TEST_F(DriveTest, WriterFeaturesCarryTheirWriteBits) {
    auto feature = [&](uint8_t Code, int N) {
        return OneFeature(In({0x46, 0x02, 0, Code, 0, 0, 0, 0, 114, 0}, 114, N));
    };
    auto plusRw = feature(0x2A, 0);
    ASSERT_FALSE(plusRw.empty());
    EXPECT_EQ(plusRw[1], 0x2A);
    EXPECT_EQ(plusRw[4], 0x01) << "DVD+RW write";
    EXPECT_EQ(plusRw[2] & 0x01, 0x01) << "current with a DVD+RW inserted";
    EXPECT_EQ(feature(0x3B, 0)[4], 0x01);
    auto dashR = feature(0x2F, 0);
    ASSERT_FALSE(dashR.empty());
    EXPECT_EQ(dashR[4] & 0x46, 0x46) << "BUF, test write and DVD-RW";
    EXPECT_TRUE(feature(0x2A, 1).empty()) << "a CD writer has no DVD+RW feature";
    auto list = In({0x46, 0x00, 0, 0, 0, 0, 0, 0x10, 0x00, 0}, 4096, 0);
    EXPECT_EQ(list.U32(0) + 4, list.data.size());
}

TEST_F(DriveTest, CapabilitiesPageReportsModelAndMedium) {
    auto sense = In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 255, 0}, 255, 1);
    EXPECT_GOOD(sense);
    ASSERT_GT(sense.data.size(), 40u);
    EXPECT_EQ(sense.U16(0) + 2u, sense.data.size());
    const uint8_t* page = sense.data.data() + 8;
    EXPECT_EQ(page[0], 0x2A);
    EXPECT_EQ(page[3] & 0x37, 0x07) << "CD-R, CD-RW, test write; no DVD";
    EXPECT_EQ(page[4] & 0x80, 0x80) << "buffer under-run free";
    EXPECT_EQ(uint16_t(page[18] << 8 | page[19]), 8467u);
    EXPECT_EQ(uint16_t(page[12] << 8 | page[13]), 2048u);

    auto six = In({0x1A, 0, 0x2A, 0, 64, 0}, 64, 1);
    EXPECT_GOOD(six);
    EXPECT_EQ(six.data[4], 0x2A) << "MODE SENSE (6) puts the page after a 4-byte header";

    DriveModel reader = *DriveModel::Preset("cd-reader");
    int n = set_->AddDrive(reader);
    D(n).Insert(Medium::Blank(MediaKind::CdR));
    auto ro = In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 255, 0}, 255, n);
    EXPECT_EQ(ro.data[8 + 3], 0x00) << "a reader writes nothing";
    EXPECT_SENSE(In({0x5A, 0, 0x05, 0, 0, 0, 0, 0, 255, 0}, 255, n), 5, 0x24, 0);
    EXPECT_SENSE(Write10(0, 1, 1, n), 5, 0x30, 0x05);
}

TEST_F(DriveTest, WriteParametersPageIsKeptAndChecked) {
    EXPECT_GOOD(SetWritePage(2, 3, true));
    auto page = In({0x5A, 0, 0x05, 0, 0, 0, 0, 0, 60, 0}, 60);
    EXPECT_GOOD(page);
    EXPECT_EQ(page.data[8], 0x05);
    EXPECT_EQ(page.data[10], 0x12) << "session at once with the test bit";
    EXPECT_EQ(page.data[11], 0xC4);

    std::vector<uint8_t> bad(60, 0);
    bad[8] = 0x05;
    bad[9] = 0x32;
    bad[10] = 0x07;  // no such write type
    EXPECT_SENSE(Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, bad), 5, 0x26, 0);
    bad[10] = 0x01;
    bad[12] = 0x05;  // reserved data block type
    EXPECT_SENSE(Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, bad), 5, 0x26, 0);
    bad[8] = 0x2A;
    EXPECT_SENSE(Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, bad), 5, 0x26, 0);
    EXPECT_SENSE(Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, std::vector<uint8_t>(20, 0)), 5, 0x1A, 0);
    EXPECT_SENSE(In({0x5A, 0, 0xC5, 0, 0, 0, 0, 0, 60, 0}, 60), 5, 0x39, 0) << "saved values";
}

TEST_F(DriveTest, MalformedAndUnknownCommands) {
    EXPECT_SENSE(None({0xF0, 0, 0, 0, 0, 0}), 5, 0x20, 0);
    EXPECT_SENSE(None({0x2A, 0, 0}), 5, 0x24, 0) << "CDB shorter than its opcode needs";
    EXPECT_SENSE(In({0x12, 0x01, 0x83, 0, 96, 0}, 96), 5, 0x24, 0);
    EXPECT_SENSE(In({0x4A, 0x00, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8), 5, 0x24, 0) << "asynchronous events";
    EXPECT_SENSE(In({0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x07, 0}, 24), 5, 0x24, 0);
    auto serial = In({0x12, 0x01, 0x80, 0, 64, 0}, 64);
    EXPECT_GOOD(serial);
    EXPECT_EQ(std::string(serial.data.begin() + 4, serial.data.end()), "VD00000000");
    auto cut = In({0x12, 0, 0, 0, 5, 0}, 96);
    EXPECT_EQ(cut.data.size(), 5u) << "replies are cut to the allocation length";
    CommandReply bad = set_->Execute(7, cut.data.data(), 6, nullptr, 0, Direction::None);
    EXPECT_EQ(bad.status, 0x02);
    EXPECT_EQ(bad.sense[12], 0x25) << "no such drive";
}

TEST_F(DriveTest, PerformanceAndSpeeds) {
    auto speeds = In({0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0x03, 0}, 8 + 8 * 16);
    EXPECT_GOOD(speeds);
    ASSERT_GE(speeds.data.size(), 24u);
    EXPECT_EQ(speeds.U32(0) + 4, speeds.data.size());
    EXPECT_EQ(speeds.U32(20), 22160u) << "16x DVD";
    auto header = In({0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0}, 8);
    EXPECT_EQ(header.U32(0), speeds.U32(0)) << "the header tells the whole length";
    EXPECT_GOOD(None({0xBB, 0, 0xFF, 0xFF, 0x0B, 0x00, 0, 0, 0, 0, 0, 0}));
    auto page = In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 255, 0}, 255);
    EXPECT_EQ(uint16_t(page.data[8 + 28] << 8 | page.data[8 + 29]), 0x0B00u);
    EXPECT_GOOD(None({0xBB, 0, 0xFF, 0xFF, 0x00, 0x02, 0, 0, 0, 0, 0, 0}));
    page = In({0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 255, 0}, 255);
    EXPECT_EQ(uint16_t(page.data[8 + 28] << 8 | page.data[8 + 29]), 1385u) << "below 1x takes the lowest";
}

}  // namespace vdrive::test
