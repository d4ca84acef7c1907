#pragma once
// The fields of ISO 9660 volume descriptors and directory records that the
// session import reads, taken from one 2,048-byte sector with every length
// checked against the sector before a byte of it is used.
#include <cstddef>
#include <cstdint>
#include <string>

#include "burner/iso/DirRecordLayout.h"
#include "burner/iso/Entries.h"

namespace kestrel {

inline constexpr size_t kDiscSectorBytes = 2048;
// The fixed part of a directory record; the identifier follows it.
inline constexpr size_t kRecordFixedBytes = iso::record::FixedBytes;

// Sectors that hold Bytes bytes.
inline uint32_t SectorsFor(uint32_t Bytes) {
    return static_cast<uint32_t>((uint64_t(Bytes) + kDiscSectorBytes - 1) / kDiscSectorBytes);
}

// One sector as the drive delivers it (device buffers are 4-byte aligned).
struct TSectorBuffer {
    alignas(4) uint8_t Bytes[kDiscSectorBytes] = {};
};

// What one directory record says about its file or directory.
struct TDirRecord {
    uint8_t Length = 0;
    uint32_t Extent = 0;      // first sector of the data
    uint32_t DataLength = 0;  // bytes
    TDateTime Date = 0;
    uint8_t Flags = 0;
    const uint8_t* Name = nullptr;
    uint8_t NameLength = 0;
    // The system-use area after the identifier and its padding byte (Rock
    // Ridge fields); null when the record ends with its identifier.
    const uint8_t* SystemUse = nullptr;
    size_t SystemUseLength = 0;

    bool IsHidden() const { return Flags & iso::record::FlagHidden; }
    bool IsDirectory() const { return Flags & iso::record::FlagDirectory; }
    bool IsAssociated() const { return Flags & iso::record::FlagAssociated; }
    // Not the last record of a file of several extents.
    bool IsMultiExtent() const { return Flags & iso::record::FlagMultiExtent; }
    // The directory itself (00h) or its parent (01h).
    bool IsSelfOrParent() const { return NameLength == 1 && (Name[0] == 0 || Name[0] == 1); }
    // Sectors the data occupies.
    uint32_t Sectors() const { return SectorsFor(DataLength); }
};

enum class TRecordParse {
    Ok,
    EndOfSector,   // a record length of 0: the rest of the sector is padding
    TooShort,      // shorter than a record with a one-byte name
    PastLimit,     // runs past the sector or the directory's data
    NameOutside,   // the identifier runs past the record
};

// Reads the record at Offset; Limit is where the directory's data ends in
// this sector (at most 2,048).
TRecordParse ParseDirRecord(const uint8_t* Sector, size_t Offset, size_t Limit, TDirRecord& Record);

// A CD-XA system-use field of 14 bytes at Offset (bytes 0..3 zero, bytes
// 5..7 55h "XA"), as some writers leave between records.
bool LooksLikeXaField(const uint8_t* Sector, size_t Offset, size_t Limit);

// The seven bytes of a recording date (years since 1900, month, day, hour,
// minute, second, GMT offset) as a local date; the offset is not applied.
// A date no calendar holds counts as day 0 and keeps its time of day.
TDateTime RecordingDateTime(const uint8_t* Bytes);

// A volume descriptor: 1 primary, 2 supplementary, FFh terminator; 0 when
// the sector is no descriptor at all.
uint8_t DescriptorType(const uint8_t* Sector);
// A supplementary descriptor carrying one of the Joliet escape sequences.
bool IsJolietDescriptor(const uint8_t* Sector);

// The root directory record of a descriptor (bytes 156..189).
struct TVolumeRoot {
    uint8_t RecordLength = 0;
    uint32_t Extent = 0;
    uint32_t DataLength = 0;
};
TVolumeRoot DescriptorRoot(const uint8_t* Sector);

uint32_t LittleEndian32(const uint8_t* Bytes);

// "SECTOR 40" or "SECTORS 40..44", for the log.
std::string SectorText(uint64_t First, uint64_t Count);

}  // namespace kestrel
