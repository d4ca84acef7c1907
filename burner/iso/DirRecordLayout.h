#pragma once
// Field offsets and sizes of an ISO 9660 directory record, and its flag
// bits: the one description the image writer and the session import share.
// Both-byte-order fields hold the little-endian value first, then the
// big-endian one.
#include <cstddef>
#include <cstdint>

namespace kestrel::iso::record {

inline constexpr size_t LengthAt = 0;          // 1 byte: length of the whole record
inline constexpr size_t ExtAttrLengthAt = 1;   // 1 byte: extended attribute record length (0)
inline constexpr size_t ExtentAt = 2;          // 8 bytes: first sector, both byte orders
inline constexpr size_t DataLengthAt = 10;     // 8 bytes: bytes of this extent, both byte orders
inline constexpr size_t DateAt = 18;           // 7 bytes: years since 1900, month, day, h, m, s, zone
inline constexpr size_t DateBytes = 7;
inline constexpr size_t FlagsAt = 25;          // 1 byte: the flag bits below
inline constexpr size_t UnitSizeAt = 26;       // 1 byte: file unit size (0)
inline constexpr size_t GapSizeAt = 27;        // 1 byte: interleave gap (0)
inline constexpr size_t VolumeSeqAt = 28;      // 4 bytes: volume sequence number, both byte orders
inline constexpr size_t IdLengthAt = 32;       // 1 byte: identifier length (LEN_FI)
inline constexpr size_t IdAt = 33;             // LEN_FI bytes, then one zero byte when LEN_FI is even
inline constexpr size_t FixedBytes = 33;       // the record up to its identifier
inline constexpr size_t MaxBytes = 255;        // the length is one byte

// Flag bits.
inline constexpr uint8_t FlagHidden = 0x01;
inline constexpr uint8_t FlagDirectory = 0x02;
inline constexpr uint8_t FlagAssociated = 0x04;
// Set on every record of a file but its last: the next record continues it.
inline constexpr uint8_t FlagMultiExtent = 0x80;

// Largest data length one record of a file carries: 4 GiB less one sector,
// so that every extent but the last ends on a sector boundary.
inline constexpr int64_t MaxExtentBytes = 0xFFFFF800LL;

// Where the system-use area of a record starts: after the identifier and
// its padding byte.
inline constexpr size_t SystemUseAt(size_t IdLength) { return IdAt + IdLength + (IdLength % 2 == 0 ? 1 : 0); }

}  // namespace kestrel::iso::record
