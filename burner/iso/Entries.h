#pragma once
// The compilation's two record types. Both are owned by the compilation's
// tables (TCompilation); the pointers between them never own.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// Days since 1899-12-30 00:00 local time, the fraction being the time of day.
using TDateTime = double;

// File attributes kept with each entry (the values the front end knows).
enum : int {
    faHidden = 0x02,
    faDirectory = 0x10,
    faArchive = 0x20,
};

struct TDEntry;

// One extent of a file on a disc: its first sector and its bytes.
struct TFileExtent {
    uint32_t Lba = 0;
    uint32_t Bytes = 0;
    bool operator==(const TFileExtent&) const = default;
};

// One entry of a directory: a file, or the entry of a subdirectory in its
// parent's list.
struct TFEntry {
    std::string ShortName;   // ISO 9660 identifier, upper case, without ";1"
    std::string LongName;    // Joliet identifier (UTF-8 here)
    std::string SourcePath;  // local source; empty for imported entries without one
    bool Imported = false;   // extents are absolute sectors fixed from outside
    TDateTime DateTime = 0;  // recording date written in the directory records
    int64_t ISOSize = 0;     // data length in ISO 9660 records
    int64_t JolietSize = 0;  // data length in Joliet records
    int32_t ISOExtent = 0;   // see the layout: relative, or absolute when Imported
    int32_t JolietExtent = 0;
    int Attr = 0;
    bool ArchiveOnly = false;
    TDEntry* Dir = nullptr;   // the directory this entry stands for, or null for files
    TFEntry* Next = nullptr;  // next entry of the same directory

    // POSIX side, written as Rock Ridge fields. Zero or empty when unknown
    // (imported entries): readers then get defaults.
    std::string PosixName;    // name as found on disk when it differs from LongName
    std::string JolietName;   // Joliet name when LongName is too long for Joliet
    std::string LinkTarget;   // a symbolic link stored as a link: its target
    uint32_t Mode = 0;        // st_mode of the source
    TDateTime AccessTime = 0; // 0 = DateTime
    TDateTime ChangeTime = 0; // attribute change; 0 = DateTime
    uint32_t Serial = 0;      // file serial number, given by the layout
    // An imported file stored in several extents (4 GiB or more): every
    // extent in order, the first at ISOExtent. Empty for other entries.
    std::vector<TFileExtent> Extents;

    bool IsLink() const { return !LinkTarget.empty(); }
};

// The name a POSIX reader sees and the name of the Joliet tree.
inline const std::string& PosixNameOf(const TFEntry& E) { return E.PosixName.empty() ? E.LongName : E.PosixName; }
inline const std::string& JolietNameOf(const TFEntry& E) { return E.JolietName.empty() ? E.LongName : E.JolietName; }

// One directory.
struct TDEntry {
    std::string ShortName;
    std::string LongName;
    int64_t ISOSize = 0;
    int64_t JolietSize = 0;
    std::string Path;         // upper-case look-up path: "\" or "\DOCS\2004"
    int32_t ISOExtent = 0;
    int32_t JolietExtent = 0;
    uint8_t Level = 0;        // 1 for the root
    int32_t Number = 0;       // 1-based path-table number; the root is 1
    TDEntry* Parent = nullptr;  // the root's parent is the root
    TFEntry* Files = nullptr;   // first entry of the list, in order of adding
    // Last entry of the list, kept by the compilation so that appending to a
    // directory of many entries stays cheap. Only a hint: code that links
    // entries itself may leave it behind; appending then walks on from it.
    TFEntry* LastFile = nullptr;
    std::string JolietName;   // as TFEntry::JolietName
    TFEntry* Self = nullptr;  // this directory's entry in its parent's list; null for the root
};

inline const std::string& JolietNameOf(const TDEntry& D) { return D.JolietName.empty() ? D.LongName : D.JolietName; }

}  // namespace kestrel
