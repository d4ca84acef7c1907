#include <gtest/gtest.h>

#include "VirtualRecorder.h"

namespace kestrel::test {
namespace {

TEST(DriveCapabilities, DVDWriterReportsEveryMediumAndItsSpeeds) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(0);
    const uint32_t caps = device->Capabilities();
    for (uint32_t bit : {cap::ReadCDR, cap::ReadCDRW, cap::ReadDVD, cap::ReadDVDR, cap::ReadDVDRAM, cap::ReadDVDPR,
                         cap::ReadDVDPRDL, cap::WriteCDR, cap::WriteCDRW, cap::WriteTest, cap::WriteDVDR,
                         cap::WriteDVDRW, cap::WriteDVDPR, cap::WriteDVDPRW, cap::UnderrunProtection})
        EXPECT_TRUE(caps & bit) << std::hex << bit;
    EXPECT_GT(device->DeviceMaxWriteSpeed(), 1385);
    EXPECT_GT(device->DeviceMaxReadSpeed(), 1385);
    EXPECT_EQ(device->GetMaxWriteSpeed(), device->CapabilitiesPage().MaxWriteSpeed);
    EXPECT_GE(device->DeviceMaxWriteSpeed(), device->GetMaxWriteSpeed());
    EXPECT_GT(device->GetCurrentWriteSpeed(), 0);
    EXPECT_GT(device->GetMaxReadSpeed(), 0);
    EXPECT_EQ(device->CapabilitiesPage().Bytes[0] & 0x3F, 0x2A) << "page copy starts at the page code";
    EXPECT_TRUE(device->Quirks().ImmediateClose);
    EXPECT_TRUE(device->WriteModes() & 4) << "track at once accepted";
}

TEST(DriveCapabilities, CDWriterAndReaderLackWhatTheyCannotDo) {
    TVirtualRecorder recorder;
    recorder.AddDrive("cd-reader");
    auto writer = OpenDevice(1);
    EXPECT_TRUE(writer->Capabilities() & cap::WriteCDRW);
    EXPECT_FALSE(writer->Capabilities() & (cap::WriteDVDR | cap::WriteDVDPR | cap::WriteDVDRAM | cap::ReadDVD));
    auto reader = OpenDevice(2);
    EXPECT_TRUE(reader->Capabilities() & cap::ReadCDR);
    EXPECT_FALSE(reader->Capabilities() & (cap::WriteCDR | cap::WriteCDRW | cap::WriteTest | cap::UnderrunProtection));
}

TEST(DriveCapabilities, WriteSpeedIsKeptWhateverTheDriveSays) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(1);
    device->SetWriteSpeed(1764);
    EXPECT_EQ(device->WriteSpeed(), 1764);
    device->SetWriteSpeed(0);
    EXPECT_EQ(device->WriteSpeed(), 0);
}

TEST(DriveCapabilities, UnderrunProtectionFromVendorPageOrModelQuirk) {
    TVirtualRecorder recorder;
    recorder.AddDrive("cd-writer", {{"buffer-underrun-free", "no"}, {"vendor-page-30", "yes"}});
    recorder.AddDrive("cd-writer", {{"buffer-underrun-free", "no"}, {"product", "CD-W512EB"}});
    recorder.AddDrive("cd-writer", {{"buffer-underrun-free", "no"}});
    EXPECT_TRUE(OpenDevice(2)->Capabilities() & cap::UnderrunProtection);
    auto quirky = OpenDevice(3);
    EXPECT_TRUE(quirky->Quirks().ForceUnderrunProtection);
    ASSERT_TRUE(quirky->ReadCapabilities());
    EXPECT_TRUE(quirky->Capabilities() & cap::UnderrunProtection);
    EXPECT_FALSE(OpenDevice(4)->Capabilities() & cap::UnderrunProtection);
}

TEST(DriveCapabilities, QuirkTableFollowsTheSelectedModel) {
    TVirtualRecorder recorder;
    recorder.AddDrive("cd-writer", {{"vendor", "TDK"}, {"product", "CDRW321040X"}});
    recorder.AddDrive("dvd-writer", {{"vendor", "PIONEER"}, {"product", "DVD-RW  DVR-104"}});
    TLoggedDevice device;
    ASSERT_TRUE(device.InitializeASPI(true, {}));
    const auto devices = device.Devices();
    ASSERT_EQ(devices.size(), 4u);
    device.SelectDevice(devices[2]);
    ExpectExpectedLayer(device);
    EXPECT_TRUE(device.Quirks().SlowReadyDrive);
    EXPECT_FALSE(device.Quirks().ImmediateClose);
    device.SelectDevice(devices[3]);
    EXPECT_FALSE(device.Quirks().SlowReadyDrive) << "recomputed on every selection";
    EXPECT_TRUE(device.Quirks().PollReadyFirst);
    EXPECT_TRUE(device.Quirks().ImmediateClose);
}

}  // namespace
}  // namespace kestrel::test
