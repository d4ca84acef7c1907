// Command execution and the catalog against the scripted access library:
// the CDBs built, the failure state, the failure report, event completion,
// time-outs, and replies that are short or whose length fields lie.
#include <chrono>
#include <cstring>

#include "ScriptedDevice.h"
#include "burner/common/Clock.h"
#include "burner/common/ByteOrder.h"

namespace kestrel::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes CdbOf(const SRB_ExecSCSICmd& Srb) { return Bytes(Srb.CDBByte, Srb.CDBByte + Srb.SRB_CDBLen); }

using CatalogTest = ScriptedDevice;

TEST_F(CatalogTest, CommandBlocksOfTheCatalog) {
    struct TCase {
        const char* Name;
        std::function<void(TSCSICommands&)> Send;
        Bytes Cdb;
        uint8_t Flags;
        uint32_t Length;
    };
    alignas(8) uint8_t buffer[2048];
    uint32_t a = 0, b = 0;
    const TCase cases[] = {
        {"TestUnitReady", [](auto& d) { d.TestUnitReady(5000); }, {0x00, 0, 0, 0, 0, 0}, 0x40, 0},
        {"RezeroUnit", [](auto& d) { d.RezeroUnit(); }, {0x01, 0, 0, 0, 0, 0}, 0x40, 0},
        {"RequestSense", [&](auto& d) { d.RequestSense(buffer, 40); }, {0x03, 0, 0, 0, 40, 0}, 0x48, 40},
        {"Inquiry", [](auto& d) { d.Inquiry(); }, {0x12, 0, 0, 0, 128, 0}, 0x48, 128},
        {"Eject", [](auto& d) { d.LoadEject(true); }, {0x1B, 0, 0, 0, 2, 0}, 0x40, 0},
        {"Load", [](auto& d) { d.LoadEject(false); }, {0x1B, 0, 0, 0, 3, 0}, 0x40, 0},
        {"Prevent", [](auto& d) { d.AllowMediumRemoval(false); }, {0x1E, 0, 0, 0, 1, 0}, 0x40, 0},
        {"Allow", [](auto& d) { d.AllowMediumRemoval(true); }, {0x1E, 0, 0, 0, 0, 0}, 0x40, 0},
        {"ReadFormatCapacities", [&](auto& d) { d.ReadFormatCapacities(a, b); },
         {0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, 0x48, 248},
        {"ReadCapacity", [&](auto& d) { d.ReadCapacity(a, b); }, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x48, 8},
        {"Read10", [&](auto& d) { d.Read10(0x01020304, 1, buffer, 2048); },
         {0x28, 0, 1, 2, 3, 4, 0, 0, 1, 0}, 0x48, 2048},
        {"Write10", [&](auto& d) { d.Write10(0x10, 1, 0x50, buffer, 2048); },
         {0x2A, 0, 0, 0, 0, 0x10, 0, 0, 1, 0}, 0x50, 2048},
        {"SynchronizeCache", [](auto& d) { d.SynchronizeCache(true, 1000); },
         {0x35, 2, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0},
        {"ReadTOC", [&](auto& d) { d.ReadTOC(true, 4, 0, buffer, 26); }, {0x43, 2, 4, 0, 0, 0, 0, 0, 26, 0}, 0x48, 26},
        {"GetConfiguration", [&](auto& d) { d.GetConfiguration(2, 0x2F, buffer, 114); },
         {0x46, 2, 0, 0x2F, 0, 0, 0, 0, 114, 0}, 0x48, 114},
        {"ReadDiscInformation", [](auto& d) { d.ReadDiscInformation(); }, {0x51, 0, 0, 0, 0, 0, 0, 0, 56, 0}, 0x48, 56},
        {"ReadTrackInformation", [](auto& d) { d.ReadTrackInformation(2); },
         {0x52, 1, 0, 0, 0, 2, 0, 0, 40, 0}, 0x48, 40},
        {"ReadTrackInformationBySession", [](auto& d) { d.ReadTrackInformation(3, TRACK_ADDRESS_SESSION); },
         {0x52, 2, 0, 0, 0, 3, 0, 0, 40, 0}, 0x48, 40},
        {"ReserveTrack", [](auto& d) { d.ReserveTrack(0x12345); }, {0x53, 0, 0, 0, 0, 0, 1, 0x23, 0x45, 0, 0, 0}, 0x40, 0},
        {"SendOPC", [](auto& d) { d.SendOPC(); }, {0x54, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0},
        {"ModeSelect10", [&](auto& d) { d.ModeSelect10(buffer, 60); }, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, 0x50, 60},
        {"ModeSenseDefaults", [&](auto& d) { d.ModeSense10(0x2A, true, buffer, 255); },
         {0x5A, 0, 0xAA, 0, 0, 0, 0, 0, 255, 0}, 0x48, 255},
        {"ModeSenseCurrent", [&](auto& d) { d.ModeSense10(0x05, false, buffer, 512); },
         {0x5A, 0, 0x05, 0, 0, 0, 0, 2, 0, 0}, 0x48, 512},
        {"CloseTrack", [](auto& d) { d.CloseTrackSession(true, true, false); },
         {0x5B, 1, 1, 0, 0, 0xFF, 0, 0, 0, 0}, 0x40, 0},
        {"CloseSession", [](auto& d) { d.CloseTrackSession(false, false, false); },
         {0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0},
        {"Finalize", [](auto& d) { d.CloseTrackSession(false, true, true); },
         {0x5B, 1, 5, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0},
        {"CloseTrackSessionEx", [](auto& d) { d.CloseTrackSessionEx(false, 3, 0, 0, 0xFF); },
         {0x5B, 0, 3, 0, 0, 0xFF, 0, 0, 0, 0}, 0x40, 0},
        {"ReadBufferCapacity", [&](auto& d) { d.ReadBufferCapacity(a, b); },
         {0x5C, 0, 0, 0, 0, 0, 0, 0, 32, 0}, 0x48, 32},
        {"SendCueSheet", [&](auto& d) { d.SendCueSheet(buffer, 0x110); }, {0x5D, 0, 0, 0, 0, 0, 0, 1, 0x10, 0}, 0x50, 0x110},
        {"QuickBlank", [](auto& d) { d.Blank(1); }, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0},
        {"CompleteBlank", [](auto& d) { d.Blank(0); }, {0xA1, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, 0},
        {"SetStreaming", [&](auto& d) { d.SetStreaming(buffer, 28); }, {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, 0x50, 28},
        {"SetCDSpeed", [](auto& d) { d.SetCDSpeed(1385, 0); }, {0xBB, 0, 0x05, 0x69, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0}, 0x40, 0},
        {"SendDVDStructure", [&](auto& d) { d.SendDVDStructure(0x0F, buffer, 22); },
         {0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}, 0x50, 22},
        {"FormatUnit", [&](auto& d) { d.FormatUnit(0x11, buffer, 12); }, {0x04, 0x11, 0, 0, 0, 0}, 0x50, 12},
    };
    for (const auto& c : cases) {
        c.Send(Device);
        const auto srb = LastRequest();
        EXPECT_EQ(CdbOf(srb), c.Cdb) << c.Name;
        EXPECT_EQ(srb.SRB_Flags & ~SRB_ENABLE_RESIDUAL_COUNT, c.Flags) << c.Name;
        EXPECT_EQ(srb.SRB_BufLen, c.Length) << c.Name;
        EXPECT_EQ(srb.SRB_SenseLen, 24) << c.Name;
        EXPECT_EQ(srb.SRB_Cmd, SC_EXEC_SCSI_CMD) << c.Name;
    }
}

TEST_F(CatalogTest, AddressAndLunBitsGoIntoTheRequest) {
    Device.HaId = 0;
    Device.Target = 5;
    Device.Lun = 2;
    EXPECT_TRUE(Device.SynchronizeCache(true, 1000));
    const auto srb = LastRequest();
    EXPECT_EQ(srb.SRB_Target, 5);
    EXPECT_EQ(srb.SRB_Lun, 2);
    EXPECT_EQ(srb.CDBByte[1], 0x42);
}

TEST_F(CatalogTest, ParameterListsOfTheHelpers) {
    ASSERT_TRUE(Device.SetStreamingSpeed(1000, 2000, 43965, 1418, 1000, 1000));
    Bytes expected(28);
    PutBig32(&expected[8], 2000);
    PutBig32(&expected[12], 43965);
    PutBig32(&expected[16], 1000);
    PutBig32(&expected[20], 1418);
    PutBig32(&expected[24], 1000);
    EXPECT_EQ(LastOut(), expected);

    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 8;
    when.tm_hour = 21;
    when.tm_min = 5;
    when.tm_sec = 9;
    ASSERT_TRUE(Device.SendDVDTimeStamp(when));
    const Bytes stamp = LastOut();
    ASSERT_EQ(stamp.size(), 22u);
    EXPECT_EQ(Bytes(stamp.begin(), stamp.begin() + 8), (Bytes{0x00, 0x14, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::string(stamp.begin() + 8, stamp.end()), "20261208210509");

    const uint8_t list[4] = {1, 2, 3, 4};
    ASSERT_TRUE(Device.ModeSelect10(list, 4));
    EXPECT_EQ(LastOut(), (Bytes{1, 2, 3, 4}));
}

TEST_F(CatalogTest, NothingIsSentWithoutLayerOrDrive) {
    const int before = RequestCount();
    Device.HaId = NO_DEVICE_ID;
    SRB_ExecSCSICmd srb{};
    srb.SRB_Flags = SRB_FLAGS_NONE;
    srb.SRB_CDBLen = 6;
    EXPECT_EQ(Device.ExecuteCommand(srb, 10000), EXEC_NOT_SENT);
    EXPECT_EQ(srb.SRB_Cmd, 0) << "the request is left untouched";
    EXPECT_FALSE(Device.TestUnitReady(5000));
    EXPECT_FALSE(Device.Write10(0, 1, 0x50, nullptr, 0)) << "a request never sent is no success";
    EXPECT_FALSE(Device.Blank(1));
    EXPECT_TRUE(Device.LastError.empty());
    EXPECT_EQ(RequestCount(), before);

    Device.HaId = 0;
    TAccessLayer::Instance().Shutdown();
    EXPECT_FALSE(Device.ASPIInitialized());
    EXPECT_EQ(Device.ExecuteCommand(srb, 10000), EXEC_NOT_SENT);
    EXPECT_FALSE(Device.Inquiry());
}

TEST_F(CatalogTest, FailureStateDescribesOnlyTheLastCommand) {
    CheckCondition(5, 0x24, 0x00);
    uint32_t lastLBA = 0, blockLength = 0;
    EXPECT_FALSE(Device.ReadCapacity(lastLBA, blockLength));
    EXPECT_EQ(Device.LastError, "ILLEGAL REQUEST (INVALID FIELD IN CDB)");
    EXPECT_EQ(Device.LastASC(), 0x24);
    EXPECT_EQ(Device.LastSense[0], 0x70);

    Reply(SS_ERR, {}, {}, STATUS_BUSY);
    EXPECT_FALSE(Device.TestUnitReady(5000));
    EXPECT_TRUE(Device.TargetBusy);
    EXPECT_EQ(Device.LastError, "TARGET BUSY");
    EXPECT_EQ(Device.LastASC(), 0);

    Reply(SS_COMP);
    EXPECT_TRUE(Device.TestUnitReady(5000));
    EXPECT_FALSE(Device.TargetBusy);
    EXPECT_TRUE(Device.LastError.empty());
    EXPECT_EQ(Device.LastSense, (std::array<uint8_t, LAST_SENSE_SIZE>{}));
}

// The drive's progress of a long operation comes from whichever command
// brought it back last (a failed one, or REQUEST SENSE) and stays until
// cleared; commands without it leave it alone.
TEST_F(CatalogTest, DriveProgressFollowsTheDrivesReports) {
    EXPECT_EQ(Device.DriveProgress(), std::nullopt);
    std::vector<uint8_t> blanking = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x04, 0x07, 0, 0x80, 0x80, 0x00};
    Reply(SS_ERR, {}, blanking, STATUS_CHKCOND);
    EXPECT_FALSE(Device.TestUnitReady(5000));
    EXPECT_EQ(Device.DriveProgress(), 0.5);

    CheckCondition(2, 0x04, 0x07);  // still busy, but without a figure
    EXPECT_FALSE(Device.TestUnitReady(5000));
    Reply(SS_COMP);
    EXPECT_TRUE(Device.TestUnitReady(5000));
    EXPECT_EQ(Device.DriveProgress(), 0.5);

    blanking[2] = 0x00;  // REQUEST SENSE reports with NO SENSE
    blanking[16] = 0xC0;
    Reply(SS_COMP, blanking);
    uint8_t sense[18] = {};
    ASSERT_TRUE(Device.RequestSense(sense, sizeof sense));
    EXPECT_EQ(Device.DriveProgress(), 0.75);

    Device.ClearDriveProgress();
    EXPECT_EQ(Device.DriveProgress(), std::nullopt);
}

TEST_F(CatalogTest, WriteCountsOnlyCompletedRequests) {
    alignas(8) uint8_t block[2048] = {};
    CheckCondition(3, 0x0C, 0x00);
    EXPECT_FALSE(Device.Write10(0, 1, SRB_FLAGS_OUT, block, sizeof block));
    EXPECT_EQ(Device.LastError, "MEDIUM ERROR (WRITE ERROR)");
    Reply(SS_COMP);
    EXPECT_TRUE(Device.Write10(0, 1, SRB_FLAGS_OUT, block, sizeof block));
}

TEST_F(CatalogTest, FirstReportableFailureIsLoggedOnce) {
    Reply(SS_COMP);
    EXPECT_TRUE(Device.Inquiry());
    CheckCondition(2, 0x3A, 0x00);
    EXPECT_FALSE(Device.TestUnitReady(5000)) << "readiness polls are never reported";
    EXPECT_TRUE(Log.empty());
    CheckCondition(2, 0x04, 0x08);
    EXPECT_FALSE(Device.SendOPC()) << "a long write in progress is never reported";
    EXPECT_TRUE(Log.empty());
    EXPECT_FALSE(Device.FailureReported);

    CheckCondition(5, 0x21, 0x00);
    alignas(8) uint8_t block[16] = {0xAB};
    EXPECT_FALSE(Device.Read10(7, 1, block, sizeof block));
    ASSERT_EQ(Log.size(), 1u);
    EXPECT_EQ(Log[0].rfind("<<< READ (10)              (28) {48|0A} - 0:0:0 <04> [00010] 00 00 00 00 07 ", 0), 0u)
        << Log[0];
    EXPECT_NE(Log[0].find("|AB 00 "), std::string::npos) << Log[0];
    EXPECT_NE(Log[0].find("= 00 02 70 05 ASC:21,ASQ:00 ILLEGAL REQUEST (LOGICAL BLOCK ADDRESS OUT OF RANGE)"),
              std::string::npos)
        << Log[0];
    EXPECT_TRUE(Device.FailureReported);

    EXPECT_FALSE(Device.Read10(8, 1, block, sizeof block));
    EXPECT_EQ(Log.size(), 1u) << "one report per instance";
}

TEST_F(CatalogTest, MisalignedBufferIsLogged) {
    alignas(4) uint8_t buffer[64] = {};
    Reply(SS_COMP);
    ASSERT_TRUE(Device.Read10(0, 1, buffer + 1, 32));
    ASSERT_EQ(Log.size(), 1u);
    EXPECT_EQ(Log[0], "aaaa" + std::to_string(reinterpret_cast<uintptr_t>(buffer + 1)));
}

TEST_F(CatalogTest, PendingRequestCompletesByEvent) {
    Reply(SS_PENDING, {}, {}, 0, 30);
    EXPECT_TRUE(Device.TestUnitReady(5000));
    EXPECT_EQ(AbortCount(), 0);
}

TEST_F(CatalogTest, ShortTimeoutsAreRaisedToTenSeconds) {
    // At a fifth of real time ten seconds last 2 s, five seconds 1 s.
    SetTimeScale(0.2);
    Reply(SS_PENDING, {}, {}, 0, 1300);
    const bool ready = Device.TestUnitReady(5000);
    SetTimeScale(0.01);
    EXPECT_TRUE(ready);
    EXPECT_EQ(AbortCount(), 0);
}

TEST_F(CatalogTest, RequestThatNeverCompletesIsAborted) {
    Reply(SS_PENDING);
    SRB_ExecSCSICmd srb{};
    srb.SRB_Flags = SRB_FLAGS_NONE;
    srb.SRB_CDBLen = 10;
    srb.CDBByte[0] = 0x2B;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Device.ExecuteCommand(srb, 10000), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(srb.SRB_Status, SS_ERR);
    EXPECT_EQ(srb.SRB_HaStat, 0x09);
    EXPECT_TRUE(Device.LastError.empty());
    EXPECT_EQ(AbortCount(), 1);
    EXPECT_TRUE(Log.empty()) << "a time-out is not the failure report";
}

TEST_F(CatalogTest, ShortRepliesLeaveTheRestZero) {
    Bytes track(40, 0xEE);
    Reply(SS_COMP, track);
    ASSERT_TRUE(Device.ReadTrackInformation(1));
    EXPECT_EQ(Device.TrackInformation.FreeBlocks, 0xEEEEEEEE);

    Reply(SS_COMP, {0x00, 0x26, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0x20});  // 12 of 40 bytes
    ASSERT_TRUE(Device.ReadTrackInformation(1));
    EXPECT_EQ(Device.LastTransferred, 12u);
    EXPECT_EQ(Device.TrackInformation.DataLength, 0x26) << "the length field claims more than came";
    EXPECT_EQ(Device.TrackInformation.TrackStart, 0x20u);
    EXPECT_EQ(Device.TrackInformation.NextWritableAddress, 0u);
    EXPECT_EQ(Device.TrackInformation.FreeBlocks, 0u);
    EXPECT_EQ(Device.TrackInformation.LastRecordedAddress, 0u);

    Reply(SS_COMP, Bytes(56, 0xFF));
    ASSERT_TRUE(Device.ReadDiscInformation());
    Reply(SS_ERR, {0x00, 0x20, 0x0E}, {}, STATUS_CHKCOND);
    EXPECT_FALSE(Device.ReadDiscInformation());
    EXPECT_EQ(Device.DiscInformation.Bytes[3], 0) << "nothing of the earlier reply survives";
    EXPECT_EQ(Device.DiscInformation.DataLength, 0x20);

    alignas(8) uint8_t page[64];
    std::memset(page, 0xCC, sizeof page);
    Reply(SS_COMP, {0, 10, 0, 0, 0, 0, 0, 0, 0x2A, 2});
    ASSERT_TRUE(Device.ModeSense10(0x2A, false, page, sizeof page));
    EXPECT_EQ(page[8], 0x2A);
    EXPECT_EQ(page[10], 0) << "the caller's buffer is zeroed before the copy";
    EXPECT_EQ(page[63], 0);
}

TEST_F(CatalogTest, FormatCapacityDescriptors) {
    auto reply = [](std::initializer_list<std::pair<uint32_t, uint32_t>> Descriptors) {
        Bytes data(4, 0);
        data[3] = uint8_t(Descriptors.size() * 8);
        for (auto [blocks, tail] : Descriptors) {
            data.resize(data.size() + 8);
            PutBig32(&data[data.size() - 8], blocks);
            PutBig32(&data[data.size() - 4], tail);
        }
        return data;
    };
    uint32_t blocks = 0, length = 0;
    Reply(SS_COMP, reply({{2295104, 0x02000800}, {100, 0x00000800}}));
    ASSERT_TRUE(Device.ReadFormatCapacities(blocks, length));
    EXPECT_EQ(blocks, 100u) << "the first descriptor's type byte makes it not match";
    EXPECT_EQ(length, 2048u);

    Reply(SS_COMP, reply({{2295104, 0x00000800}, {100, 0x00000800}}));
    ASSERT_TRUE(Device.ReadFormatCapacities(blocks, length));
    EXPECT_EQ(blocks, 2295104u);

    Reply(SS_COMP, reply({{1, 0x02000800}, {2, 0x98000000}}));
    ASSERT_TRUE(Device.ReadFormatCapacities(blocks, length));
    EXPECT_EQ(blocks, 2u);

    Reply(SS_COMP, reply({{1, 0x02000800}, {2, 0x02000800}, {3, 0x00000800}}));
    ASSERT_TRUE(Device.ReadFormatCapacities(blocks, length));
    EXPECT_EQ(blocks, 3u);

    Reply(SS_COMP, reply({{7, 0x03000200}}));
    ASSERT_TRUE(Device.ReadFormatCapacities(blocks, length));
    EXPECT_EQ(blocks, 7u) << "nothing matches: the first descriptor";
}

TEST_F(CatalogTest, BufferCapacity) {
    Bytes data(12, 0);
    PutBig32(&data[4], 4 << 20);
    PutBig32(&data[8], 0xFFFFFFFF);
    Reply(SS_COMP, data);
    ASSERT_TRUE(Device.ReadBufferCapacity());
    EXPECT_EQ(Device.DeviceBufferSize, 4u << 20);
    EXPECT_EQ(Device.DeviceFreeBufferSize, 4u << 20);
    PutBig32(&data[8], 1000);
    Reply(SS_COMP, data);
    ASSERT_TRUE(Device.ReadBufferCapacity());
    EXPECT_EQ(Device.DeviceFreeBufferSize, 1000u);
    CheckCondition(5, 0x20, 0);
    EXPECT_FALSE(Device.ReadBufferCapacity());
    EXPECT_EQ(Device.DeviceFreeBufferSize, 0u);
    EXPECT_EQ(Device.DeviceBufferSize, 4u << 20);
}

TEST(ByteOrder, SwapsAndConversions) {
    EXPECT_EQ(TSCSICommands::SwapWord(0x1234), 0x3412);
    EXPECT_EQ(TSCSICommands::SwapDWord(0x12345678), 0x78563412u);
    EXPECT_EQ(TSCSICommands::MSFToLBA(0, 79, 59, 74), 79u * 4500 + 59 * 75 + 74);
    EXPECT_EQ(TSCSICommands::MSFToLBA(1, 0, 0, 0), 270000u);
}

}  // namespace
}  // namespace kestrel::test
