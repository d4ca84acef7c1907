#pragma once
// The kinds of disc a virtual drive can hold, with the fixed facts of each:
// MMC profile number, capacity as sold, and how the medium is recorded.
#include <cstdint>
#include <optional>
#include <string>

namespace vdrive {

enum class MediaKind : uint8_t {
    CdRom,
    CdR,
    CdRw,
    DvdRom,
    DvdR,
    DvdRam,
    DvdRwRestricted,
    DvdRwSequential,
    DvdPlusRw,
    DvdPlusR,
    DvdPlusRDl,
    BdRom,
    BdR,    // sequential recording mode, multisession
    BdRDl,
    BdRe,
    BdReDl,
};

// How sectors get onto the medium.
enum class Recording : uint8_t {
    Pressed,     // read-only: holds an image from the factory
    Sequential,  // write-once style: tracks at the next writable address
    Overwrite,   // random writes anywhere inside the formatted area
};

struct MediaTraits {
    MediaKind kind;
    const char* name;       // the control tool's name: "cd-r", "dvd+rw", ...
    uint16_t profile;       // MMC current profile
    uint32_t capacity;      // user blocks of 2,048 bytes as sold
    bool cd;                // CD family (MSF addresses, ATIP, sessions with gaps)
    Recording recording;
    bool erasable;          // BLANK or FORMAT can make it empty again
    bool canSimulate;       // honours the test-write bit (nothing is recorded)
    bool needsFormat;       // as sold it must be formatted before writing
    uint8_t bookType;       // DVD physical format book type (byte 4 high nibble)
    bool bd = false;        // Blu-ray family (32-block clusters, spare areas)
    uint8_t layers = 1;
};

const MediaTraits& TraitsOf(MediaKind Kind);
// Blocks per recording unit: 1 on CD, an ECC block of 16 on DVD, a cluster
// of 32 on BD.
uint32_t BlockingOf(MediaKind Kind);
std::optional<MediaKind> ParseMediaKind(const std::string& Name);
std::string MediaKindNames();  // "cd-r|cd-rw|..." for usage texts

}  // namespace vdrive
