// The pass-through layer on SG_IO, against the virtual drives that the
// interposer libkestrel-vdrive-sg.so shows as /dev/srN. The program is
// registered to run under the interposer; without it every case fails
// before it sends anything, so none can reach a real drive.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/TestSupport.h"
#include "burner/device/AccessLayer.h"
#include "burner/common/ByteOrder.h"
#include "burner/device/PassThroughLayer.h"
#include "burner/device/SCSICommands.h"

namespace kestrel::test {
namespace {

bool InterposerMapped() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libkestrel-vdrive-sg.so") != std::string::npos) return true;
    return false;
}

struct PassThrough : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(InterposerMapped()) << "runs only under the interposer (its registration sets LD_PRELOAD)";
        TAccessLayer::Instance().Shutdown();
        Device.OnDebugMessage = [this](TDebugLog*, const std::string& Line, uint8_t) { Log.push_back(Line); };
        ASSERT_TRUE(Device.InitializeASPI(true, ""));
        ASSERT_EQ(Device.AccessLayerName(), PASS_THROUGH_LAYER_NAME);
        ASSERT_TRUE(FindDrive(0));
    }
    void TearDown() override { TAccessLayer::Instance().Shutdown(); }

    // Selects the drive shown as /dev/srN.
    bool FindDrive(int N) {
        const std::string node = "/dev/sr" + std::to_string(N);
        for (int ha = 0; ha < TPassThroughLayer::Instance().AdapterCount(); ++ha)
            for (int t = 0; t < 8; ++t)
                for (int l = 0; l < 8; ++l)
                    if (Device.PassThroughDriveLetter(uint8_t(ha), uint8_t(t), uint8_t(l)) == node) {
                        Device.HaId = uint8_t(ha);
                        Device.Target = uint8_t(t);
                        Device.Lun = uint8_t(l);
                        return true;
                    }
        return false;
    }

    TTempDir State;
    TScopedEnv StateDir{"KESTREL_VDRIVE_DIR", State.Path().string()};
    TScopedEnv Layer{"KESTREL_DEVICE_LAYER", "passthrough"};
    TSCSICommands Device;
    std::vector<std::string> Log;
};

TEST_F(PassThrough, ScanFindsTheVirtualDrives) {
    EXPECT_EQ(Device.AccessLayerName(), "KRASPI32");
    const uint32_t info = Device.GetASPI32SupportInfo();
    EXPECT_EQ(info >> 8 & 0xFF, SS_COMP);
    EXPECT_EQ(info & 0xFF, TPassThroughLayer::Instance().AdapterCount());
    EXPECT_TRUE(FindDrive(1));
    EXPECT_EQ(Device.DriveName(Device.HaId, Device.Target, Device.Lun), "/dev/sr1");
    EXPECT_FALSE(FindDrive(9));
}

TEST_F(PassThrough, HostAdapterInquiryAndDeviceType) {
    const uint8_t adapters = TPassThroughLayer::Instance().AdapterCount();
    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = Device.HaId;
    ASSERT_EQ(Device.SendASPI32Command(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.HA_Count, adapters);
    EXPECT_EQ(std::string(inquiry.HA_Identifier), "SPTI " + std::to_string(Device.HaId));
    EXPECT_EQ(inquiry.HA_Unique[3], 8);
    EXPECT_EQ(inquiry.HA_Unique[0], 7);

    SRB_HAInquiry beyond{};
    beyond.SRB_Cmd = SC_HA_INQUIRY;
    beyond.SRB_HaId = adapters;
    EXPECT_EQ(Device.SendASPI32Command(&beyond), SS_INVALID_HA);
    EXPECT_EQ(beyond.HA_Count, adapters);

    SRB_GDEVBlock type{};
    type.SRB_Cmd = SC_GET_DEV_TYPE;
    type.SRB_HaId = Device.HaId;
    type.SRB_Target = Device.Target;
    type.SRB_Lun = Device.Lun;
    EXPECT_EQ(Device.SendASPI32Command(&type), SS_COMP);
    EXPECT_EQ(type.SRB_DeviceType, DTYPE_CDROM);
    type.SRB_Lun = 7;
    EXPECT_EQ(Device.SendASPI32Command(&type), SS_NO_DEVICE);
    EXPECT_EQ(type.SRB_DeviceType, DTYPE_UNKNOWN);
}

TEST_F(PassThrough, InquiryComesFromTheScan) {
    ASSERT_TRUE(Device.Inquiry());
    EXPECT_EQ(Device.InquiryData[0] & 0x1F, DTYPE_CDROM);
    EXPECT_NE(Device.InquiryData[8], 0);
    for (int i = 36; i < 128; ++i) EXPECT_EQ(Device.InquiryData[i], 0) << i;
}

TEST_F(PassThrough, CommandsReachTheDrive) {
    alignas(8) uint8_t config[114];
    ASSERT_TRUE(Device.GetConfiguration(2, 0, config, sizeof config));
    EXPECT_EQ(GetBig16(config + 6), 0x001A);
    ASSERT_TRUE(FindDrive(1));
    ASSERT_TRUE(Device.GetConfiguration(2, 0, config, sizeof config));
    EXPECT_EQ(GetBig16(config + 6), 0x0009);
    EXPECT_TRUE(Device.TestUnitReady(5000));
    ASSERT_TRUE(Device.ReadTrackInformation(1));
    EXPECT_GT(Device.TrackInformation.FreeBlocks, 300000u);
}

TEST_F(PassThrough, DriveFailureCarriesSense) {
    ASSERT_TRUE(FindDrive(1));
    alignas(8) uint8_t block[2048];
    EXPECT_FALSE(Device.Read10(4000000, 1, block, sizeof block));
    EXPECT_NE(Device.LastError.find("ILLEGAL REQUEST"), std::string::npos) << Device.LastError;
    EXPECT_EQ(Device.LastSense[0] & 0x7E, 0x70);
    ASSERT_EQ(Log.size(), 1u);
    EXPECT_EQ(Log[0].rfind("<<< READ (10) ", 0), 0u);
}

TEST_F(PassThrough, SecondInitialisationKeepsTheTable) {
    const uint8_t ha = Device.HaId, target = Device.Target;
    EXPECT_TRUE(Device.InitializeASPI(true, ""));
    EXPECT_EQ(Device.PassThroughDriveLetter(ha, target, 0), "/dev/sr0");
    EXPECT_TRUE(Device.ReinitializeASPI());
    EXPECT_EQ(Device.AccessLayerName(), "KRASPI32");
    EXPECT_TRUE(FindDrive(0));
    EXPECT_TRUE(Device.TestUnitReady(5000));
}

TEST_F(PassThrough, CloseAfterEachCommand) {
    Device.SetCloseAfterCommand(true);
    EXPECT_TRUE(TAccessLayer::Instance().CloseAfterCommand());
    EXPECT_TRUE(Device.TestUnitReady(5000));
    EXPECT_TRUE(Device.TestUnitReady(5000));
    EXPECT_TRUE(Device.LoadEject(false));
    EXPECT_FALSE(TAccessLayer::Instance().CloseAfterCommand()) << "load/eject clears it after its command";
    EXPECT_TRUE(Device.TestUnitReady(5000));
}

TEST_F(PassThrough, BusyDrive) {
    const std::string command = std::string(KESTREL_BIN_DIR) + "/kestrel-vdrive --dir '" + State.Path().string() +
                                "' fault --drive 0 busy-count=1 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_FALSE(Device.TestUnitReady(5000));
    EXPECT_TRUE(Device.TargetBusy);
    EXPECT_EQ(Device.LastError, "TARGET BUSY");
    EXPECT_TRUE(Device.TestUnitReady(5000));
}

TEST_F(PassThrough, ResidualCountOfAShortReply) {
    alignas(8) uint8_t config[2048];
    ASSERT_TRUE(Device.GetConfiguration(2, 0, config, sizeof config));
    EXPECT_GT(Device.LastTransferred, 8u);
    EXPECT_LT(Device.LastTransferred, sizeof config) << "one feature asked, far less than 2048 bytes come back";
}

}  // namespace
}  // namespace kestrel::test
