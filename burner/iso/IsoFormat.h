#pragma once
// Byte-level pieces of the ISO 9660 image shared by the layout and the head
// writers: field encoders, range checks, and the identifiers of the two
// trees (ISO 9660 short names, Joliet UTF-16BE long names).
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "burner/common/ByteOrder.h"
#include "burner/iso/Entries.h"
#include "burner/iso/NameLimits.h"

namespace kestrel::iso {

constexpr int SectorSize = 2048;
// "." and ".." records: 33 + a one-byte identifier.
constexpr int DotRecordSize = 34;
// A directory record's length is one byte.
constexpr int MaxRecordSize = 255;

inline int64_t SectorsFor(int64_t Bytes) { return (Bytes + SectorSize - 1) / SectorSize; }

// Length of a directory record for an identifier of Len bytes.
constexpr int RecordSize(int Len) { return 33 + Len + (Len % 2 == 0 ? 1 : 0); }
// Length of a path table record for an identifier of Len bytes.
inline int PathRecordSize(int Len) { return 8 + Len + (Len % 2 == 1 ? 1 : 0); }

// Value checked to fit an unsigned 32-bit field; throws std::range_error naming What.
uint32_t FitU32(int64_t Value, const char* What);
// A sector address or count checked to fit the layout's signed 32-bit sectors.
int32_t FitLBA(int64_t Value, const char* What);
// Value checked to fit an unsigned 16-bit field.
uint16_t FitU16(int64_t Value, const char* What);

// Little-endian then big-endian, as ISO 9660 both-byte-order fields are.
inline void PutBoth16(uint8_t* P, uint16_t V) { PutLittle16(P, V); PutBig16(P + 2, V); }
inline void PutBoth32(uint8_t* P, uint32_t V) { PutLittle32(P, V); PutBig32(P + 4, V); }

// Identifier bytes of one entry in one tree. "." and ".." are the single
// bytes 00h and 01h; files carry ";1". A name whose record would not fit in
// one byte of length is shortened (keeping ";1" and, where it can, the
// extension); Shortened tells the caller so it can log it.
struct TIdentifier {
    std::string Bytes;
    bool Shortened = false;
};
// Identifiers are cut to MaxBytes: MaxIsoIdBytes, or MaxRockIsoIdBytes
// with Rock Ridge (NameLimits.h).
TIdentifier IsoIdentifier(const TFEntry& Entry, size_t MaxBytes = MaxIsoIdBytes);
TIdentifier JolietIdentifier(const TFEntry& Entry);
// Directory identifiers of the path tables (no version suffix).
TIdentifier IsoDirIdentifier(const TDEntry& Dir, size_t MaxBytes = MaxIsoIdBytes);
TIdentifier JolietDirIdentifier(const TDEntry& Dir);

// True when the entry is one of the "." / ".." entries an imported directory
// list may carry (Name is the tree's name of the entry).
inline bool IsDotName(const std::string& Name) { return Name == "." || Name == ".."; }

// The 7-byte recording date of a directory record.
void PutRecordDate(uint8_t* P, TDateTime When, int16_t GMTOffset);
// The 17-byte date of a volume descriptor: "YYYYMMDDHHMMSS" and the
// milliseconds (at least two digits) cut to 16 characters, then the offset
// of the local time When from UTC in 15-minute units, as readers need it to
// show the time in their own zone.
void PutDescriptorDate(uint8_t* P, TDateTime When, int16_t GMTOffset);

// The current local time with its milliseconds.
TDateTime NowWithMilliseconds();

}  // namespace kestrel::iso
