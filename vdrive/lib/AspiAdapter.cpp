#include "AspiAdapter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "SrbCompletion.h"

namespace vdrive {
namespace {

constexpr char ManagerId[] = "KESTREL VDRIVE  ";
constexpr char AdapterId[] = "VDRIVE 0        ";

bool AsyncKnob() {
    const char* v = std::getenv("KESTREL_VDRIVE_ASYNC");
    return v && std::strcmp(v, "1") == 0;
}

Direction DirectionOf(uint8_t Flags) {
    if (Flags & SRB_DIR_IN) return Direction::In;
    if (Flags & SRB_DIR_OUT) return Direction::Out;
    return Direction::None;
}

template <typename Block>
uint8_t Publish(Block& Srb, uint8_t Status) {
    Srb.SRB_Status = Status;
    return Status;
}

}  // namespace

AspiAdapter& AspiAdapter::Instance() {
    static AspiAdapter adapter;
    return adapter;
}

std::shared_ptr<DriveSet> AspiAdapter::Drives() {
    const std::string dir = DriveSet::DefaultStateDir();
    std::lock_guard lock(mutex_);
    if (drives_ && dir == stateDir_) return drives_;
    drives_.reset();
    stateDir_ = dir;
    try {
        drives_ = DriveSet::Open(dir);
        lastError_.clear();
    } catch (const std::exception& e) {
        if (lastError_ != e.what()) {
            lastError_ = e.what();
            std::fprintf(stderr, "libkestrel-vdrive: %s\n", e.what());
        }
    }
    return drives_;
}

int AspiAdapter::DriveAt(const DriveSet& Set, uint8_t HaId, uint8_t Target, uint8_t Lun) const {
    const int count = std::min(Set.Count(), MaxTargets);
    if (HaId != 0 || Lun != 0 || Target >= count) return -1;
    return Target;
}

uint32_t AspiAdapter::SupportInfo() {
    if (!Drives()) return uint32_t{SS_NO_ADAPTERS} << 8;
    return (uint32_t{SS_COMP} << 8) | 1u;
}

uint32_t AspiAdapter::Send(void* Srb) {
    if (!Srb) return SS_ERR;
    auto& header = *static_cast<SRB_Header*>(Srb);
    switch (header.SRB_Cmd) {
    case SC_HA_INQUIRY: return HostAdapterInquiry(*static_cast<SRB_HAInquiry*>(Srb));
    case SC_GET_DEV_TYPE: return GetDeviceType(*static_cast<SRB_GDEVBlock*>(Srb));
    case SC_EXEC_SCSI_CMD: return Execute(*static_cast<SRB_ExecSCSICmd*>(Srb));
    case SC_ABORT_SRB: return AbortRequest(*static_cast<SRB_Abort*>(Srb));
    case SC_GET_DISK_INFO: return GetDiskInfo(*static_cast<SRB_GetDiskInfo*>(Srb));
    default: return Publish(header, SS_INVALID_CMD);
    }
}

uint8_t AspiAdapter::HostAdapterInquiry(SRB_HAInquiry& Srb) {
    const bool present = Drives() != nullptr;
    Srb.HA_Count = present ? 1 : 0;
    if (!present || Srb.SRB_HaId != 0) return Publish(Srb, SS_INVALID_HA);
    Srb.HA_SCSI_ID = 7;
    std::memcpy(Srb.HA_ManagerId, ManagerId, sizeof Srb.HA_ManagerId);
    std::memcpy(Srb.HA_Identifier, AdapterId, sizeof Srb.HA_Identifier);
    std::memset(Srb.HA_Unique, 0, sizeof Srb.HA_Unique);
    Srb.HA_Unique[0] = 0;  // any buffer alignment will do
    Srb.HA_Unique[3] = MaxTargets;
    for (int i = 0; i < 4; ++i) Srb.HA_Unique[4 + i] = static_cast<uint8_t>(MaxTransfer >> (8 * i));
    return Publish(Srb, SS_COMP);
}

uint8_t AspiAdapter::GetDeviceType(SRB_GDEVBlock& Srb) {
    Srb.SRB_DeviceType = DTYPE_UNKNOWN;
    auto set = Drives();
    if (!set) return Publish(Srb, SS_INVALID_HA);
    const int drive = DriveAt(*set, Srb.SRB_HaId, Srb.SRB_Target, Srb.SRB_Lun);
    if (drive < 0) return Publish(Srb, Srb.SRB_HaId != 0 ? SS_INVALID_HA : SS_NO_DEVICE);
    // The peripheral type is the drive model's own: ask its INQUIRY.
    const uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
    uint8_t data[36] = {};
    const CommandReply reply = set->Execute(drive, inquiry, sizeof inquiry, data, sizeof data, Direction::In);
    Srb.SRB_DeviceType = reply.status == STATUS_GOOD ? (data[0] & 0x1F) : DTYPE_CDROM;
    return Publish(Srb, SS_COMP);
}

uint8_t AspiAdapter::Execute(SRB_ExecSCSICmd& Srb) {
    auto set = Drives();
    if (!set) return Publish(Srb, SS_INVALID_HA);
    const int drive = DriveAt(*set, Srb.SRB_HaId, Srb.SRB_Target, Srb.SRB_Lun);
    if (drive < 0) return Publish(Srb, Srb.SRB_HaId != 0 ? SS_INVALID_HA : SS_NO_DEVICE);
    const uint8_t dirFlags = Srb.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT);
    const bool wantsEvent = Srb.SRB_Flags & SRB_EVENT_NOTIFY;
    if (Srb.SRB_CDBLen == 0 || Srb.SRB_CDBLen > sizeof Srb.CDBByte || dirFlags == (SRB_DIR_IN | SRB_DIR_OUT) ||
        (dirFlags && Srb.SRB_BufLen > 0 && !Srb.SRB_BufPointer) || (wantsEvent && Srb.SRB_PostProc <= 0)) {
        return Publish(Srb, SS_INVALID_SRB);
    }
    if (Srb.SRB_BufLen > MaxTransfer) return Publish(Srb, SS_BUFFER_TO_BIG);

    Srb.SRB_HaStat = 0;
    Srb.SRB_TargStat = 0;
    PublishSrbStatus(Srb, SS_PENDING);
    const Direction dir = DirectionOf(Srb.SRB_Flags);
    auto* data = dir == Direction::None ? nullptr : static_cast<uint8_t*>(Srb.SRB_BufPointer);
    const size_t len = dir == Direction::None ? 0 : Srb.SRB_BufLen;
    std::vector<uint8_t> cdb(Srb.CDBByte, Srb.CDBByte + Srb.SRB_CDBLen);

    if (AsyncKnob()) {
        pending_.Submit(
            drive, Srb,
            [set, drive, cdb = std::move(cdb), len, dir](uint8_t* Data) {
                return set->Execute(drive, cdb.data(), cdb.size(), Data, len, dir);
            },
            dir, data, len);
        return SS_PENDING;
    }
    CommandReply reply;
    try {
        reply = set->Execute(drive, cdb.data(), cdb.size(), data, len, dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "libkestrel-vdrive: vdrive%d failed: %s\n", drive, e.what());
        reply = InternalFailure();
    }
    if (reply.delayMs == 0) return CompleteExecSrb(Srb, reply);
    // The drive asks for a late completion: the worker reports it.
    pending_.Submit(drive, Srb, [reply](uint8_t*) { return reply; });
    return SS_PENDING;
}

uint8_t AspiAdapter::AbortRequest(SRB_Abort& Srb) {
    if (Srb.SRB_HaId != 0) return Publish(Srb, SS_INVALID_HA);
    return Publish(Srb, pending_.Abort(Srb.SRB_ToAbort) ? SS_COMP : SS_ABORT_FAIL);
}

// Virtual drives have no BIOS drive number; the caller names them through
// KestrelDriveName instead.
uint8_t AspiAdapter::GetDiskInfo(SRB_GetDiskInfo& Srb) {
    auto set = Drives();
    if (!set) return Publish(Srb, SS_INVALID_HA);
    if (DriveAt(*set, Srb.SRB_HaId, Srb.SRB_Target, Srb.SRB_Lun) < 0) {
        return Publish(Srb, Srb.SRB_HaId != 0 ? SS_INVALID_HA : SS_NO_DEVICE);
    }
    Srb.SRB_DriveFlags = 0;
    Srb.SRB_Int13HDriveInfo = 0xFF;
    return Publish(Srb, SS_ERR);
}

int AspiAdapter::DriveName(uint8_t HaId, uint8_t Target, uint8_t Lun, char* Name, int Size) {
    auto set = Drives();
    if (!set) return -1;
    const int drive = DriveAt(*set, HaId, Target, Lun);
    if (drive < 0) return -1;
    const std::string name = set->DriveName(drive);
    if (Name && Size > 0) std::snprintf(Name, static_cast<size_t>(Size), "%s", name.c_str());
    return static_cast<int>(name.size());
}

int AspiAdapter::HoldDrive(uint8_t HaId, uint8_t Target, uint8_t Lun, uint64_t* Hold) {
    auto set = Drives();
    if (!set || !Hold) return KESTREL_HOLD_NO_DRIVE;
    const int drive = DriveAt(*set, HaId, Target, Lun);
    if (drive < 0) return KESTREL_HOLD_NO_DRIVE;
    const uint64_t token = holds_.Take(set, drive);
    if (token == 0) return KESTREL_HOLD_BUSY;
    *Hold = token;
    return KESTREL_HOLD_TAKEN;
}

void AspiAdapter::ReleaseDrive(uint8_t HaId, uint8_t Target, uint8_t Lun, uint64_t Hold) {
    if (HaId != 0 || Lun != 0 || Target >= MaxTargets) return;
    holds_.Release(Target, Hold);
}

}  // namespace vdrive
