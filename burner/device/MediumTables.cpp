#include "burner/device/MediumTables.h"

#include <array>
#include <cstdio>
#include <utility>

#include "kestrel/mmc.h"

namespace kestrel {

namespace {

constexpr std::array<std::pair<uint16_t, uint8_t>, 17> kProfileTypes{{
    {0x0008, mtCDROM}, {0x0009, mtCDR}, {0x000A, mtCDRW}, {0x0010, mtDVDROM},
    {0x0011, mtDVDR}, {0x0012, mtDVDRAM}, {0x0013, mtDVDRWRestricted},
    {0x0014, mtDVDRWSequential}, {0x001A, mtDVDPlusRW}, {0x001B, mtDVDPlusR},
    {0x002B, mtDVDPlusRDL}, {0x0020, mtDDCDROM}, {0x0021, mtDDCDR}, {0x0022, mtDDCDRW},
    {mmc::profile::kBdRom, mtBDROM}, {mmc::profile::kBdRSequential, mtBDR}, {mmc::profile::kBdRe, mtBDRE},
}};

constexpr std::array<const char*, 19> kTypeNames{
    "UNKNOWN", "CD-ROM", "CD-R", "CD-RW", "DVD-ROM", "DVD-R", "DVD-RAM", "DVD-RW",
    "DVD-RW", "DVD-RW", "DVD+RW", "DVD+R", "DVD+R DL", "DDCD-ROM", "DDCD-R", "DDCD-RW",
    "BD-ROM", "BD-R", "BD-RE",
};

constexpr std::array<std::pair<uint16_t, const char*>, 22> kProfileNames{{
    {0x0001, "Non-removable disk"}, {0x0002, "Removable disk"}, {0x0003, "MO Eraseable"},
    {0x0004, "MO Write Once"}, {0x0005, "AS-MO"}, {0x0008, "CD-ROM"}, {0x0009, "CD-R"},
    {0x000A, "CD-RW"}, {0x0010, "DVD-ROM"}, {0x0011, "DVD-R"}, {0x0012, "DVD-RAM"},
    {0x0013, "DVD-RW Restricted Overwrite"}, {0x0014, "DVD-RW Sequential Recording"},
    {0x001A, "DVD+RW"}, {0x001B, "DVD+R"}, {0x0020, "DDCD-ROM"}, {0x0021, "DDCD-R"},
    {0x0022, "DDCD-RW"}, {mmc::profile::kBdRom, "BD-ROM"}, {mmc::profile::kBdRSequential, "BD-R Sequential Recording"},
    {mmc::profile::kBdRRandom, "BD-R Random Recording"}, {mmc::profile::kBdRe, "BD-RE"},
}};

}  // namespace

uint8_t MediumTypeFromProfile(uint16_t Profile) {
    for (const auto& [profile, type] : kProfileTypes)
        if (profile == Profile) return type;
    return mtUnknown;
}

std::string MediumTypeName(unsigned Type) {
    return Type < kTypeNames.size() ? kTypeNames[Type] : kTypeNames[0];
}

double OneXSpeed(unsigned Type) {
    if (IsBDMedium(Type)) return mmc::bd::kOneXKBs;
    return IsDVDMedium(Type) ? 1385.0 : 176.4;
}

std::string SpeedText(unsigned Type, uint16_t KBps) {
    char factor[32];
    // DVD-ROM is logged with the CD factor, as it always was.
    if ((Type >= mtDVDR && Type <= mtDVDPlusRDL) || IsBDMedium(Type))
        std::snprintf(factor, sizeof factor, "%.1f", KBps / OneXSpeed(Type));
    else std::snprintf(factor, sizeof factor, "%.0f", KBps / 176.4);
    const std::string digits = std::to_string(KBps);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return std::string(factor) + "X (" + grouped + " KB/s)";
}

std::string ProfileMediumName(uint16_t Profile) {
    for (const auto& [profile, name] : kProfileNames)
        if (profile == Profile) return name;
    return "???????";
}

bool ProfileIsErasable(uint16_t Profile) {
    switch (Profile) {
        case 0x0003: case 0x000A: case 0x0013: case 0x0014: case 0x001A: case 0x0022: case mmc::profile::kBdRe:
            return true;
        default:
            return false;
    }
}

}  // namespace kestrel
