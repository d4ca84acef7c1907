#include "burner/device/PassThroughLayer.h"

#include <fcntl.h>
#include <grp.h>
#include <scsi/scsi.h>
#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "burner/device/DriveHoldText.h"
#include "burner/device/MountTable.h"
#include "kestrel/aspi_srb.h"

namespace kestrel {
namespace {

constexpr int DefaultTimeoutMs = 120000;
constexpr int InquiryTimeoutMs = 10000;
constexpr uint8_t ManagerId[16] = {'K', 'E', 'S', 'T', 'R', 'E', 'L', ' ', 'S', 'G', '_', 'I', 'O', ' ', ' ', ' '};
// Host adapter status written when SG_IO reports the command timed out.
constexpr uint8_t HostStatusCommandTimeout = 0x09;
constexpr uint16_t SgHostTimedOut = 0x03;  // DID_TIME_OUT
constexpr uint16_t SgDriverSense = 0x08;   // DRIVER_SENSE

thread_local int CommandTimeoutMs = DefaultTimeoutMs;

// Opens a node read-write, else read-only (which then cannot write).
int OpenNode(const std::string& Path) {
    int fd = ::open(Path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return fd;
}

std::string GroupOf(const std::string& Path) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0) return "cdrom";
    char buffer[1024];
    struct group grp {};
    struct group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &grp, buffer, sizeof buffer, &found) == 0 && found) return found->gr_name;
    return std::to_string(st.st_gid);
}

// A synchronous SG_IO request. Returns false when the ioctl itself failed.
bool SendSgIo(int Fd, const uint8_t* Cdb, int CdbLength, int Direction, void* Data, uint32_t DataLength,
              uint8_t* Sense, int SenseLength, int TimeoutMs, sg_io_hdr_t& Header) {
    std::memset(&Header, 0, sizeof Header);
    Header.interface_id = 'S';
    Header.dxfer_direction = Direction;
    Header.cmd_len = uint8_t(CdbLength);
    Header.cmdp = const_cast<uint8_t*>(Cdb);
    Header.dxferp = DataLength ? Data : nullptr;
    Header.dxfer_len = Data ? DataLength : 0;
    Header.sbp = Sense;
    Header.mx_sb_len = uint8_t(SenseLength);
    Header.timeout = unsigned(std::max(TimeoutMs, 1000));
    return Fd >= 0 && ::ioctl(Fd, SG_IO, &Header) == 0;
}

bool Succeeded(const sg_io_hdr_t& Header) {
    return Header.status == 0 && Header.host_status == 0 && (Header.driver_status & ~SgDriverSense) == 0;
}

struct TScsiAddress {
    int Host = -1, Target = -1, Lun = -1;
};

TScsiAddress AddressOf(int Fd) {
    TScsiAddress address;
    struct {
        int FourInOne;
        int HostUniqueId;
    } idlun{};
    if (::ioctl(Fd, SCSI_IOCTL_GET_IDLUN, &idlun) == 0) {
        address.Target = idlun.FourInOne & 0xFF;
        address.Lun = (idlun.FourInOne >> 8) & 0xFF;
        address.Host = (idlun.FourInOne >> 24) & 0xFF;
        return address;
    }
    struct sg_scsi_id id {};
    if (::ioctl(Fd, SG_GET_SCSI_ID, &id) == 0) {
        address.Host = id.host_no;
        address.Target = id.scsi_id;
        address.Lun = id.lun;
    }
    return address;
}

// An address the device scan can reach: adapters below FEh, targets and
// LUNs 0..7. Others are treated as drives without an address.
bool Reachable(const TScsiAddress& A) {
    return A.Host >= 0 && A.Host < 0xFE && A.Target >= 0 && A.Target < 8 && A.Lun >= 0 && A.Lun < 8;
}

}  // namespace

TPassThroughLayer& TPassThroughLayer::Instance() {
    static TPassThroughLayer layer;
    return layer;
}

std::string TPassThroughLayer::NodePath(int Index) const { return Prefix + std::to_string(Index); }

void TPassThroughLayer::SetNodePrefix(const std::string& NewPrefix) {
    std::lock_guard lock(Guard);
    Prefix = NewPrefix;
}

void TPassThroughLayer::SetCommandTimeout(int TimeoutMs) { CommandTimeoutMs = TimeoutMs; }

void TPassThroughLayer::SetCloseAfterCommand(bool Value) {
    std::lock_guard lock(Guard);
    CloseAfter = Value;
}

bool TPassThroughLayer::CloseAfterCommand() const {
    std::lock_guard lock(Guard);
    return CloseAfter;
}

bool TPassThroughLayer::Initialized() const {
    std::lock_guard lock(Guard);
    return IsInitialized;
}

uint8_t TPassThroughLayer::AdapterCount() const {
    std::lock_guard lock(Guard);
    return Adapters;
}

int TPassThroughLayer::NoAddressCount() const {
    std::lock_guard lock(Guard);
    return NoAddress;
}

int TPassThroughLayer::Initialize(const TLog& Log) {
    std::lock_guard lock(Guard);
    if (IsInitialized) return 0;
    NoAddress = 0;
    DriveTable = {};
    int found = 0;
    for (int index = 0; index < PASS_THROUGH_NODES; ++index)
        if (Probe(index, Log)) ++found;
    RecountAdapters();
    if (NoAddress) {
        ResolveAddressless();
        RecountAdapters();
    }
    IsInitialized = true;
    return found;
}

bool TPassThroughLayer::Probe(int Index, const TLog& Log) {
    const std::string path = NodePath(Index);
    const int fd = OpenNode(path);
    if (fd < 0) {
        if ((errno == EACCES || errno == EPERM) && Log)
            Log("CANNOT OPEN " + path + ": PERMISSION DENIED; ADD THE USER TO THE GROUP \"" + GroupOf(path) +
                "\" (usermod -aG " + GroupOf(path) + " $USER) AND LOG IN AGAIN");
        return false;
    }
    const uint8_t cdb[6] = {0x12, 0, 0, 0, 96, 0};
    uint8_t data[1025] = {};
    uint8_t sense[24] = {};
    sg_io_hdr_t header;
    if (!SendSgIo(fd, cdb, 6, SG_DXFER_FROM_DEV, data, 96, sense, sizeof sense, InquiryTimeoutMs, header) ||
        !Succeeded(header)) {
        ::close(fd);
        return false;
    }
    TDriveEntry& entry = DriveTable[Index];
    std::copy_n(data, entry.Inquiry.size(), entry.Inquiry.begin());
    const TScsiAddress address = AddressOf(fd);
    ::close(fd);
    entry.InUse = true;
    entry.NodeIndex = uint8_t(Index);
    entry.Handle = -1;
    if (Reachable(address)) {
        entry.HaId = uint8_t(address.Host);
        entry.Target = uint8_t(address.Target);
        entry.Lun = uint8_t(address.Lun);
    } else {
        entry.HaId = 0;
        entry.Target = uint8_t(NoAddress++);
        entry.Lun = NO_ADDRESS_LUN;
    }
    return true;
}

void TPassThroughLayer::RecountAdapters() {
    int highest = -1;
    for (const auto& entry : DriveTable)
        if (entry.InUse) highest = std::max<int>(highest, entry.HaId);
    Adapters = uint8_t(highest + 1);
}

// Drives without an address become one adapter after the real ones, their
// targets numbered in node order.
void TPassThroughLayer::ResolveAddressless() {
    for (auto& entry : DriveTable) {
        if (entry.InUse && entry.Lun == NO_ADDRESS_LUN) {
            entry.Lun = 0;
            entry.HaId = Adapters;
        }
    }
}

void TPassThroughLayer::Shutdown() {
    std::lock_guard lock(Guard);
    if (!IsInitialized) return;
    for (auto& entry : DriveTable) {
        if (entry.InUse && entry.Handle >= 0) ::close(entry.Handle);
        if (entry.InUse && entry.ExclusiveHandle >= 0) ::close(entry.ExclusiveHandle);
    }
    DriveTable = {};
    Adapters = 0;
    NoAddress = 0;
    IsInitialized = false;
}

TDriveEntry* TPassThroughLayer::Find(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    for (auto& entry : DriveTable)
        if (entry.InUse && entry.HaId == HaId && entry.Target == Target && entry.Lun == Lun) return &entry;
    return nullptr;
}

const TDriveEntry* TPassThroughLayer::Find(uint8_t HaId, uint8_t Target, uint8_t Lun) const {
    return const_cast<TPassThroughLayer*>(this)->Find(HaId, Target, Lun);
}

std::string TPassThroughLayer::DriveNode(uint8_t HaId, uint8_t Target, uint8_t Lun) const {
    std::lock_guard lock(Guard);
    const TDriveEntry* entry = Find(HaId, Target, Lun);
    return entry ? NodePath(entry->NodeIndex) : std::string();
}

std::string TPassThroughLayer::HoldExclusive(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    std::lock_guard lock(Guard);
    TDriveEntry* entry = Find(HaId, Target, Lun);
    if (!entry) return "NO DRIVE AT " + std::to_string(HaId) + ":" + std::to_string(Target) + ":" + std::to_string(Lun);
    const std::string path = NodePath(entry->NodeIndex);
    if (entry->ExclusiveHandle >= 0) return DriveBusyHereText(path);
    // A descriptor of its own: commands keep using the shared one, so
    // holding and releasing never pulls a descriptor from under a command.
    const int fd = ::open(path.c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EBUSY) {
            if (const auto mountPoint = FindMountPoint(path)) return MountedDiscText(path, *mountPoint);
            return DriveInUseText(path) + " OR ITS DISC IS MOUNTED";
        }
        return "CANNOT OPEN " + path + " EXCLUSIVELY: " + std::strerror(errno);
    }
    entry->ExclusiveHandle = fd;
    return {};
}

void TPassThroughLayer::ReleaseExclusive(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    std::lock_guard lock(Guard);
    TDriveEntry* entry = Find(HaId, Target, Lun);
    if (!entry || entry->ExclusiveHandle < 0) return;
    ::close(entry->ExclusiveHandle);
    entry->ExclusiveHandle = -1;
}

uint32_t TPassThroughLayer::GetASPI32SupportInfo() const {
    std::lock_guard lock(Guard);
    if (Adapters > 0) return uint32_t(SS_COMP) << 8 | Adapters;
    return uint32_t(SS_NO_ADAPTERS) << 8;
}

uint32_t TPassThroughLayer::SendASPI32Command(void* Srb) {
    if (!Srb) return SS_ERR;
    auto* header = static_cast<SRB_Header*>(Srb);
    switch (header->SRB_Cmd) {
        case SC_HA_INQUIRY: return HostAdapterInquiry(Srb);
        case SC_GET_DEV_TYPE: return GetDeviceType(Srb);
        case SC_EXEC_SCSI_CMD: return Execute(Srb);
        case SC_GET_DISK_INFO: header->SRB_Status = SS_PENDING; return SS_ERR;
        default: header->SRB_Status = SS_ERR; return SS_ERR;
    }
}

uint32_t TPassThroughLayer::HostAdapterInquiry(void* Srb) const {
    std::lock_guard lock(Guard);
    auto* inquiry = static_cast<SRB_HAInquiry*>(Srb);
    inquiry->HA_Count = Adapters;
    if (inquiry->SRB_HaId >= Adapters) {
        inquiry->SRB_Status = SS_INVALID_HA;
        return SS_INVALID_HA;
    }
    inquiry->HA_SCSI_ID = 7;
    std::memcpy(inquiry->HA_ManagerId, ManagerId, sizeof ManagerId);
    std::memset(inquiry->HA_Identifier, 0, sizeof inquiry->HA_Identifier);
    const std::string identifier = "SPTI " + std::to_string(inquiry->SRB_HaId);
    std::memcpy(inquiry->HA_Identifier, identifier.data(), identifier.size());
    std::memset(inquiry->HA_Unique, 0, sizeof inquiry->HA_Unique);
    inquiry->HA_Unique[0] = 0x07;  // buffer alignment mask
    inquiry->HA_Unique[3] = 8;     // targets
    const uint32_t maxTransfer = 0x00FF0000;
    std::memcpy(inquiry->HA_Unique + 4, &maxTransfer, 4);  // little-endian on this platform
    inquiry->SRB_Status = SS_COMP;
    return SS_COMP;
}

uint32_t TPassThroughLayer::GetDeviceType(void* Srb) const {
    std::lock_guard lock(Guard);
    auto* block = static_cast<SRB_GDEVBlock*>(Srb);
    const bool found = Find(block->SRB_HaId, block->SRB_Target, block->SRB_Lun) != nullptr;
    block->SRB_DeviceType = found ? DTYPE_CDROM : DTYPE_UNKNOWN;
    block->SRB_Status = found ? SS_COMP : SS_NO_DEVICE;
    return block->SRB_Status;
}

uint32_t TPassThroughLayer::Execute(void* Srb) {
    auto* exec = static_cast<SRB_ExecSCSICmd*>(Srb);
    int fd = -1;
    {
        std::lock_guard lock(Guard);
        TDriveEntry* entry = Find(exec->SRB_HaId, exec->SRB_Target, exec->SRB_Lun);
        if (!entry) return exec->SRB_Status = SS_NO_DEVICE;
        if (exec->CDBByte[0] == 0x12) {
            // INQUIRY is answered from the data captured at scan time.
            if (exec->SRB_HaId >= Adapters) return exec->SRB_Status = SS_INVALID_HA;
            if (exec->SRB_BufPointer)
                std::memcpy(exec->SRB_BufPointer, entry->Inquiry.data(), std::min<uint32_t>(36, exec->SRB_BufLen));
            return exec->SRB_Status = SS_COMP;
        }
        if (entry->Handle < 0) entry->Handle = OpenNode(NodePath(entry->NodeIndex));
        fd = entry->Handle;
    }
    const int direction = (exec->SRB_Flags & SRB_DIR_IN)    ? SG_DXFER_FROM_DEV
                          : (exec->SRB_Flags & SRB_DIR_OUT) ? SG_DXFER_TO_DEV
                                                            : SG_DXFER_NONE;
    const int cdbLength = std::clamp<int>(exec->SRB_CDBLen, 6, 16);
    const int senseLength = std::min<int>(exec->SRB_SenseLen, 32);
    uint8_t sense[32] = {};
    sg_io_hdr_t header;
    const bool sent = SendSgIo(fd, exec->CDBByte, cdbLength, direction, exec->SRB_BufPointer, exec->SRB_BufLen, sense,
                               senseLength, CommandTimeoutMs, header);
    if (sent && (exec->SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) && direction != SG_DXFER_NONE)
        exec->SRB_BufLen = uint32_t(std::clamp<int>(header.resid, 0, int(std::min<uint32_t>(exec->SRB_BufLen, INT32_MAX))));
    if (sent && Succeeded(header)) {
        exec->SRB_Status = SS_COMP;
    } else {
        exec->SRB_Status = SS_ERR;
        if (sent) {
            const int copied = std::min<int>({senseLength, header.sb_len_wr, SRB_SENSE_AREA});
            std::memcpy(exec->SenseArea, sense, size_t(std::max(copied, 0)));
            exec->SRB_TargStat = header.status;
            if (header.host_status == SgHostTimedOut) exec->SRB_HaStat = HostStatusCommandTimeout;
        }
    }
    std::lock_guard lock(Guard);
    if (CloseAfter) {
        TDriveEntry* entry = Find(exec->SRB_HaId, exec->SRB_Target, exec->SRB_Lun);
        if (entry && entry->Handle >= 0 && ::close(entry->Handle) == 0) entry->Handle = -1;
    }
    return exec->SRB_Status;
}

uint32_t PassThroughSendASPI32Command(void* Srb) { return TPassThroughLayer::Instance().SendASPI32Command(Srb); }
uint32_t PassThroughGetASPI32SupportInfo() { return TPassThroughLayer::Instance().GetASPI32SupportInfo(); }

}  // namespace kestrel
