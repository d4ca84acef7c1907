#include "model/MediaKind.h"

#include <array>

#include "kestrel/mmc.h"

namespace vdrive {
namespace {

// CD 80 min: lead-out at 79:59:72 (359,847 blocks of program area);
// single-layer DVD±R 4.7 GB; DVD+R DL 8.5 GB; DVD-RAM 4.7 GB formatted;
// BD 25 GB per layer without spare areas. BD-RE is sold unformatted.
constexpr uint32_t kBdLayerBlocks = 12219392;
constexpr std::array<MediaTraits, 16> kTraits{{
    {MediaKind::CdRom, "cd-rom", 0x0008, 359847, true, Recording::Pressed, false, false, false, 0},
    {MediaKind::CdR, "cd-r", 0x0009, 359847, true, Recording::Sequential, false, true, false, 0},
    {MediaKind::CdRw, "cd-rw", 0x000A, 359847, true, Recording::Sequential, true, true, false, 0},
    {MediaKind::DvdRom, "dvd-rom", 0x0010, 2295104, false, Recording::Pressed, false, false, false, 0x0},
    {MediaKind::DvdR, "dvd-r", 0x0011, 2295104, false, Recording::Sequential, false, true, false, 0x2},
    {MediaKind::DvdRam, "dvd-ram", 0x0012, 2236704, false, Recording::Overwrite, true, false, false, 0x1},
    {MediaKind::DvdRwRestricted, "dvd-rw-ro", 0x0013, 2295104, false, Recording::Overwrite, true, false, false, 0x3},
    {MediaKind::DvdRwSequential, "dvd-rw", 0x0014, 2295104, false, Recording::Sequential, true, true, false, 0x3},
    {MediaKind::DvdPlusRw, "dvd+rw", 0x001A, 2295104, false, Recording::Overwrite, true, false, true, 0x9},
    {MediaKind::DvdPlusR, "dvd+r", 0x001B, 2295104, false, Recording::Sequential, false, false, false, 0xA},
    {MediaKind::DvdPlusRDl, "dvd+r-dl", 0x002B, 4173824, false, Recording::Sequential, false, false, false, 0xE},
    {MediaKind::BdRom, "bd-rom", mmc::profile::kBdRom, kBdLayerBlocks, false, Recording::Pressed, false, false, false, 0,
     true, 1},
    {MediaKind::BdR, "bd-r", mmc::profile::kBdRSequential, kBdLayerBlocks, false, Recording::Sequential, false, false,
     false, 0, true, 1},
    {MediaKind::BdRDl, "bd-r-dl", mmc::profile::kBdRSequential, 2 * kBdLayerBlocks, false, Recording::Sequential,
     false, false, false, 0, true, 2},
    {MediaKind::BdRe, "bd-re", mmc::profile::kBdRe, kBdLayerBlocks, false, Recording::Overwrite, true, false, true, 0,
     true, 1},
    {MediaKind::BdReDl, "bd-re-dl", mmc::profile::kBdRe, 2 * kBdLayerBlocks, false, Recording::Overwrite, true, false,
     true, 0, true, 2},
}};

}  // namespace

const MediaTraits& TraitsOf(MediaKind Kind) { return kTraits[static_cast<size_t>(Kind)]; }

uint32_t BlockingOf(MediaKind Kind) {
    const MediaTraits& t = TraitsOf(Kind);
    return t.cd ? 1 : t.bd ? mmc::bd::kClusterBlocks : 16;
}

std::optional<MediaKind> ParseMediaKind(const std::string& Name) {
    for (const auto& t : kTraits)
        if (Name == t.name) return t.kind;
    return std::nullopt;
}

std::string MediaKindNames() {
    std::string out;
    for (const auto& t : kTraits) {
        if (!out.empty()) out += '|';
        out += t.name;
    }
    return out;
}

}  // namespace vdrive
