#pragma once
// The El Torito boot catalog and the boot information table on the disc:
// field offsets and values, named once for the writer and for everything
// that reads a catalog back.
//
// The catalog is one sector of 32-byte entries: the validation entry, the
// default entry, then any further sections, each a section header followed
// by its section entries. The validation entry's platform is the default
// entry's platform.
#include <cstddef>
#include <cstdint>

namespace kestrel::iso::eltorito {

constexpr size_t EntrySize = 32;

// Platform identifiers of the validation entry and of section headers.
enum TPlatform : uint8_t { ptX86 = 0x00, ptEfi = 0xEF };

// Boot media types of a boot entry.
enum TMedia : uint8_t {
    bmNoEmulation = 0,
    bmDiskette12 = 1,
    bmDiskette144 = 2,
    bmDiskette288 = 3,
    bmHardDisk = 4,
};

// Validation entry.
namespace validation {
constexpr size_t HeaderId = 0;   // 01h
constexpr size_t Platform = 1;
constexpr size_t IdString = 4;   // 24 bytes, zero-padded
constexpr size_t IdStringSize = 24;
constexpr size_t Checksum = 28;  // little-endian: the entry's sixteen words sum to 0
constexpr size_t Key55 = 30;
constexpr size_t KeyAA = 31;
constexpr uint8_t HeaderIdValue = 0x01;
}  // namespace validation

// Default entry and section entries.
namespace entry {
constexpr size_t Indicator = 0;    // 88h bootable
constexpr size_t Media = 1;
constexpr size_t LoadSegment = 2;  // little-endian; 0 stands for 07C0h
constexpr size_t SystemType = 4;
constexpr size_t SectorCount = 6;  // little-endian, in 512-byte units
constexpr size_t LoadRba = 8;      // little-endian sector address
constexpr size_t SelectionCriteria = 12;  // section entries only
constexpr uint8_t Bootable = 0x88;
}  // namespace entry

// Section header.
namespace section {
constexpr size_t Indicator = 0;  // 90h, or 91h for the last header
constexpr size_t Platform = 1;
constexpr size_t EntryCount = 2;  // little-endian
constexpr size_t IdString = 4;    // 28 bytes
constexpr uint8_t MoreFollow = 0x90;
constexpr uint8_t Final = 0x91;
}  // namespace section

// The boot information table a no-emulation boot loader may ask for, laid
// over bytes 8-63 of the loader's copy in the image.
namespace infotable {
constexpr size_t Offset = 8;
constexpr size_t Size = 56;
constexpr size_t PrimaryVolumeLba = 8;  // little-endian, offsets within the file
constexpr size_t FileLba = 12;
constexpr size_t FileLength = 16;
constexpr size_t Checksum = 20;         // 32-bit sum of the file's little-endian words from byte 64
constexpr size_t ChecksumFrom = 64;
}  // namespace infotable

// The traditional load segment of a BIOS boot sector. An entry's load
// segment field of 0 means this segment, and 0 is what mastering tools
// write for it.
constexpr uint16_t DefaultLoadSegment = 0x07C0;
// Load size of a no-emulation entry when none is asked for: four 512-byte
// units (one CD sector), or the whole file when it is smaller.
constexpr uint16_t DefaultLoadUnits = 4;
constexpr int LoadUnitBytes = 512;

}  // namespace kestrel::iso::eltorito
