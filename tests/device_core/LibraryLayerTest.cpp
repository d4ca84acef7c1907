// Loading the access library, and the whole command path through the
// virtual recorder's libkestrel-vdrive.so: synchronous and event completion,
// drive failures, busy drives and a request that has to be aborted.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "ScriptedDevice.h"
#include "burner/common/ByteOrder.h"
#include "burner/device/PassThroughLayer.h"

namespace kestrel::test {
namespace {

struct TLayerFixture : ::testing::Test {
    void SetUp() override {
        TAccessLayer::Instance().Shutdown();
        Device.OnDebugMessage = [this](TDebugLog*, const std::string& Line, uint8_t) { Log.push_back(Line); };
    }
    void TearDown() override { TAccessLayer::Instance().Shutdown(); }
    bool LogHas(const std::string& Text) const {
        for (const auto& line : Log)
            if (line.find(Text) != std::string::npos) return true;
        return false;
    }
    TScopedEnv Layer{"KESTREL_DEVICE_LAYER", "library"};
    TSCSICommands Device;
    std::vector<std::string> Log;
};

using LibraryLoading = TLayerFixture;

TEST_F(LibraryLoading, MissingEntryPointFailsWithALogLine) {
    EXPECT_FALSE(Device.InitializeASPI(false, TestLibrary("noentry")));
    EXPECT_FALSE(Device.ASPIInitialized());
    EXPECT_EQ(Device.AccessLayerName(), "");
    EXPECT_TRUE(LogHas("DOES NOT EXPORT SendASPI32Command"));
}

TEST_F(LibraryLoading, FolderGivenAsPathAndTheLayerName) {
    ASSERT_TRUE(Device.InitializeASPI(false, TestLibrary("scripted")));
    EXPECT_EQ(Device.AccessLayerName(), "libkestrel-test-scripted.so");
    EXPECT_EQ(Device.GetASPI32SupportInfo(), 0x0101u);
    EXPECT_EQ(Device.DriveName(0, 0, 0), "") << "no name export";
    EXPECT_TRUE(Device.InitializeASPI(false, TestLibrary("noentry"))) << "a loaded layer stays";
    EXPECT_EQ(Device.AccessLayerName(), "libkestrel-test-scripted.so");
}

TEST_F(LibraryLoading, SearchOrderNeverNamesTheCurrentFolder) {
    TTempDir folder;
    const auto candidates = TLibraryLayer::Candidates(folder.Path().string());
    ASSERT_GE(candidates.size(), 3u);
    EXPECT_EQ(candidates.front(), folder / "libkestrel-vdrive.so");
    EXPECT_EQ(candidates[1], std::string(KESTREL_BIN_DIR) + "/libkestrel-vdrive.so");
    EXPECT_EQ(candidates.back(), "libkestrel-vdrive.so");
    for (const auto& path : candidates) EXPECT_NE(path.rfind("./", 0), 0u) << path;

    // A library planted in the current folder (one without the name export)
    // is not taken.
    const auto previous = std::filesystem::current_path();
    std::filesystem::copy_file(TestLibrary("scripted"), folder / "libkestrel-vdrive.so");
    std::filesystem::current_path(folder.Path());
    TLibraryLayer library;
    const bool loaded = library.Load("", {});
    const std::string driveName = loaded ? library.DriveName(0, 0, 0) : "";
    library.Unload();
    std::filesystem::current_path(previous);
    EXPECT_FALSE(loaded && driveName.empty()) << "loaded the library from the current folder";
}

TEST_F(LibraryLoading, UnknownLayerChoiceIsRefused) {
    TScopedEnv choice("KESTREL_DEVICE_LAYER", "libary");
    EXPECT_FALSE(Device.InitializeASPI(false, TestLibrary("scripted")));
    EXPECT_TRUE(LogHas("KESTREL_DEVICE_LAYER"));
    EXPECT_FALSE(Device.ASPIInitialized());
}

TEST(LayerChoice, Names) {
    EXPECT_EQ(ParseLayerChoice(""), TLayerChoice::Auto);
    EXPECT_EQ(ParseLayerChoice("auto"), TLayerChoice::Auto);
    EXPECT_EQ(ParseLayerChoice("passthrough"), TLayerChoice::PassThrough);
    EXPECT_EQ(ParseLayerChoice("library"), TLayerChoice::Library);
    EXPECT_EQ(ParseLayerChoice("Library"), std::nullopt);
}

// The pass-through scan pointed at a folder of ordinary files: nothing there
// answers SG_IO, and a node that cannot be opened is reported with the fix.
TEST_F(LibraryLoading, PassThroughScanOfNodesThatAreNoDrives) {
    TTempDir nodes;
    WriteFile(nodes / "sr0", "not a drive");
    WriteFile(nodes / "sr3", "locked");
    ::chmod((nodes / "sr3").c_str(), 0);
    TScopedEnv choice("KESTREL_DEVICE_LAYER", "passthrough");
    TPassThroughLayer::Instance().SetNodePrefix((nodes.Path() / "sr").string());
    const bool loaded = Device.InitializeASPI(true, "");
    TAccessLayer::Instance().Shutdown();
    TPassThroughLayer::Instance().SetNodePrefix("/dev/sr");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(Device.GetASPI32SupportInfo() >> 8 & 0xFF, SS_NO_ASPI);
    if (::geteuid() == 0) GTEST_SKIP() << "root opens every node";
    EXPECT_TRUE(LogHas("CANNOT OPEN " + (nodes / "sr3") + ": PERMISSION DENIED; ADD THE USER TO THE GROUP"));
}

// ---- Through the virtual recorder ----

std::string VirtualRecorderLibrary() { return std::string(KESTREL_BIN_DIR) + "/libkestrel-vdrive.so"; }

struct VirtualRecorder : TLayerFixture {
    void SetUp() override {
        if (!std::filesystem::exists(VirtualRecorderLibrary())) GTEST_SKIP() << "libkestrel-vdrive.so not built";
        TLayerFixture::SetUp();
        ASSERT_TRUE(Device.InitializeASPI(false, ""));
        Device.HaId = Device.Target = Device.Lun = 0;
    }
    TTempDir State;
    TScopedEnv StateDir{"KESTREL_VDRIVE_DIR", State.Path().string()};
};

TEST_F(VirtualRecorder, DefaultLibraryBesideTheProgram) {
    EXPECT_EQ(Device.AccessLayerName(), "libkestrel-vdrive.so");
    EXPECT_EQ(Device.GetASPI32SupportInfo() & 0xFFFF, 0x0101u);
    EXPECT_EQ(Device.DriveName(0, 0, 0), "vdrive0");
    EXPECT_EQ(Device.DriveName(0, 1, 0), "vdrive1");
    EXPECT_EQ(Device.DriveName(0, 7, 0), "");

    SRB_HAInquiry inquiry{};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(Device.SendASPI32Command(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.HA_Count, 1);
}

TEST_F(VirtualRecorder, IdentifiesAndReadsTheDrives) {
    ASSERT_TRUE(Device.Inquiry());
    EXPECT_EQ(Device.InquiryData[0] & 0x1F, DTYPE_CDROM);
    alignas(8) uint8_t config[114];
    ASSERT_TRUE(Device.GetConfiguration(2, 0, config, sizeof config));
    EXPECT_EQ(GetBig16(config + 6), 0x001A) << "drive 0 holds a DVD+RW";

    Device.Target = 1;
    ASSERT_TRUE(Device.GetConfiguration(2, 0, config, sizeof config));
    EXPECT_EQ(GetBig16(config + 6), 0x0009) << "drive 1 holds a CD-R";
    ASSERT_TRUE(Device.ReadDiscInformation());
    EXPECT_EQ(Device.DiscInformation.DiscStatus(), 0) << "blank";
    ASSERT_TRUE(Device.ReadTrackInformation(1));
    EXPECT_EQ(Device.TrackInformation.NextWritableAddress, 0u);
    EXPECT_GT(Device.TrackInformation.FreeBlocks, 300000u);
    EXPECT_TRUE(Device.TestUnitReady(5000));
}

TEST_F(VirtualRecorder, DriveFailureBecomesTextAndReport) {
    Device.Target = 1;
    alignas(8) uint8_t block[2048];
    EXPECT_FALSE(Device.Read10(4000000, 1, block, sizeof block));
    EXPECT_NE(Device.LastError.find("ILLEGAL REQUEST"), std::string::npos) << Device.LastError;
    ASSERT_EQ(Log.size(), 1u);
    EXPECT_EQ(Log[0].rfind("<<< READ (10)              (28) {48|0A} - 0:1:0 <04> [00800] 00 00 3D 09 00 ", 0), 0u)
        << Log[0];

    EXPECT_FALSE(Device.Read10(4000001, 1, block, sizeof block));
    EXPECT_EQ(Log.size(), 1u);
    EXPECT_TRUE(Device.TestUnitReady(5000));
    EXPECT_TRUE(Device.LastError.empty());
}

TEST_F(VirtualRecorder, EventCompletion) {
    TScopedEnv async("KESTREL_VDRIVE_ASYNC", "1");
    ASSERT_TRUE(Device.Inquiry());
    EXPECT_EQ(Device.InquiryData[0] & 0x1F, DTYPE_CDROM);
    uint32_t lastLBA = 0, blockLength = 0;
    Device.Target = 1;
    EXPECT_FALSE(Device.ReadCapacity(lastLBA, blockLength) && lastLBA > 400000);
    alignas(8) uint8_t block[2048];
    EXPECT_FALSE(Device.Read10(4000000, 1, block, sizeof block));
    EXPECT_NE(Device.LastError.find("ILLEGAL REQUEST"), std::string::npos) << Device.LastError;
}

TEST_F(VirtualRecorder, LateRequestIsAbortedAndTheDriveStaysUsable) {
    {
        TScopedEnv async("KESTREL_VDRIVE_ASYNC", "1");
        TScopedEnv delay("KESTREL_VDRIVE_DELAY_MS", "20000");
        SRB_ExecSCSICmd srb{};
        srb.SRB_Flags = SRB_FLAGS_NONE;
        srb.SRB_CDBLen = 6;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Device.ExecuteCommand(srb, 10000), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
        EXPECT_EQ(srb.SRB_Status, SS_ERR);
        EXPECT_EQ(srb.SRB_HaStat, 0x09);
        EXPECT_TRUE(Device.LastError.empty());
    }
    EXPECT_TRUE(Device.TestUnitReady(5000));
}

// Sets test knobs of a virtual drive with the recorder's control tool.
void SetKnobs(const std::string& StateDir, int Drive, const std::string& Knobs) {
    const std::string command = std::string(KESTREL_BIN_DIR) + "/kestrel-vdrive --dir '" + StateDir + "' fault --drive " +
                                std::to_string(Drive) + " " + Knobs + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

TEST_F(VirtualRecorder, BusyDriveAndLongWriteInProgress) {
    SetKnobs(State.Path().string(), 1, "busy-count=1");
    Device.Target = 1;
    EXPECT_FALSE(Device.TestUnitReady(5000));
    EXPECT_TRUE(Device.TargetBusy);
    EXPECT_EQ(Device.LastError, "TARGET BUSY");
    EXPECT_TRUE(Device.TestUnitReady(5000));
    EXPECT_FALSE(Device.TargetBusy);

    SetKnobs(State.Path().string(), 1, "long-write-count=1 busy-opcode=28");
    alignas(8) uint8_t block[2048];
    EXPECT_FALSE(Device.Read10(0, 1, block, sizeof block));
    EXPECT_EQ(Device.LastASC(), 0x04);
    EXPECT_EQ(Device.LastASCQ(), 0x08);
    EXPECT_EQ(Device.LastError, "NOT READY (LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS)");
    EXPECT_TRUE(Log.empty()) << "a long write in progress is not reported";
}

}  // namespace
}  // namespace kestrel::test
