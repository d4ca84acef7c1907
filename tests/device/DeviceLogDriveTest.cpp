// How failed commands reach the log: one full report per component, as a
// device-level line, and none for probes whose failure is the answer.
#include <gtest/gtest.h>

#include <array>

#include "VirtualRecorder.h"

namespace kestrel::test {
namespace {

constexpr int kDVDDrive = 0;           // holds a blank, unformatted DVD+RW
constexpr uint32_t kFarBlock = 100000;  // no blank disc reads it

int DeviceLines(const TLoggedDevice& Device) {
    int n = 0;
    for (const auto& line : Device.Log()) n += line.Type == mtDevice;
    return n;
}

TEST(DriveLog, FailedCommandIsReportedOnceAsADeviceLevelLine) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(kDVDDrive);
    std::array<uint8_t, 2048> sector{};
    EXPECT_FALSE(device->Read10(kFarBlock, 1, sector.data(), sector.size()));
    EXPECT_FALSE(device->Read10(kFarBlock, 1, sector.data(), sector.size()));
    ASSERT_EQ(DeviceLines(*device), 1);
    for (const auto& line : device->Log()) {
        if (line.Type == mtDevice) {
            EXPECT_EQ(line.Text.rfind("<<< READ (10)", 0), 0u) << line.Text;
        }
    }
}

TEST(DriveLog, ProbeFailuresAreNeitherReportedNorUseUpTheReport) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(kDVDDrive);
    std::array<uint8_t, 2048> sector{};
    {
        TSCSICommands::TProbeScope probe(*device);
        EXPECT_FALSE(device->Read10(kFarBlock, 1, sector.data(), sector.size()));
        EXPECT_EQ(device->GetISOVolumeSize(), 0u);
    }
    EXPECT_EQ(DeviceLines(*device), 0);
    EXPECT_FALSE(device->FailureReported);
    EXPECT_FALSE(device->Read10(kFarBlock, 1, sector.data(), sector.size()));
    EXPECT_EQ(DeviceLines(*device), 1) << "a failure after the probe is still reported";
}

}  // namespace
}  // namespace kestrel::test
