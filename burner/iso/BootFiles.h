#pragma once
// The files behind the El Torito boot entries: where the layout put each
// one, the bytes laid over a loader's copy in the image (the boot
// information table), and the checks that refuse a boot file its entry
// cannot use.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "burner/iso/Entries.h"

namespace kestrel {

// Bytes laid over a source file's copy in the image. The source itself is
// never written to.
struct TBytePatch {
    int64_t Offset = 0;  // within the file
    std::vector<uint8_t> Bytes;

    bool Empty() const { return Bytes.empty(); }
    int64_t End() const { return Offset + static_cast<int64_t>(Bytes.size()); }
    // Lays the patch over Count bytes of the file's copy that begin at
    // FileOffset; the parts outside those bytes are left alone.
    void ApplyTo(uint8_t* Data, int64_t FileOffset, size_t Count) const;
};

// Which boot entry a file serves.
enum class TBootRole { BiosEmulation, BiosNoEmulation, Efi };

// One boot entry's file as the layout placed it.
struct TBootFile {
    TBootRole Role = TBootRole::BiosEmulation;
    std::string Path;
    int64_t Bytes = 0;     // its length in the image
    int32_t LBA = 0;       // the sector the entry points at
    int32_t Sectors = 0;   // whole sectors of its copy
    uint16_t LoadUnits = 0;  // the entry's sector count, in 512-byte units
    // The compilation file it is, when it is one: the entry then points at
    // that file's own extent and the file takes no sectors besides.
    const TFEntry* Entry = nullptr;
    TBytePatch Patch;      // the boot information table, when asked for

    bool InHead() const { return Entry == nullptr; }
};

// A boot file the image cannot use; nothing is written.
struct TBootRefusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The FAT type (12, 16 or 32) of a file system whose boot sector (512 bytes)
// is BootSector, in an image of ImageBytes bytes; 0 with Why set when it is
// not a FAT file system.
int FatTypeOf(const uint8_t* BootSector, int64_t ImageBytes, std::string& Why);

// Throws TBootRefusal unless Path holds a FAT file system.
void CheckEfiImage(const std::string& Path);

// The no-emulation entry's load size in 512-byte units: Asked (0 = the
// default: four units, or the whole file when it is smaller). Throws
// TBootRefusal when the load would reach past the file.
uint16_t NoEmulationLoadUnits(const std::string& Path, int64_t Bytes, int32_t Asked);

// Throws TBootRefusal when the loader Path, Bytes long, is too short to hold
// a boot information table.
void CheckInfoTableFits(const std::string& Path, int64_t Bytes);

// The boot information table for the loader Path, Bytes long, laid out at
// FileSector in an image whose primary volume descriptor is at PvdSector. Reads
// the file for its checksum; refuses what CheckInfoTableFits refuses.
TBytePatch MakeBootInfoTable(const std::string& Path, int64_t Bytes, uint32_t PvdSector, uint32_t FileSector);

}  // namespace kestrel
