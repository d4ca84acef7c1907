#pragma once
// ASPI request blocks as exchanged between Kestrel's device layer and a
// run-time loaded access library (the virtual recorder's libkestrel-vdrive.so).
//
// Field order and codes are those of ASPI for Win32. Two fields hold
// addresses and are pointer-sized here, because a 64-bit process cannot put
// an address into 32 bits:
//   * SRB_BufPointer, the data buffer;
//   * SRB_PostProc, which with SRB_EVENT_NOTIFY carries a Linux eventfd
//     descriptor (not a Win32 event). The library writes the 8-byte value 1
//     to it when a pending request completes; the caller waits on it with
//     poll() and a time-out, then reads it to reset it. The library signals
//     BEFORE it stores the final status byte and touches the block no more
//     after that store: from then on the block (and the eventfd) belong to
//     the caller, who may close or free them at once.
// Everything else keeps the ASPI offsets as far as the pointer fields allow;
// the static_asserts below pin the layout for this ABI.
//
// This header is shared by the library and the device layer and includes
// nothing of either.
#include <cstddef>
#include <cstdint>

extern "C" {

// Command codes (byte 0).
enum : uint8_t {
    SC_HA_INQUIRY = 0x00,
    SC_GET_DEV_TYPE = 0x01,
    SC_EXEC_SCSI_CMD = 0x02,
    SC_ABORT_SRB = 0x03,
    SC_RESET_DEV = 0x04,
    SC_GET_DISK_INFO = 0x06,
};

// Status codes (byte 1 and the return value of SendASPI32Command).
enum : uint8_t {
    SS_PENDING = 0x00,
    SS_COMP = 0x01,
    SS_ABORTED = 0x02,
    SS_ABORT_FAIL = 0x03,
    SS_ERR = 0x04,
    SS_INVALID_CMD = 0x80,
    SS_INVALID_HA = 0x81,
    SS_NO_DEVICE = 0x82,
    SS_INVALID_SRB = 0xE0,
    SS_BUFFER_ALIGN = 0xE1,
    SS_ILLEGAL_MODE = 0xE2,
    SS_NO_ASPI = 0xE3,
    SS_FAILED_INIT = 0xE4,
    SS_ASPI_IS_BUSY = 0xE5,
    SS_BUFFER_TO_BIG = 0xE6,
    SS_NO_ADAPTERS = 0xE8,
};

// Flags (byte 3).
enum : uint8_t {
    SRB_POSTING = 0x01,
    SRB_ENABLE_RESIDUAL_COUNT = 0x04,
    SRB_DIR_IN = 0x08,
    SRB_DIR_OUT = 0x10,
    SRB_EVENT_NOTIFY = 0x40,
};

// Target status values reported in SRB_TargStat.
enum : uint8_t {
    STATUS_GOOD = 0x00,
    STATUS_CHKCOND = 0x02,
    STATUS_BUSY = 0x08,
};

// Peripheral device types (get device type, INQUIRY byte 0).
enum : uint8_t {
    DTYPE_WORM = 0x04,
    DTYPE_CDROM = 0x05,
    DTYPE_UNKNOWN = 0x1F,
};

constexpr int SENSE_LEN = 14;          // sense bytes asked for by default
constexpr int SRB_SENSE_AREA = 33;     // bytes in the sense area of an execute block

struct SRB_Header {
    uint8_t SRB_Cmd;       // 0
    uint8_t SRB_Status;    // 1
    uint8_t SRB_HaId;      // 2
    uint8_t SRB_Flags;     // 3
    uint32_t SRB_Hdr_Rsvd; // 4..7
};

// Command 0: host adapter inquiry.
struct SRB_HAInquiry {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t HA_Count;         // 8
    uint8_t HA_SCSI_ID;       // 9
    char HA_ManagerId[16];    // 10..25
    char HA_Identifier[16];   // 26..41
    uint8_t HA_Unique[16];    // 42..57: alignment mask (2), -, max targets, max transfer (4, LE)
    uint16_t HA_Rsvd1;        // 58..59
};

// Command 1: get device type.
struct SRB_GDEVBlock {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;       // 8
    uint8_t SRB_Lun;          // 9
    uint8_t SRB_DeviceType;   // 10
    uint8_t SRB_Rsvd1;        // 11
};

// Command 2: execute SCSI command. Zero it before every use.
struct SRB_ExecSCSICmd {
    uint8_t SRB_Cmd;          // 0
    uint8_t SRB_Status;       // 1
    uint8_t SRB_HaId;         // 2
    uint8_t SRB_Flags;        // 3
    uint32_t SRB_Hdr_Rsvd;    // 4..7
    uint8_t SRB_Target;       // 8
    uint8_t SRB_Lun;          // 9
    uint16_t SRB_Rsvd1;       // 10..11
    uint32_t SRB_BufLen;      // 12..15: data length
    void* SRB_BufPointer;     // 16: data buffer (pointer-sized)
    uint8_t SRB_SenseLen;     // sense length requested
    uint8_t SRB_CDBLen;       // CDB length
    uint8_t SRB_HaStat;       // host adapter status
    uint8_t SRB_TargStat;     // target status (00h good, 02h check condition, 08h busy)
    uint32_t SRB_Rsvd1b;      // keeps the next field aligned
    intptr_t SRB_PostProc;    // eventfd descriptor with SRB_EVENT_NOTIFY (pointer-sized)
    uint8_t SRB_Rsvd2[20];    // reserved
    uint8_t CDBByte[16];      // the CDB
    uint8_t SenseArea[SRB_SENSE_AREA];  // fixed-format sense data
};

// Command 3: abort a pending SRB.
struct SRB_Abort {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    void* SRB_ToAbort;        // 8: the execute block to abort (pointer-sized)
};

// Command 6: get disk information.
struct SRB_GetDiskInfo {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;       // 8
    uint8_t SRB_Lun;          // 9
    uint8_t SRB_DriveFlags;   // 10
    uint8_t SRB_Int13HDriveInfo;  // 11
    uint8_t SRB_Heads;
    uint8_t SRB_Sectors;
    uint8_t SRB_Rsvd1[10];
};

// Entry points of an access library. GetASPI32SupportInfo: low byte the
// adapter count, second byte a status (SS_COMP, or SS_NO_ADAPTERS).
typedef uint32_t (*PFN_GetASPI32SupportInfo)(void);
typedef uint32_t (*PFN_SendASPI32Command)(void* Srb);
// Optional export: a display name for (adapter, target, lun), such as
// "vdrive0"; writes at most Size bytes including the NUL and returns the
// length, or -1 when there is no such drive.
typedef int (*PFN_KestrelDriveName)(uint8_t HaId, uint8_t Target, uint8_t Lun, char* Name, int Size);
// Optional exports: the exclusive hold of a drive, what opening its device
// node with O_EXCL is to a program on Linux. KestrelHoldDrive returns
// KESTREL_HOLD_TAKEN and stores a token in Hold when the caller now holds the
// drive, KESTREL_HOLD_BUSY while another holder (in this or any process,
// through this library or the node) has it, KESTREL_HOLD_NO_DRIVE when there
// is no such drive. KestrelReleaseDrive gives a hold back; a hold also lapses
// when its process ends. Holding keeps other holders off; it does not refuse
// commands, just as plain opens of a held node still work.
enum : int { KESTREL_HOLD_TAKEN = 0, KESTREL_HOLD_BUSY = 1, KESTREL_HOLD_NO_DRIVE = -1 };
typedef int (*PFN_KestrelHoldDrive)(uint8_t HaId, uint8_t Target, uint8_t Lun, uint64_t* Hold);
typedef void (*PFN_KestrelReleaseDrive)(uint8_t HaId, uint8_t Target, uint8_t Lun, uint64_t Hold);

}  // extern "C"

static_assert(sizeof(void*) == 8 || sizeof(void*) == 4, "unsupported pointer size");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 8);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 16 + sizeof(void*));
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) % sizeof(void*) == 0);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) - offsetof(SRB_ExecSCSICmd, CDBByte) == 16);
static_assert(offsetof(SRB_HAInquiry, HA_Count) == 8);
static_assert(offsetof(SRB_HAInquiry, HA_ManagerId) == 10);
static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26);
static_assert(offsetof(SRB_HAInquiry, HA_Unique) == 42);
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 10);
static_assert(offsetof(SRB_Abort, SRB_ToAbort) == 8);
static_assert(offsetof(SRB_GetDiskInfo, SRB_Int13HDriveInfo) == 11);
