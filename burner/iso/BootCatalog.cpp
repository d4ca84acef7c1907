// The El Torito boot catalog: a validation entry and the default entry that
// points at the boot image, emulating a diskette for the three diskette
// sizes and a hard disk for any other.
#include <cstring>

#include "burner/iso/ImageBuilder.h"
#include "burner/iso/IsoFormat.h"

namespace kestrel {

namespace {

using namespace iso;

constexpr char BootCatalogId[] = "Kestrel CD/DVD Burner";

enum TBootMedia : uint8_t { bmDiskette12 = 1, bmDiskette144 = 2, bmDiskette288 = 3, bmHardDisk = 4 };

TBootMedia BootMediaFor(int32_t Sectors) {
    switch (Sectors) {
        case 600: return bmDiskette12;
        case 720: return bmDiskette144;
        case 1440: return bmDiskette288;
        default: return bmHardDisk;
    }
}

// The value that makes the sixteen little-endian words of the entry sum to 0.
uint16_t ValidationChecksum(const uint8_t* Entry) {
    uint16_t sum = 0;
    for (int i = 0; i < 32; i += 2) sum = uint16_t(sum + (Entry[i] | (Entry[i + 1] << 8)));
    return uint16_t(0u - sum);
}

}  // namespace

void TImageBuilder::WriteBootCatalog() {
    HeadStream.resize(HeadStream.size() + SectorSize, 0);
    uint8_t* c = HeadStream.data() + HeadStream.size() - SectorSize;
    c[0] = 0x01;  // validation entry, platform 80x86
    std::memcpy(c + 4, BootCatalogId, sizeof BootCatalogId - 1);
    c[30] = 0x55;
    c[31] = 0xAA;
    PutLittle16(c + 28, ValidationChecksum(c));
    c[32] = 0x88;  // bootable
    c[33] = BootMediaFor(BootImageSectors);
    PutLittle16(c + 38, 1);
    PutLittle32(c + 40, FitU32(BootImageLBA, "boot image"));
}

}  // namespace kestrel
