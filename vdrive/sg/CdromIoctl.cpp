// The cdrom driver's ioctls and the block-device queries on a virtual node,
// carried out with MMC commands on the drive.
#include <linux/cdrom.h>
#include <linux/fs.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

#include "DriveQueries.h"
#include "Errno.h"
#include "SgIoctl.h"
#include "VirtualDrives.h"

namespace vdrive::sg {
namespace {

constexpr uint32_t SectorSize = 2048;

template <typename T>
int Put(void* Arg, T Value) {
    if (!Arg) return FailWith(EFAULT);
    std::memcpy(Arg, &Value, sizeof Value);
    return 0;
}

int DriveStatus(int Drive) {
    switch (QueryMedium(Drive)) {
    case MediumState::Present: return CDS_DISC_OK;
    case MediumState::TrayOpen: return CDS_TRAY_OPEN;
    default: return CDS_NO_DISC;
    }
}

int DiscStatus(int Drive) {
    if (QueryMedium(Drive) != MediumState::Present) return CDS_NO_DISC;
    return ReadableSectors(Drive) > 0 ? CDS_DATA_1 : CDS_NO_INFO;
}

// The capability mask the cdrom driver derives from the capabilities page.
int Capabilities(int Drive) {
    int caps = CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MEDIA_CHANGED |
               CDC_GENERIC_PACKET | CDC_DRIVE_STATUS;
    const std::vector<uint8_t> page = CapabilitiesPage(Drive);
    if (page.size() < 4) return caps;
    const uint8_t reads = page[2], writes = page[3];
    if (writes & 0x01) caps |= CDC_CD_R;
    if (writes & 0x02) caps |= CDC_CD_RW;
    if (reads & 0x08) caps |= CDC_DVD;
    if (writes & 0x10) caps |= CDC_DVD_R;
    if (writes & 0x20) caps |= CDC_DVD_RAM;
    return caps;
}

int MultiSession(int Drive, cdrom_multisession* Ms) {
    if (!Ms) return FailWith(EFAULT);
    const auto start = LastSessionStart(Drive);
    if (!start) return FailWith(EIO);
    const uint8_t format = Ms->addr_format;
    if (format == CDROM_MSF) {
        const uint32_t frames = *start + 150;
        Ms->addr.msf.minute = static_cast<uint8_t>(frames / (60 * 75));
        Ms->addr.msf.second = static_cast<uint8_t>(frames / 75 % 60);
        Ms->addr.msf.frame = static_cast<uint8_t>(frames % 75);
    } else {
        Ms->addr.lba = static_cast<int>(*start);
        Ms->addr_format = CDROM_LBA;
    }
    Ms->xa_flag = *start > 0 ? 1 : 0;
    return 0;
}

int TocHeader(int Drive, cdrom_tochdr* Hdr) {
    if (!Hdr) return FailWith(EFAULT);
    const std::vector<uint8_t> toc = ReadToc(Drive, false);
    if (toc.size() < 4) return FailWith(EIO);
    Hdr->cdth_trk0 = toc[2];
    Hdr->cdth_trk1 = toc[3];
    return 0;
}

int TocEntry(int Drive, cdrom_tocentry* Entry) {
    if (!Entry) return FailWith(EFAULT);
    const bool msf = Entry->cdte_format == CDROM_MSF;
    const std::vector<uint8_t> toc = ReadToc(Drive, msf);
    for (size_t at = 4; at + 8 <= toc.size(); at += 8) {
        if (toc[at + 2] != Entry->cdte_track) continue;
        Entry->cdte_adr = toc[at + 1] >> 4;
        Entry->cdte_ctrl = toc[at + 1] & 0x0F;
        if (msf) {
            Entry->cdte_addr.msf.minute = toc[at + 5];
            Entry->cdte_addr.msf.second = toc[at + 6];
            Entry->cdte_addr.msf.frame = toc[at + 7];
        } else {
            Entry->cdte_addr.lba = static_cast<int>((uint32_t{toc[at + 4]} << 24) | (uint32_t{toc[at + 5]} << 16) |
                                                    (uint32_t{toc[at + 6]} << 8) | toc[at + 7]);
        }
        Entry->cdte_datamode = 1;
        return 0;
    }
    return FailWith(EINVAL);
}

// CDB length from the operation code's group, as the packet carries none.
size_t CdbLength(uint8_t Opcode) {
    if (Opcode < 0x20) return 6;
    if (Opcode < 0x60) return 10;
    return CDROM_PACKET_SIZE;
}

// The cdrom driver's packet interface, as growisofs uses it where SG_IO is
// missing.
int SendPacket(int Drive, cdrom_generic_command* Cgc) {
    if (!Cgc) return FailWith(EFAULT);
    Direction dir = Direction::None;
    if (Cgc->buflen > 0 && Cgc->buffer) {
        dir = Cgc->data_direction == CGC_DATA_WRITE ? Direction::Out
              : Cgc->data_direction == CGC_DATA_READ ? Direction::In
                                                      : Direction::None;
    }
    const CommandReply reply = VirtualDrives::Instance().Execute(
        Drive, Cgc->cmd, CdbLength(Cgc->cmd[0]), dir == Direction::None ? nullptr : Cgc->buffer,
        dir == Direction::None ? 0 : Cgc->buflen, dir);
    Cgc->stat = reply.status;
    if (reply.status == 0) return 0;
    if (Cgc->sense) std::memcpy(Cgc->sense, reply.sense, std::min(sizeof *Cgc->sense, sizeof reply.sense));
    return FailWith(EIO);
}

int Done(bool Ok) { return Ok ? 0 : FailWith(EIO); }

}  // namespace

bool CdromIoctl(FakeFile& File, unsigned long Request, void* Arg, int& Result) {
    const int drive = File.Drive;
    const auto value = reinterpret_cast<uintptr_t>(Arg);
    switch (Request) {
    case CDROM_DRIVE_STATUS: Result = DriveStatus(drive); return true;
    case CDROM_DISC_STATUS: Result = DiscStatus(drive); return true;
    case CDROM_GET_CAPABILITY: Result = Capabilities(drive); return true;
    case CDROM_MEDIA_CHANGED: Result = 0; return true;
    case CDROM_SET_OPTIONS:
    case CDROM_CLEAR_OPTIONS: Result = CDO_AUTO_CLOSE | CDO_AUTO_EJECT | CDO_USE_FFLAGS | CDO_LOCK; return true;
    case CDROM_LOCKDOOR: Result = Done(PreventRemoval(drive, value != 0)); return true;
    case CDROMEJECT: Result = Done(StartStop(drive, true, false)); return true;
    case CDROMCLOSETRAY: Result = Done(StartStop(drive, true, true)); return true;
    case CDROMSTART: Result = Done(StartStop(drive, false, true)); return true;
    case CDROMSTOP: Result = Done(StartStop(drive, false, false)); return true;
    case CDROMRESET: Result = 0; return true;
    case CDROM_SELECT_SPEED: Result = Done(SetReadSpeed(drive, value ? static_cast<uint16_t>(value * 177) : 0xFFFF)); return true;
    case CDROMMULTISESSION: Result = MultiSession(drive, static_cast<cdrom_multisession*>(Arg)); return true;
    case CDROMREADTOCHDR: Result = TocHeader(drive, static_cast<cdrom_tochdr*>(Arg)); return true;
    case CDROMREADTOCENTRY: Result = TocEntry(drive, static_cast<cdrom_tocentry*>(Arg)); return true;
    case CDROM_LAST_WRITTEN: {
        const uint32_t sectors = ReadableSectors(drive);
        Result = sectors ? Put<long>(Arg, sectors - 1) : FailWith(EIO);
        return true;
    }
    case CDROM_SEND_PACKET: Result = SendPacket(drive, static_cast<cdrom_generic_command*>(Arg)); return true;
    case BLKGETSIZE64: Result = Put<uint64_t>(Arg, uint64_t{ReadableSectors(drive)} * SectorSize); return true;
    case BLKGETSIZE: Result = Put<unsigned long>(Arg, uint64_t{ReadableSectors(drive)} * (SectorSize / 512)); return true;
    case BLKSSZGET:
    case BLKBSZGET:
    case BLKPBSZGET: Result = Put<int>(Arg, SectorSize); return true;
    case BLKROGET: Result = Put<int>(Arg, 0); return true;
    case BLKFLSBUF:
    case BLKRRPART: Result = 0; return true;
    default: return false;
    }
}

}  // namespace vdrive::sg
