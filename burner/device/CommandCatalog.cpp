// The one-command methods: each builds its CDB, sends it with its own time
// limit and reads its reply. Data-in buffers are zeroed first, so bytes the
// drive did not return read as zero.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "burner/device/AccessLayer.h"
#include "burner/common/ByteOrder.h"
#include "burner/device/SCSICommands.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

constexpr int Seconds(int S) { return S * 1000; }
constexpr uint8_t BufferCapacityLength = 32;
constexpr uint8_t InquiryLength = 128;
constexpr int PerformanceDescriptorSize = 28;
constexpr int TimeStampSize = 22;

bool BlockLength2048(const uint8_t* P) { return P[0] == 0 && P[1] == 0 && P[2] == 0x08 && P[3] == 0; }

// Clears CloseAfterCommand when the command is done, whatever it returned.
struct TCloseAfterThisCommand {
    explicit TCloseAfterThisCommand(const TSCSICommands& Device) : Owner(Device) { Owner.SetCloseAfterCommand(true); }
    ~TCloseAfterThisCommand() { Owner.SetCloseAfterCommand(false); }
    const TSCSICommands& Owner;
};

}  // namespace

SRB_ExecSCSICmd TSCSICommands::Request(uint8_t Flags, uint8_t CdbLength, void* Buffer, uint32_t Length) {
    SRB_ExecSCSICmd srb{};
    srb.SRB_Flags = Flags;
    srb.SRB_BufLen = Buffer ? Length : 0;
    srb.SRB_BufPointer = Buffer;
    srb.SRB_SenseLen = 24;
    srb.SRB_CDBLen = CdbLength;
    return srb;
}

bool TSCSICommands::Run(SRB_ExecSCSICmd& Srb, int TimeoutMs, bool PendingIsSuccess) {
    if (ExecuteCommand(Srb, TimeoutMs) != 1) return false;
    return Srb.SRB_Status == SS_COMP || (PendingIsSuccess && Srb.SRB_Status == SS_PENDING);
}

bool TSCSICommands::TestUnitReady(int TimeoutMs) {
    auto srb = Request(SRB_FLAGS_NONE, 6);
    srb.CDBByte[0] = 0x00;
    return Run(srb, TimeoutMs);
}

bool TSCSICommands::RezeroUnit() {
    auto srb = Request(SRB_FLAGS_NONE, 6);
    srb.CDBByte[0] = 0x01;
    return Run(srb, Seconds(10));
}

bool TSCSICommands::RequestSense(uint8_t* Buffer, uint8_t AllocationLength) {
    if (Buffer) std::memset(Buffer, 0, AllocationLength);
    auto srb = Request(SRB_FLAGS_IN, 6, Buffer, AllocationLength);
    srb.CDBByte[0] = 0x03;
    srb.CDBByte[4] = Buffer ? AllocationLength : 0;
    const bool answered = Run(srb, Seconds(10));
    if (answered && Buffer) NoteDriveProgress(Buffer, AllocationLength);
    return answered;
}

bool TSCSICommands::FormatUnit(uint8_t Byte1, const uint8_t* ParameterList, uint32_t Length) {
    std::vector<uint8_t> list(ParameterList, ParameterList ? ParameterList + Length : ParameterList);
    auto srb = Request(list.empty() ? SRB_FLAGS_NONE : SRB_FLAGS_OUT, 6, list.data(), uint32_t(list.size()));
    srb.CDBByte[0] = 0x04;
    srb.CDBByte[1] = Byte1;
    return Run(srb, Seconds(10));
}

bool TSCSICommands::Inquiry() {
    std::fill_n(InquiryData.begin(), InquiryLength, 0);
    auto srb = Request(SRB_FLAGS_IN, 6, InquiryData.data(), InquiryLength);
    srb.CDBByte[0] = 0x12;
    srb.CDBByte[4] = InquiryLength;
    return Run(srb, Seconds(10));
}

bool TSCSICommands::LoadEject(bool Eject) {
    TCloseAfterThisCommand closeAfter(*this);
    auto srb = Request(SRB_FLAGS_NONE, 6);
    srb.CDBByte[0] = 0x1B;
    srb.CDBByte[4] = Eject ? 0x02 : 0x03;
    return Run(srb, Seconds(20));
}

bool TSCSICommands::AllowMediumRemoval(bool Allow) {
    auto srb = Request(SRB_FLAGS_NONE, 6);
    srb.CDBByte[0] = 0x1E;
    srb.CDBByte[4] = Allow ? 0x00 : 0x01;
    if (!Allow) return Run(srb, Seconds(10));
    // A pass-through descriptor that held the lock is closed with it.
    TCloseAfterThisCommand closeAfter(*this);
    return Run(srb, Seconds(10));
}

bool TSCSICommands::RunReadFormatCapacities(uint8_t (&Reply)[ReadFormatCapacitiesLength]) {
    std::fill_n(Reply, ReadFormatCapacitiesLength, 0);
    auto srb = Request(SRB_FLAGS_IN, 10, Reply, ReadFormatCapacitiesLength);
    srb.CDBByte[0] = mmc::op::kReadFormatCapacities;
    srb.CDBByte[8] = ReadFormatCapacitiesLength;
    return Run(srb, Seconds(10));
}

bool TSCSICommands::ReadFormatCapacities(uint32_t& Blocks, uint32_t& BlockLength) {
    alignas(8) uint8_t reply[ReadFormatCapacitiesLength];
    BlockLength = 2048;
    if (!RunReadFormatCapacities(reply)) return false;
    CurrentCapacityType = reply[8] & 0x03;
    const bool secondSuits = BlockLength2048(reply + 16) || (reply[16] == 0x98 && !reply[17] && !reply[18] && !reply[19]);
    if (BlockLength2048(reply + 8)) Blocks = GetBig32(reply + 4);
    else if (secondSuits) Blocks = GetBig32(reply + 12);
    else if (BlockLength2048(reply + 24)) Blocks = GetBig32(reply + 20);
    else Blocks = GetBig32(reply + 4);
    return true;
}

bool TSCSICommands::ReadFormatDescriptors(std::vector<TFormatDescriptor>& Formats) {
    alignas(8) uint8_t reply[ReadFormatCapacitiesLength];
    Formats.clear();
    if (!RunReadFormatCapacities(reply)) return false;
    // A 4-byte header whose last byte is the list length, the current
    // capacity, then the formattable ones, 8 bytes each.
    const size_t end = std::min<size_t>(4 + reply[3], ReadFormatCapacitiesLength);
    for (size_t at = 12; at + 8 <= end; at += 8)
        Formats.push_back({GetBig32(reply + at), uint8_t(reply[at + 4] >> 2), GetBig24(reply + at + 5)});
    return true;
}

bool TSCSICommands::ReadCapacity(uint32_t& LastLBA, uint32_t& BlockLength) {
    alignas(8) uint8_t reply[8] = {};
    auto srb = Request(SRB_FLAGS_IN, 10, reply, sizeof reply);
    srb.CDBByte[0] = 0x25;
    if (!Run(srb, Seconds(10))) return false;
    LastLBA = GetBig32(reply);
    BlockLength = GetBig32(reply + 4);
    return true;
}

bool TSCSICommands::Read10(uint32_t LBA, uint16_t Blocks, void* Buffer, uint32_t Length) {
    auto srb = Request(SRB_FLAGS_IN, 10, Buffer, Length);
    srb.CDBByte[0] = 0x28;
    PutBig32(srb.CDBByte + 2, LBA);
    PutBig16(srb.CDBByte + 7, Blocks);
    return Run(srb, Seconds(10));
}

bool TSCSICommands::Write10(uint32_t LBA, uint16_t Blocks, uint8_t Flags, const void* Buffer, uint32_t Length) {
    auto srb = Request(Flags, 10, const_cast<void*>(Buffer), Length);
    srb.CDBByte[0] = 0x2A;
    PutBig32(srb.CDBByte + 2, LBA);
    PutBig16(srb.CDBByte + 7, Blocks);
    return Run(srb, Seconds(120), true);
}

bool TSCSICommands::SynchronizeCache(bool Immediate, int TimeoutMs) {
    auto srb = Request(SRB_FLAGS_NONE, 10);
    srb.CDBByte[0] = 0x35;
    srb.CDBByte[1] = Immediate ? 0x02 : 0x00;
    return Run(srb, TimeoutMs);
}

bool TSCSICommands::ReadTOC(bool MSF, uint8_t Format, uint8_t TrackSession, void* Buffer, uint16_t AllocationLength,
                            uint8_t Control) {
    if (Buffer) std::memset(Buffer, 0, AllocationLength);
    auto srb = Request(SRB_FLAGS_IN, 10, Buffer, AllocationLength);
    srb.CDBByte[0] = 0x43;
    srb.CDBByte[1] = MSF ? 0x02 : 0x00;
    srb.CDBByte[2] = Format;
    srb.CDBByte[6] = TrackSession;
    PutBig16(srb.CDBByte + 7, Buffer ? AllocationLength : 0);
    srb.CDBByte[9] = Control;
    return Run(srb, Seconds(10));
}

bool TSCSICommands::GetConfiguration(uint8_t RT, uint16_t StartingFeature, void* Buffer, uint16_t AllocationLength) {
    if (Buffer) std::memset(Buffer, 0, AllocationLength);
    auto srb = Request(SRB_FLAGS_IN, 10, Buffer, AllocationLength);
    srb.CDBByte[0] = 0x46;
    srb.CDBByte[1] = RT & 0x03;
    PutBig16(srb.CDBByte + 2, StartingFeature);
    PutBig16(srb.CDBByte + 7, Buffer ? AllocationLength : 0);
    return Run(srb, Seconds(30));
}

bool TSCSICommands::ReadDiscInformation() {
    DiscInformation = {};
    auto& bytes = DiscInformation.Bytes;
    auto srb = Request(SRB_FLAGS_IN, 10, bytes.data(), DISC_INFO_SIZE);
    srb.CDBByte[0] = 0x51;
    srb.CDBByte[8] = DISC_INFO_SIZE;
    const bool done = Run(srb, Seconds(10));
    DiscInformation.DataLength = GetBig16(bytes.data());
    return done;
}

bool TSCSICommands::ReadTrackInformation(uint32_t Address, uint8_t AddressType) {
    TrackInformation = {};
    auto& bytes = TrackInformation.Bytes;
    auto srb = Request(SRB_FLAGS_IN, 10, bytes.data(), TRACK_INFO_SIZE);
    srb.CDBByte[0] = 0x52;
    srb.CDBByte[1] = AddressType & 0x03;
    PutBig32(srb.CDBByte + 2, Address);
    srb.CDBByte[8] = TRACK_INFO_SIZE;
    const bool done = Run(srb, Seconds(60));
    auto& t = TrackInformation;
    t.DataLength = GetBig16(bytes.data());
    t.TrackStart = GetBig32(bytes.data() + 8);
    t.NextWritableAddress = GetBig32(bytes.data() + 12);
    t.FreeBlocks = GetBig32(bytes.data() + 16);
    t.FixedPacketSize = GetBig32(bytes.data() + 20);
    t.TrackSize = GetBig32(bytes.data() + 24);
    t.LastRecordedAddress = GetBig32(bytes.data() + 28);
    return done;
}

bool TSCSICommands::ReserveTrack(uint32_t Blocks) {
    auto srb = Request(SRB_FLAGS_NONE, 12);
    srb.CDBByte[0] = 0x53;
    PutBig32(srb.CDBByte + 5, Blocks);
    return Run(srb, Seconds(10));
}

bool TSCSICommands::SendOPC() {
    auto srb = Request(SRB_FLAGS_NONE, 10);
    srb.CDBByte[0] = 0x54;
    srb.CDBByte[1] = 0x01;
    return Run(srb, Seconds(150));
}

bool TSCSICommands::ModeSelect10(const void* ParameterList, uint16_t Length) {
    const uint16_t length = ParameterList ? Length : 0;
    std::fill_n(ScratchBuffer.begin(), length, 0);
    if (length) std::memcpy(ScratchBuffer.data(), ParameterList, length);
    auto srb = Request(length ? SRB_FLAGS_OUT : SRB_FLAGS_NONE, 10, ScratchBuffer.data(), length);
    srb.CDBByte[0] = 0x55;
    srb.CDBByte[1] = 0x10;
    PutBig16(srb.CDBByte + 7, length);
    return Run(srb, Seconds(10));
}

bool TSCSICommands::ModeSense10(uint8_t PageCode, bool DefaultValues, void* Buffer, uint16_t AllocationLength) {
    const uint16_t length = Buffer ? AllocationLength : 0;
    std::fill_n(ScratchBuffer.begin(), length, 0);
    auto srb = Request(SRB_FLAGS_IN, 10, ScratchBuffer.data(), length);
    srb.CDBByte[0] = 0x5A;
    srb.CDBByte[2] = uint8_t((PageCode & 0x3F) | (DefaultValues ? 0x80 : 0x00));
    PutBig16(srb.CDBByte + 7, length);
    const bool done = Run(srb, Seconds(20));
    if (Buffer) std::memcpy(Buffer, ScratchBuffer.data(), length);
    return done;
}

bool TSCSICommands::CloseTrackSession(bool CloseTrack, bool Immediate, bool Finalize) {
    auto srb = Request(SRB_FLAGS_NONE, 10);
    srb.CDBByte[0] = 0x5B;
    srb.CDBByte[1] = Immediate ? 0x01 : 0x00;
    srb.CDBByte[2] = Finalize ? 0x05 : CloseTrack ? 0x01 : 0x02;
    srb.CDBByte[4] = 0;
    srb.CDBByte[5] = CloseTrack ? 0xFF : 0x00;
    return Run(srb, Seconds(180));
}

bool TSCSICommands::CloseTrackSessionEx(bool Immediate, uint8_t CloseFunction, uint8_t Byte3, uint8_t Byte4,
                                        uint8_t Byte5) {
    auto srb = Request(SRB_FLAGS_NONE, 10);
    srb.CDBByte[0] = 0x5B;
    srb.CDBByte[1] = Immediate ? 0x01 : 0x00;
    srb.CDBByte[2] = CloseFunction;
    srb.CDBByte[3] = Byte3;
    srb.CDBByte[4] = Byte4;
    srb.CDBByte[5] = Byte5;
    return Run(srb, Seconds(180));
}

bool TSCSICommands::ReadBufferCapacity(uint32_t& BufferLength, uint32_t& BlankLength) {
    alignas(8) uint8_t reply[BufferCapacityLength] = {};
    auto srb = Request(SRB_FLAGS_IN, 10, reply, sizeof reply);
    srb.CDBByte[0] = 0x5C;
    srb.CDBByte[8] = BufferCapacityLength;
    if (!Run(srb, Seconds(10))) {
        DeviceFreeBufferSize = 0;
        return false;
    }
    BufferLength = GetBig32(reply + 4);
    BlankLength = GetBig32(reply + 8);
    DeviceBufferSize = BufferLength;
    DeviceFreeBufferSize = BlankLength == 0xFFFFFFFF ? BufferLength : BlankLength;
    return true;
}

bool TSCSICommands::ReadBufferCapacity() {
    uint32_t length = 0, blank = 0;
    return ReadBufferCapacity(length, blank);
}

bool TSCSICommands::SendCueSheet(const void* Buffer, uint32_t Length) {
    const uint32_t length = Buffer ? std::min<uint32_t>(Length, 0xFFFFFF) : 0;
    auto srb = Request(SRB_FLAGS_OUT, 10, const_cast<void*>(Buffer), length);
    srb.CDBByte[0] = 0x5D;
    srb.CDBByte[6] = uint8_t(length >> 16);
    PutBig16(srb.CDBByte + 7, uint16_t(length));
    return Run(srb, Seconds(30));
}

bool TSCSICommands::Blank(uint8_t BlankingType) {
    auto srb = Request(SRB_FLAGS_NONE, 12);
    srb.CDBByte[0] = 0xA1;
    srb.CDBByte[1] = uint8_t((BlankingType & 0x07) + 0x10);
    return Run(srb, Seconds(4800), true);
}

bool TSCSICommands::SetStreaming(const void* ParameterList, uint16_t Length) {
    const uint16_t length = ParameterList ? Length : 0;
    auto srb = Request(SRB_FLAGS_OUT, 12, const_cast<void*>(ParameterList), length);
    srb.CDBByte[0] = 0xB6;
    PutBig16(srb.CDBByte + 9, length);
    return Run(srb, Seconds(10));
}

bool TSCSICommands::SetCDSpeed(uint16_t ReadSpeed, uint16_t WriteSpeed) {
    auto srb = Request(SRB_FLAGS_NONE, 12);
    srb.CDBByte[0] = 0xBB;
    PutBig16(srb.CDBByte + 2, ReadSpeed ? ReadSpeed : 0xFFFF);
    PutBig16(srb.CDBByte + 4, WriteSpeed ? WriteSpeed : 0xFFFF);
    return Run(srb, Seconds(10));
}

bool TSCSICommands::SendDVDStructure(uint8_t Format, const void* Buffer, uint16_t Length) {
    const uint16_t length = Buffer ? Length : 0;
    auto srb = Request(SRB_FLAGS_OUT, 12, const_cast<void*>(Buffer), length);
    srb.CDBByte[0] = 0xBF;
    srb.CDBByte[7] = Format;
    PutBig16(srb.CDBByte + 8, length);
    return Run(srb, Seconds(10));
}

// The descriptor covers the disc from its start to EndLBA, so the area being
// written is always inside it.
bool TSCSICommands::SetStreamingSpeed(uint32_t /*StartLBA*/, uint32_t EndLBA, uint32_t ReadSize,
                                      uint32_t WriteSize, uint32_t ReadTime, uint32_t WriteTime) {
    alignas(8) uint8_t descriptor[PerformanceDescriptorSize] = {};
    PutBig32(descriptor + 4, 0);
    PutBig32(descriptor + 8, EndLBA);
    PutBig32(descriptor + 12, ReadSize);
    PutBig32(descriptor + 16, ReadTime);
    PutBig32(descriptor + 20, WriteSize);
    PutBig32(descriptor + 24, WriteTime);
    return SetStreaming(descriptor, sizeof descriptor);
}

bool TSCSICommands::SendDVDTimeStamp(const std::tm& LocalTime) {
    alignas(8) uint8_t stamp[TimeStampSize + 1] = {};
    PutBig16(stamp, 0x0014);
    std::snprintf(reinterpret_cast<char*>(stamp + 8), 15, "%04d%02d%02d%02d%02d%02d",
                  std::clamp(LocalTime.tm_year + 1900, 0, 9999), std::clamp(LocalTime.tm_mon + 1, 1, 12),
                  std::clamp(LocalTime.tm_mday, 1, 31), std::clamp(LocalTime.tm_hour, 0, 23),
                  std::clamp(LocalTime.tm_min, 0, 59), std::clamp(LocalTime.tm_sec, 0, 59));
    return SendDVDStructure(0x0F, stamp, TimeStampSize);
}

}  // namespace kestrel
