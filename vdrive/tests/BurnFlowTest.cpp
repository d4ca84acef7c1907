// The command sequences a recorder program sends for a whole burn or erase,
// per medium, and the disc each one leaves behind.
#include "DriveHarness.h"

namespace vdrive::test {
namespace {

std::vector<uint8_t> FormatList(uint8_t Options, uint32_t Blocks, uint8_t Type, uint32_t Parameter) {
    return {0,
            Options,
            0,
            8,
            uint8_t(Blocks >> 24),
            uint8_t(Blocks >> 16),
            uint8_t(Blocks >> 8),
            uint8_t(Blocks),
            uint8_t(Type << 2),
            uint8_t(Parameter >> 16),
            uint8_t(Parameter >> 8),
            uint8_t(Parameter)};
}

}  // namespace

class BurnFlowTest : public DriveTest {
protected:
    // Sends the image in blocks of PerWrite sectors from Start.
    void WriteImage(uint32_t Start, uint32_t Sectors, uint32_t PerWrite, uint8_t Fill, int N = 0) {
        for (uint32_t done = 0; done < Sectors; done += PerWrite) {
            uint32_t n = std::min(PerWrite, Sectors - done);
            ASSERT_GOOD(Write10(Start + done, n, Fill, N)) << "at " << Start + done;
        }
    }
    Result CloseEx(uint8_t Function, uint8_t B5, bool Immediate = false, int N = 0) {
        return None({0x5B, uint8_t(Immediate ? 1 : 0), Function, 0, 0, B5, 0, 0, 0, 0}, N);
    }
    void WaitReady(int N = 0) {
        for (int i = 0; i < 500 && !None({0, 0, 0, 0, 0, 0}, N).Good(); ++i) usleep(10000);
    }
};

TEST_F(BurnFlowTest, DvdRWithReservedTrackAndTwoSessions) {
    Insert(MediaKind::DvdR);
    EXPECT_GOOD(SetWritePage(0, 3));  // incremental, next session allowed
    for (uint32_t session = 1; session <= 2; ++session) {
        uint32_t nwa = TrackInfo(session).U32(12);
        std::vector<uint8_t> streaming(28, 0);
        streaming[10] = 0x23, streaming[11] = 0x12, streaming[12] = 0x7F;
        streaming[14] = 0xAB, streaming[15] = 0xBD, streaming[18] = 0x03, streaming[19] = 0xE8;
        streaming[22] = 0x05, streaming[23] = 0x8A, streaming[26] = 0x03, streaming[27] = 0xE8;
        EXPECT_GOOD(Out({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, streaming));
        std::vector<uint8_t> stamp(22, 0);
        stamp[1] = 0x14;
        EXPECT_GOOD(Out({0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}, stamp));
        EXPECT_GOOD(None({0x53, 0, 0, 0, 0, 0, 0, 0x04, 0x00, 0, 0, 0}));  // 1,024 blocks
        EXPECT_GOOD(None({0x54, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}));
        WriteImage(nwa, 1024, 32, uint8_t(session));
        EXPECT_GOOD(None({0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_GOOD(CloseEx(1, uint8_t(session)));
        EXPECT_GOOD(CloseEx(1, uint8_t(session + 1)));
        EXPECT_GOOD(CloseEx(2, uint8_t(session + 2)));
    }
    auto info = DiscInfo();
    EXPECT_EQ(info.data[2] & 0x0F, 0x01) << "appendable";
    EXPECT_EQ(info.data[4], 3);
    auto toc = In({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, 12);
    EXPECT_EQ(toc.data[3], 2);
    EXPECT_EQ(toc.U32(8), 1024u);
    EXPECT_EQ(Read10(1024, 1).data[0], 2);
}

TEST_F(BurnFlowTest, CdRClosedWithAndWithoutFinalize) {
    EXPECT_GOOD(SetWritePage(1, 3, false, 1));
    WriteImage(0, 1000, 27, 0x10, 1);
    EXPECT_GOOD(None({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1));
    EXPECT_GOOD(None({0x5B, 0x01, 2, 0, 0, 0, 0, 0, 0, 0}, 1));
    WaitReady(1);
    uint32_t next = TrackInfo(2, 1).U32(12);
    EXPECT_EQ(next, 1000u + kFirstSessionGap);
    EXPECT_GOOD(SetWritePage(1, 0, false, 1));
    WriteImage(next, 300, 27, 0x20, 1);
    EXPECT_GOOD(None({0x5B, 0x01, 2, 0, 0, 0, 0, 0, 0, 0}, 1));
    WaitReady(1);
    EXPECT_EQ(DiscInfo(1).data[2] & 0x03, 2) << "finalized";
    EXPECT_SENSE(TrackInfo(3, 1), 5, 0x24, 0) << "no invisible track on a closed disc";
}

TEST_F(BurnFlowTest, DvdPlusRwEraseThenWriteHeadAndImage) {
    // Complete erase: format 26h, zero writes, close function 3.
    EXPECT_SENSE(Write10(0, 32), 5, 0x30, 0x10);
    EXPECT_GOOD(Out({0x04, 0x11, 0, 0, 0, 0}, FormatList(0x82, 2295104, 0x26, 0)));
    WaitReady();
    for (uint32_t lba = 0; lba < 32 * 65; lba += 32) ASSERT_GOOD(Write10(lba, 32, 0));
    EXPECT_GOOD(None({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_GOOD(CloseEx(3, 0xFF));
    EXPECT_GOOD(CloseEx(0, 0)) << "stopping the background format";
    // A burn puts the head at 0 and the image behind the old volume.
    WriteImage(120000, 320, 32, 0x77);
    WriteImage(0, 32, 32, 0x78);
    EXPECT_GOOD(CloseEx(3, 0xFF));
    EXPECT_EQ(Read10(120319, 1).data[0], 0x77);
    EXPECT_EQ(Read10(0, 1).data[0], 0x78);
    auto track = TrackInfo(1);
    EXPECT_EQ(track.U32(24), 2295104u);
    EXPECT_EQ(track.U32(28), 120319u);
}

TEST_F(BurnFlowTest, SequentialDvdRwIsFormattedBeforeTheBurn) {
    Insert(MediaKind::DvdRwSequential);
    EXPECT_GOOD(Out({0x04, 0x11, 0, 0, 0, 0}, FormatList(0xA2, 1000, 0x15, 16)));
    WaitReady();
    EXPECT_EQ(In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, 8).U16(6), 0x0013u) << "now restricted overwrite";
    EXPECT_GOOD(Out({0x04, 0x11, 0, 0, 0, 0}, FormatList(0x82, 0, 0x13, 16)));
    WaitReady();
    WriteImage(0, 640, 32, 0x31);
    EXPECT_GOOD(CloseEx(2, 0, true));
    WaitReady();
    EXPECT_EQ(TrackInfo(1).U32(12), 640u);
    // Blanking returns it to sequential recording.
    EXPECT_GOOD(None({0xA1, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    WaitReady();
    EXPECT_EQ(In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, 8).U16(6), 0x0014u);
}

TEST_F(BurnFlowTest, DvdPlusRDualLayerFinalizes) {
    Insert(MediaKind::DvdPlusRDl);
    WriteImage(0, 64, 32, 0x41);
    EXPECT_GOOD(CloseEx(1, 1));
    EXPECT_GOOD(CloseEx(2, 0));
    EXPECT_EQ(DiscInfo().data[2] & 0x03, 1) << "close session leaves a DVD+R open";
    WriteImage(64, 32, 32, 0x42);
    EXPECT_GOOD(CloseEx(1, 2));
    EXPECT_GOOD(CloseEx(6, 0));
    EXPECT_EQ(DiscInfo().data[2] & 0x03, 2);
    EXPECT_SENSE(Write10(96, 32), 5, 0x21, 0x02);
    EXPECT_SENSE(CloseEx(0, 0), 5, 0x24, 0) << "function 0 is for DVD+RW only";
}

}  // namespace vdrive::test
