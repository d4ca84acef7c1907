#pragma once
// The medium type codes (0..15) derived from the drive's current profile,
// their names, and the profile names of the disc summary.
#include <cstdint>
#include <string>

namespace kestrel {

enum : uint8_t {
    mtUnknown = 0,
    mtCDROM = 1,
    mtCDR = 2,
    mtCDRW = 3,
    mtDVDROM = 4,
    mtDVDR = 5,
    mtDVDRAM = 6,
    mtDVDRW = 7,             // never produced from a profile
    mtDVDRWRestricted = 8,
    mtDVDRWSequential = 9,
    mtDVDPlusRW = 10,
    mtDVDPlusR = 11,
    mtDVDPlusRDL = 12,
    mtDDCDROM = 13,
    mtDDCDR = 14,
    mtDDCDRW = 15,
};

// Codes below 4 are CD media; everything above counts as DVD.
inline bool IsCDMedium(unsigned Type) { return Type < 4; }
// Media written anywhere in their formatted area: the old volume stays where it is.
inline bool IsOverwritableType(unsigned Type) {
    return Type == mtDVDRAM || Type == mtDVDRWRestricted || Type == mtDVDPlusRW;
}
// Media written track after track, whose sessions are opened and closed.
inline bool IsSequentialType(unsigned Type) {
    return Type == mtCDR || Type == mtCDRW || Type == mtDVDR || Type == mtDVDRWSequential || Type == mtDVDPlusR ||
           Type == mtDVDPlusRDL || Type == mtDDCDR || Type == mtDDCDRW;
}

// DVD+RW, DVD+R, DVD+R DL and DVD-RAM are written without the write
// parameters page (05h): drives may refuse the page there, and a write goes
// on without it.
inline bool WritesWithoutParametersPage(unsigned Type) {
    return Type == mtDVDPlusRW || Type == mtDVDPlusR || Type == mtDVDPlusRDL || Type == mtDVDRAM;
}

uint8_t MediumTypeFromProfile(uint16_t Profile);
// "UNKNOWN", "CD-ROM", ... by medium type code.
std::string MediumTypeName(unsigned Type);
// A write speed as the log shows it: "2.4X (3,324 KB/s)" on DVD media,
// "24X (4,234 KB/s)" on CD media.
std::string SpeedText(unsigned Type, uint16_t KBps);
// The disc summary's name of a profile ("DVD-RW Sequential Recording", ...).
std::string ProfileMediumName(uint16_t Profile);
bool ProfileIsErasable(uint16_t Profile);

}  // namespace kestrel
