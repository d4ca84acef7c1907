#include <gtest/gtest.h>

#include <regex>

#include "VirtualRecorder.h"

namespace kestrel::test {
namespace {

const char* const kInvalid = "INVALID DEVICE ID / NOT A CD OR DVD DRIVE";

TEST(DriveDiscovery, ListsEveryDriveWithAddressNameAndInquiryText) {
    TVirtualRecorder recorder;
    recorder.AddDrive("cd-reader");
    TLoggedDevice device;
    ASSERT_TRUE(device.InitializeASPI(true, {}));
    ExpectExpectedLayer(device);
    const auto devices = device.Devices();
    ASSERT_EQ(devices.size(), 3u);
    const std::regex line(R"(^(\d+):(\d+):(\d+),(\S+) (.{28})$)");
    const char* products[] = {"VIRTUAL DVD-RW  ", "VIRTUAL CD-RW   ", "VIRTUAL CD-ROM  "};
    for (size_t i = 0; i < devices.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(devices[i], m, line)) << devices[i];
        EXPECT_EQ(m[5].str(), std::string("KESTREL ") + products[i] + "1.00");
        if (TVirtualRecorder::PassThrough()) EXPECT_TRUE(m[4].str().starts_with("/dev/sr")) << devices[i];
        else EXPECT_EQ(m[4].str(), "vdrive" + std::to_string(i));
    }
    EXPECT_GE(device.HostAdapterCount(), 1);
    const auto log = device.Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].Text, ">>> " + device.AccessLayerName());
    EXPECT_EQ(log[0].Type, mtInfo);
    EXPECT_TRUE(std::regex_match(log[1].Text, std::regex(R"(^>>> .{16} \(\S.*\S\)$)"))) << log[1].Text;
    EXPECT_TRUE(device.CurrentDevice().empty()) << "the scan selects nothing";
    EXPECT_TRUE(device.LastError.empty());
}

TEST(DriveDiscovery, SelectingIdentifiesTheDriveAndReportsTheChangeOnce) {
    TVirtualRecorder recorder;
    TLoggedDevice device;
    ASSERT_TRUE(device.InitializeASPI(true, {}));
    ExpectExpectedLayer(device);
    int changes = 0;
    device.OnDeviceChange = [&](TSCSIDevice* Sender) {
        EXPECT_EQ(Sender, &device);
        ++changes;
    };
    const auto devices = device.Devices();
    ASSERT_EQ(devices.size(), 2u);
    device.SelectDevice(devices[1]);
    ExpectExpectedLayer(device);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(device.CurrentDevice(), devices[1]);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(device.InquiryData.data()) + 16, 16), "VIRTUAL CD-RW   ");
    EXPECT_NE(devices[1].find("," + device.GetDriveLetter() + " "), std::string::npos);
    EXPECT_TRUE(device.TestUnitReady(5000));

    // The scan of a new initialisation keeps the selected drive.
    device.ScanDevices();
    EXPECT_EQ(device.CurrentDevice(), devices[1]);
    EXPECT_TRUE(device.TestUnitReady(5000));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(device.InquiryData.data()) + 16, 16), "VIRTUAL CD-RW   ");
}

TEST(DriveDiscovery, BadLinesClearTheSelection) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(0);
    int changes = 0;
    device->OnDeviceChange = [&](TSCSIDevice*) { ++changes; };
    device->ClearLog();

    device->SelectDevice("");
    EXPECT_TRUE(device->CurrentDevice().empty());
    EXPECT_EQ(device->HaId, NO_DEVICE_ID);
    EXPECT_EQ(device->CountLines(kInvalid), 0) << "an empty line clears silently";
    EXPECT_FALSE(device->TestUnitReady(5000)) << "no drive selected";
    EXPECT_TRUE(device->LastError.empty());

    for (const char* bad : {"1:0", "x:0:0,vdrive0 KESTREL", "0:7:0,nothing there"}) {
        device->SelectDevice(bad);
        EXPECT_TRUE(device->CurrentDevice().empty()) << bad;
        EXPECT_EQ(device->HaId, NO_DEVICE_ID) << bad;
    }
    EXPECT_EQ(device->CountLines(kInvalid), 3);
    EXPECT_EQ(changes, 0);
}

TEST(DriveDiscovery, WriteOnceDrivesAreMarkedButSelectable) {
    TVirtualRecorder recorder;
    recorder.AddDrive("cd-writer", {{"peripheral-type", "4"}, {"product", "WORM WRITER"}});
    TLoggedDevice device;
    ASSERT_TRUE(device.InitializeASPI(true, {}));
    ExpectExpectedLayer(device);
    const auto devices = device.Devices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_TRUE(devices[2].ends_with(" (not supported)")) << devices[2];
    device.SelectDevice(devices[2]);
    EXPECT_EQ(device.CurrentDevice(), devices[2]);
}

}  // namespace
}  // namespace kestrel::test
