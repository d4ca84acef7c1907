// Writing through the drive: what reaches the disc file, test writes, long
// operations with their progress, the tray and the drive buffer.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "DriveHarness.h"

namespace vdrive::test {
namespace {

uint64_t AllocatedBytes(const std::string& Path) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0) return 0;
    return uint64_t(st.st_blocks) * 512;
}

}  // namespace

TEST_F(DriveTest, WrittenBlocksReadBackAndUnwrittenOnesRefuse) {
    Insert(MediaKind::DvdR);
    EXPECT_GOOD(Write10(0, 32, 0x11));
    EXPECT_GOOD(Write10(32, 16, 0x22));
    auto r = Read10(30, 4);
    EXPECT_GOOD(r);
    ASSERT_EQ(r.data.size(), 4u * 2048);
    EXPECT_EQ(r.data[0], 0x11);
    EXPECT_EQ(r.data[2 * 2048], 0x22);
    EXPECT_SENSE(Read10(48, 1), 5, 0x64, 0);
    EXPECT_SENSE(Read10(2295104, 1), 5, 0x21, 0);
    auto twelve = In({0xA8, 0, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0}, 4096);
    EXPECT_GOOD(twelve);
    EXPECT_EQ(twelve.data[0], 0x22);
    EXPECT_SENSE(Out({0x2A, 0, 0, 0, 0, 48, 0, 0, 2, 0}, Blocks(1, 1)), 5, 0x24, 0) << "fewer bytes than blocks";
}

TEST_F(DriveTest, ZeroBlocksCostNoDiskSpace) {
    std::vector<uint8_t> list = {0, 0x02, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0, 0, 0};
    EXPECT_GOOD(Out({0x04, 0x11, 0, 0, 0, 0}, list));
    const std::string disc = D(0).Folder() + "/disc.img";
    for (uint32_t lba = 0; lba < 32 * 64; lba += 32) EXPECT_GOOD(Write10(lba, 32, 0xAB));
    EXPECT_GE(AllocatedBytes(disc), 4u << 20);
    for (uint32_t lba = 0; lba < 32 * 64; lba += 32) EXPECT_GOOD(Write10(lba, 32, 0x00));
    EXPECT_LT(AllocatedBytes(disc), 64u << 10) << "zero writes punch holes over old data";
    for (uint32_t lba = 100000; lba < 100000 + 32 * 200; lba += 32) EXPECT_GOOD(Write10(lba, 32, 0x00));
    EXPECT_LT(AllocatedBytes(disc), 64u << 10);
    auto r = Read10(100, 1);
    EXPECT_GOOD(r);
    EXPECT_EQ(r.data[5], 0);
}

TEST_F(DriveTest, TestWriteChecksAddressesButRecordsNothing) {
    EXPECT_GOOD(SetWritePage(1, 0, true, 1));
    EXPECT_GOOD(Write10(0, 27, 0x33, 1));
    EXPECT_GOOD(Write10(27, 27, 0x33, 1));
    EXPECT_SENSE(Write10(100, 27, 0x33, 1), 5, 0x21, 0x02);
    EXPECT_GOOD(None({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1));
    EXPECT_GOOD(CloseSession(1));
    EXPECT_EQ(D(1).State().medium->Status(), DiscStatus::Empty);
    EXPECT_EQ(DiscInfo(1).data[2] & 0x03, 0);

    Insert(MediaKind::DvdPlusR);
    EXPECT_GOOD(SetWritePage(2, 0, true));
    EXPECT_GOOD(Write10(0, 32));
    EXPECT_EQ(D(0).State().medium->RecordedEnd(), 32u) << "DVD+R cannot simulate: the write is real";
}

TEST_F(DriveTest, SessionAtOnceOnCdWritesThePregapFirst) {
    EXPECT_GOOD(SetWritePage(2, 3, false, 1));
    EXPECT_SENSE(Write10(0xFFFFFF6A, 16, 0, 1), 5, 0x21, 0x02) << "no cue sheet yet";
    std::vector<uint8_t> cue(24, 0);
    EXPECT_GOOD(Out({0x5D, 0, 0, 0, 0, 0, 0, 0, 24, 0}, cue, 1));
    EXPECT_GOOD(Write10(0xFFFFFF6A, 100, 0, 1));
    EXPECT_GOOD(Write10(0xFFFFFFCE, 100, 0x44, 1));  // 50 blocks of pre-gap, 50 of data
    EXPECT_GOOD(Write10(50, 250, 0x55, 1));
    EXPECT_GOOD(None({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1));
    Medium m = *D(1).State().medium;
    ASSERT_EQ(m.tracks.size(), 1u);
    EXPECT_EQ(m.tracks[0].recorded, 300u);
    EXPECT_EQ(m.closedSessions, 1u) << "the drive closes the session itself";
    EXPECT_FALSE(m.finalized);
    EXPECT_EQ(Read10(0, 1, 1).data[0], 0x44);
}

TEST_F(DriveTest, BlankRunsAsALongOperationWithProgress) {
    FrozenClock clock;
    Insert(MediaKind::CdRw, 1);
    EXPECT_GOOD(Write10(0, 300, 0x66, 1));
    EXPECT_GOOD(CloseSession(1));
    setenv("KESTREL_VDRIVE_TIME_SCALE", "1", 1);  // a quick blank takes 10 s of the drive's own time
    EXPECT_GOOD(None({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1));
    EXPECT_SENSE(None({0, 0, 0, 0, 0, 0}, 1), 2, 0x04, 0x07);
    EXPECT_SENSE(DiscInfo(1), 2, 0x04, 0x07);
    auto inq = In({0x12, 0, 0, 0, 36, 0}, 36, 1);
    EXPECT_GOOD(inq) << "identification works while blanking";
    clock.Advance(5000);
    auto sense = In({0x03, 0, 0, 0, 18, 0}, 18, 1);
    EXPECT_GOOD(sense);
    EXPECT_EQ(sense.data[2], 0x02);
    EXPECT_EQ(sense.data[12], 0x04);
    EXPECT_EQ(sense.data[15], 0x80) << "progress indication valid";
    const uint16_t progress = uint16_t(sense.data[16] << 8 | sense.data[17]);
    EXPECT_EQ(progress, 0x7FFF) << "half of the blank has passed";
    clock.Advance(4999);
    EXPECT_SENSE(None({0, 0, 0, 0, 0, 0}, 1), 2, 0x04, 0x07) << "not done before its time";
    clock.Advance(1);
    EXPECT_GOOD(None({0, 0, 0, 0, 0, 0}, 1));
    EXPECT_EQ(DiscInfo(1).data[2], 0x10) << "blank, erasable";
    EXPECT_SENSE(Read10(0, 1, 1), 5, 0x64, 0);
    auto idle = In({0x03, 0, 0, 0, 18, 0}, 18, 1);
    EXPECT_EQ(idle.data[2], 0x00);
    EXPECT_SENSE(None({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 5, 0x30, 0x05) << "a DVD+RW is formatted, not blanked";
}

TEST_F(DriveTest, FormatInProgressAnswersNotReadyFormat) {
    setenv("KESTREL_VDRIVE_TIME_SCALE", "0.05", 1);
    std::vector<uint8_t> list = {0, 0x82, 0, 8, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 0};
    EXPECT_GOOD(Out({0x04, 0x11, 0, 0, 0, 0}, list));
    EXPECT_SENSE(DiscInfo(), 2, 0x04, 0x04);
    EXPECT_SENSE(Write10(0, 32), 2, 0x04, 0x04);
    list[1] = 0x80;  // not immediate: the command returns when done
    Insert(MediaKind::DvdRam);
    list[5] = 0x22, list[6] = 0x21, list[7] = 0x20, list[8] = 0x00;  // 2,236,704 blocks, type 00h
    auto start = std::chrono::steady_clock::now();
    EXPECT_GOOD(Out({0x04, 0x11, 0, 0, 0, 0}, list));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_GOOD(None({0, 0, 0, 0, 0, 0}));
}

TEST_F(DriveTest, TrayAndLock) {
    EXPECT_GOOD(None({0x1E, 0, 0, 0, 1, 0}));
    EXPECT_SENSE(None({0x1B, 0, 0, 0, 0x02, 0}), 5, 0x53, 0x02);
    EXPECT_GOOD(None({0x1E, 0, 0, 0, 0, 0}));
    EXPECT_GOOD(None({0x1B, 0, 0, 0, 0x02, 0}));
    EXPECT_SENSE(None({0, 0, 0, 0, 0, 0}), 2, 0x3A, 0x02);
    auto events = In({0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8);
    EXPECT_GOOD(events);
    EXPECT_EQ(events.data[4], 0x03) << "media removal";
    EXPECT_EQ(events.data[5], 0x01) << "tray open, no medium";
    EXPECT_GOOD(None({0x1B, 0, 0, 0, 0x03, 0}));
    EXPECT_GOOD(None({0, 0, 0, 0, 0, 0}));
    events = In({0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8);
    EXPECT_EQ(events.data[4], 0x02) << "new media";
    events = In({0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0}, 8);
    EXPECT_EQ(events.data[4], 0x00) << "each event is told once";
    D(0).Eject();
    EXPECT_SENSE(None({0, 0, 0, 0, 0, 0}), 2, 0x3A, 0x01);
    EXPECT_SENSE(DiscInfo(), 2, 0x3A, 0x01);
}

TEST_F(DriveTest, BufferFillsWithWritesAndEmptiesOnSync) {
    Insert(MediaKind::DvdR);
    auto empty = In({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
    EXPECT_GOOD(empty);
    EXPECT_EQ(empty.U32(4), 2048u * 1024);
    EXPECT_EQ(empty.U32(8), 2048u * 1024);
    EXPECT_GOOD(None({0xBB, 0, 0xFF, 0xFF, 0x05, 0x69, 0, 0, 0, 0, 0, 0}));  // 1x: 1,385 KB/s
    EXPECT_GOOD(Write10(0, 512));
    auto full = In({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
    EXPECT_LT(full.U32(8), 2048u * 1024 - 512 * 1024) << "a megabyte waits in the buffer";
    EXPECT_GOOD(None({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(In({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12).U32(8), 2048u * 1024);
}

}  // namespace vdrive::test

namespace vdrive::test {

TEST_F(DriveTest, ThrottleWritesAtTheSelectedSpeed) {
    Insert(MediaKind::DvdR);
    Knobs k;
    k.Set("throttle", "yes");
    D(0).SetKnobs(k);
    EXPECT_GOOD(None({0xBB, 0, 0xFF, 0xFF, 0x05, 0x69, 0, 0, 0, 0, 0, 0}));  // 1,385 KB/s
    auto start = std::chrono::steady_clock::now();
    for (uint32_t lba = 0; lba < 160; lba += 32) EXPECT_GOOD(Write10(lba, 32));  // 327,680 bytes
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(200));
    EXPECT_LT(took, std::chrono::milliseconds(2000));
}

TEST_F(DriveTest, DumpOfAnErasedDiscStaysSparse) {
    std::vector<uint8_t> list = {0, 0x02, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0, 0, 0};
    EXPECT_GOOD(Out({0x04, 0x11, 0, 0, 0, 0}, list));
    EXPECT_GOOD(Write10(0, 16, 0x7E));
    EXPECT_GOOD(Write10(2000000, 32, 0x00));
    const std::string dump = folder_.Path() + "/dump.iso";
    EXPECT_EQ(D(0).Dump(dump), 2000032u);
    struct stat st {};
    ASSERT_EQ(::stat(dump.c_str(), &st), 0);
    EXPECT_EQ(uint64_t(st.st_size), 2000032ull * 2048);
    EXPECT_LT(uint64_t(st.st_blocks) * 512, 1u << 20);
    FILE* f = fopen(dump.c_str(), "rb");
    ASSERT_TRUE(f);
    EXPECT_EQ(fgetc(f), 0x7E);
    fclose(f);
}

}  // namespace vdrive::test
