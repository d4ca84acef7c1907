#include <gtest/gtest.h>

#include <algorithm>

#include "VirtualRecorder.h"

namespace kestrel::test {
namespace {

using vdrive::MediaKind;

int ModeSelects(vdrive::Drive& Drive) {
    const auto trace = Drive.Trace();
    return int(std::count_if(trace.begin(), trace.end(), [](const auto& E) { return E.cdb[0] == 0x55; }));
}

// Reads page 05h back from the drive.
std::array<uint8_t, 54> DrivePage(TSCSIDevice& Device) {
    alignas(8) std::array<uint8_t, 512> reply{};
    EXPECT_TRUE(Device.ModeSense10(0x05, false, reply.data(), uint16_t(reply.size())));
    const TReply r(reply.data(), reply.size());
    const size_t at = ModePageOffset(r, 0x05, 8);
    std::array<uint8_t, 54> page{};
    for (size_t i = 0; i < page.size(); ++i) page[i] = r.U8(at + i);
    return page;
}

TEST(DriveWriteParameters, TheDriveHoldsThePagePreparedForEachMedium) {
    TVirtualRecorder recorder;
    struct TCase { MediaKind Kind; uint8_t Byte2, Byte3; };
    const TCase cases[] = {
        {MediaKind::CdR, 0x41, 0xC4}, {MediaKind::CdRw, 0x41, 0xC4}, {MediaKind::DvdR, 0x60, 0xE5},
        {MediaKind::DvdRwSequential, 0x60, 0xC5}, {MediaKind::DvdPlusRw, 0x62, 0x04}, {MediaKind::DvdPlusR, 0x62, 0xC4},
    };
    auto device = OpenDevice(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(vdrive::TraitsOf(c.Kind).name);
        recorder.Insert(0, c.Kind);
        const uint8_t type = device->GetDiscType();
        ASSERT_TRUE(device->SetWriteParameters(false, true, false, type)) << device->LastError;
        const auto& sent = device->WriteParametersPage();
        EXPECT_EQ(sent[2], c.Byte2);
        EXPECT_EQ(sent[3], c.Byte3);
        const auto held = DrivePage(*device);
        for (size_t i : {2, 3, 4, 5, 10, 11, 12, 13, 14, 15}) EXPECT_EQ(held[i], sent[i]) << "byte " << i;
    }
}

TEST(DriveWriteParameters, DVDRAMSendsNothing) {
    TVirtualRecorder recorder;
    recorder.Insert(0, MediaKind::DvdRam);
    auto device = OpenDevice(0);
    recorder.Drive(0).ClearTrace();
    EXPECT_TRUE(device->SetWriteParameters(false, true, true, mtDVDRAM));
    EXPECT_EQ(ModeSelects(recorder.Drive(0)), 0);
}

TEST(DriveWriteParameters, TestWriteOnCDRecordable) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(1);
    ASSERT_TRUE(device->Capabilities() & cap::WriteTest);
    ASSERT_TRUE(device->SetWriteParameters(true, false, false, mtCDR));
    const auto held = DrivePage(*device);
    EXPECT_EQ(held[2] & 0x1F, 0x11) << "track at once, test write";
    EXPECT_EQ(held[3] & 0xC0, 0) << "no next session after a test";
}

TEST(DriveWriteParameters, ProbeFindsTheAcceptedWriteTypes) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(1);
    device->ProbeWriteModes();
    EXPECT_TRUE(device->WriteModes() & 4);
    recorder.Drive(1).ClearTrace();
    device->ProbeWriteModes();
    EXPECT_EQ(ModeSelects(recorder.Drive(1)), 3) << "raw, session at once, track at once";
}

}  // namespace
}  // namespace kestrel::test
