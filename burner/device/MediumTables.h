#pragma once
// The medium type codes derived from the drive's current profile, their
// names, and the profile names of the disc summary. Codes 0..15 are CD and
// DVD media; Blu-ray media follow from 16 on, so the older codes keep their
// meaning.
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
    mtBDROM = 16,
    mtBDR = 17,              // sequential recording mode
    mtBDRE = 18,
};

// Codes below 4 are CD media; everything above is written as DVD is
// (32-sector blocks), BD media included.
inline bool IsCDMedium(unsigned Type) { return Type < 4; }
inline bool IsBDMedium(unsigned Type) { return Type >= mtBDROM && Type <= mtBDRE; }
// The writable DVD media (the DDCD codes between them and BD are CD-sized).
inline bool IsDVDMedium(unsigned Type) { return Type >= mtDVDROM && Type <= mtDVDPlusRDL; }
// Pressed media: nothing can be written onto them.
inline bool IsPressedType(unsigned Type) {
    return Type == mtCDROM || Type == mtDVDROM || Type == mtDDCDROM || Type == mtBDROM;
}
// Media written anywhere in their formatted area: the old volume stays where it is.
inline bool IsOverwritableType(unsigned Type) {
    return Type == mtDVDRAM || Type == mtDVDRWRestricted || Type == mtDVDPlusRW || Type == mtBDRE;
}
// Media written track after track, whose sessions are opened and closed.
inline bool IsSequentialType(unsigned Type) {
    return Type == mtCDR || Type == mtCDRW || Type == mtDVDR || Type == mtDVDRWSequential || Type == mtDVDPlusR ||
           Type == mtDVDPlusRDL || Type == mtDDCDR || Type == mtDDCDRW || Type == mtBDR;
}

// DVD+RW, DVD+R, DVD+R DL, DVD-RAM and BD are written without the write
// parameters page (05h): drives may refuse the page there, and a write goes
// on without it. BD drives have no use for the page at all.
inline bool WritesWithoutParametersPage(unsigned Type) {
    return Type == mtDVDPlusRW || Type == mtDVDPlusR || Type == mtDVDPlusRDL || Type == mtDVDRAM || IsBDMedium(Type);
}

uint8_t MediumTypeFromProfile(uint16_t Profile);
// "UNKNOWN", "CD-ROM", ... by medium type code.
std::string MediumTypeName(unsigned Type);
// KB/s of the speed 1x of a medium: 176.4 on CD, 1,385 on DVD, 4,495.5 on BD.
double OneXSpeed(unsigned Type);
// A write speed as the log shows it: "2.4X (3,324 KB/s)" on DVD media,
// "4.0X (17,982 KB/s)" on BD media, "24X (4,234 KB/s)" on CD media.
std::string SpeedText(unsigned Type, uint16_t KBps);
// The disc summary's name of a profile ("DVD-RW Sequential Recording", ...).
std::string ProfileMediumName(uint16_t Profile);
bool ProfileIsErasable(uint16_t Profile);

}  // namespace kestrel
