#pragma once
// What kind of drive a virtual drive is: its INQUIRY strings, which media it
// reads and writes, its speeds and buffer, and a few switches the device
// layer reacts to. Kept as "key=value" lines in the drive's model.conf, so
// test setups can describe other drives (a CD-ROM reader, a CD writer
// without DVD, drives whose product names trigger known quirks).
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "model/MediaKind.h"

namespace vdrive {

struct DriveModel {
    std::string vendor = "KESTREL";    // INQUIRY bytes 8..15, blank padded
    std::string product = "VIRTUAL DVD-RW";
    std::string revision = "1.00";
    uint8_t peripheralType = 0x05;     // 05h CD/DVD, 04h write-once
    bool scsiAddress = true;           // whether the drive reports an address
    std::set<MediaKind> reads;
    std::set<MediaKind> writes;
    bool testWrite = true;             // can simulate (page 2Ah, feature 2Fh)
    bool bufferUnderrunFree = true;    // BUF bit and BUFE honoured
    bool vendorPage30 = false;         // answers MODE SENSE page 30h
    uint16_t cdReadKBs = 7056;         // 40x
    uint16_t cdWriteKBs = 8467;        // 48x
    uint16_t dvdReadKBs = 22160;       // 16x
    uint16_t dvdWriteKBs = 22160;      // 16x
    uint16_t bdReadKBs = 0;            // drives without BD
    uint16_t bdWriteKBs = 0;
    uint32_t bufferKB = 2048;
    // Media on which MODE SELECT of the write parameters page (05h) is
    // refused, as some drives do where the medium does not use the page
    // (DVD+R, DVD+RW, DVD+R DL, DVD-RAM).
    std::set<MediaKind> refusesWritePage;

    bool Reads(MediaKind Kind) const { return reads.count(Kind) != 0; }
    bool Writes(MediaKind Kind) const { return writes.count(Kind) != 0; }
    bool RefusesWritePage(MediaKind Kind) const { return refusesWritePage.count(Kind) != 0; }
    bool WritesAnyDvd() const;
    bool WritesAnyCd() const;
    bool WritesAnyBd() const;
    bool ReadsAnyBd() const;

    std::string ToText() const;
    static DriveModel FromText(const std::string& Text);  // throws std::runtime_error
    // Applies one "key=value" setting; throws std::runtime_error when unknown.
    void Set(const std::string& Key, const std::string& Value);

    // Presets: "dvd-writer" (every CD and DVD capability), "bd-writer" (BD,
    // DVD and CD), "cd-writer", "cd-reader", "dvd-reader".
    static std::optional<DriveModel> Preset(const std::string& Name);
    static std::string PresetNames();
};

}  // namespace vdrive
