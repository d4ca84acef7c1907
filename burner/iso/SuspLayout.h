#pragma once
// The system-use entries written into (and read from) the system-use area
// of directory records: the sharing protocol's own entries (SP, CE, ER, ST)
// and the Rock Ridge ones (PX, TF, NM, SL, RE, CL, PL). Offsets are from the
// start of an entry; every entry begins with the same four-byte header.
// Both-byte-order fields hold the little-endian value first.
#include <cstddef>
#include <cstdint>

namespace kestrel::iso::susp {

// Entry header.
inline constexpr size_t SignatureAt = 0;  // 2 bytes, e.g. 'P','X'
inline constexpr size_t LengthAt = 2;     // 1 byte: length of the whole entry
inline constexpr size_t VersionAt = 3;    // 1 byte: 1 for every entry here
inline constexpr size_t HeaderBytes = 4;
inline constexpr size_t MaxEntryBytes = 255;
inline constexpr uint8_t EntryVersion = 1;

// SP: the protocol is in use; first entry of the root's "." record.
namespace sp {
inline constexpr size_t CheckAt = 4;      // 2 bytes: BEh EFh
inline constexpr uint8_t Check0 = 0xBE, Check1 = 0xEF;
inline constexpr size_t SkipAt = 6;       // 1 byte: bytes to skip in every system-use area (0)
inline constexpr size_t Bytes = 7;
}  // namespace sp

// CE: the entries go on in a continuation area.
namespace ce {
inline constexpr size_t BlockAt = 4;      // 8 bytes: sector of the area
inline constexpr size_t OffsetAt = 12;    // 8 bytes: byte offset in that sector
inline constexpr size_t LengthAt = 20;    // 8 bytes: bytes of the area
inline constexpr size_t Bytes = 28;
}  // namespace ce

// ER: an extension used on the volume; in the root's "." entries.
namespace er {
inline constexpr size_t IdLengthAt = 4;
inline constexpr size_t DescLengthAt = 5;
inline constexpr size_t SourceLengthAt = 6;
inline constexpr size_t ExtVersionAt = 7;
inline constexpr size_t TextAt = 8;       // identifier, descriptor, source
}  // namespace er

// ST: the system-use entries of this area end here.
namespace st {
inline constexpr size_t Bytes = 4;
}  // namespace st

// PX: POSIX attributes.
namespace px {
inline constexpr size_t ModeAt = 4;       // 8 bytes each, both byte orders
inline constexpr size_t LinksAt = 12;
inline constexpr size_t UidAt = 20;
inline constexpr size_t GidAt = 28;
inline constexpr size_t SerialAt = 36;    // file serial number (inode)
inline constexpr size_t Bytes = 44;
inline constexpr size_t BytesWithoutSerial = 36;  // as older writers record it
}  // namespace px

// TF: time stamps, 7 bytes each (17 with FlagLongForm), in flag-bit order.
namespace tf {
inline constexpr size_t FlagsAt = 4;
inline constexpr size_t StampsAt = 5;
inline constexpr uint8_t FlagCreation = 0x01;
inline constexpr uint8_t FlagModify = 0x02;
inline constexpr uint8_t FlagAccess = 0x04;
inline constexpr uint8_t FlagAttributes = 0x08;
inline constexpr uint8_t FlagBackup = 0x10;
inline constexpr uint8_t FlagExpiration = 0x20;
inline constexpr uint8_t FlagEffective = 0x40;
inline constexpr uint8_t FlagLongForm = 0x80;
inline constexpr size_t ShortStampBytes = 7;
inline constexpr size_t LongStampBytes = 17;
}  // namespace tf

// NM: the POSIX name, in one or more pieces.
namespace nm {
inline constexpr size_t FlagsAt = 4;
inline constexpr size_t NameAt = 5;
inline constexpr uint8_t FlagContinue = 0x01;  // the next NM entry goes on with the name
inline constexpr uint8_t FlagCurrent = 0x02;
inline constexpr uint8_t FlagParent = 0x04;
}  // namespace nm

// SL: a symbolic link's target as path components, in one or more entries.
namespace sl {
inline constexpr size_t FlagsAt = 4;
inline constexpr size_t ComponentsAt = 5;
inline constexpr uint8_t FlagContinue = 0x01;  // the next SL entry goes on with the last component
// Each component record: flags, length, content.
inline constexpr size_t ComponentFlagsAt = 0;
inline constexpr size_t ComponentLengthAt = 1;
inline constexpr size_t ComponentContentAt = 2;
inline constexpr uint8_t ComponentContinue = 0x01;  // the component goes on in the next record
inline constexpr uint8_t ComponentCurrent = 0x02;   // "."
inline constexpr uint8_t ComponentParent = 0x04;    // ".."
inline constexpr uint8_t ComponentRoot = 0x08;      // "/"
}  // namespace sl

// RE: this directory record is a relocated directory (readers skip it).
namespace re {
inline constexpr size_t Bytes = 4;
}  // namespace re

// CL: the record stands for a directory relocated to the sector given here.
// PL: in a relocated directory's "..": the sector of its real parent.
namespace cl {
inline constexpr size_t LocationAt = 4;   // 8 bytes, both byte orders
inline constexpr size_t Bytes = 12;
}  // namespace cl
namespace pl = cl;

// The extension announced in ER.
inline constexpr char RockRidgeId[] = "IEEE_P1282";
inline constexpr char RockRidgeDescriptor[] =
    "THE IEEE P1282 PROTOCOL PROVIDES SUPPORT FOR POSIX FILE SYSTEM SEMANTICS.";
inline constexpr char RockRidgeSource[] =
    "PLEASE CONTACT THE IEEE STANDARDS DEPARTMENT, PISCATAWAY, NJ, USA FOR THE P1282 SPECIFICATION.";
inline constexpr uint8_t RockRidgeExtVersion = 1;

// The two-byte signature of an entry as a comparable value.
inline constexpr uint16_t Signature(char A, char B) { return uint16_t(uint8_t(A) << 8 | uint8_t(B)); }

}  // namespace kestrel::iso::susp
