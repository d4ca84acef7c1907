// The El Torito boot catalog: the validation entry, the default entry for
// the first boot file, and one section (header and entries) for each run
// of further boot files of one platform, the last header marked final.
#include <cstring>
#include <stdexcept>

#include "burner/iso/BootCatalogFields.h"
#include "burner/iso/ImageBuilder.h"
#include "burner/iso/IsoFormat.h"

namespace kestrel {

namespace {

using namespace iso;
using namespace iso::eltorito;

constexpr char BootCatalogId[] = "Kestrel CD/DVD Burner";

// An emulated disk is a diskette for the three diskette sizes and a hard
// disk for any other.
TMedia EmulatedMediaFor(int32_t Sectors) {
    switch (Sectors) {
        case 600: return bmDiskette12;
        case 720: return bmDiskette144;
        case 1440: return bmDiskette288;
        default: return bmHardDisk;
    }
}

TPlatform PlatformOf(const TBootFile& File) { return File.Role == TBootRole::Efi ? ptEfi : ptX86; }

// The value that makes the sixteen little-endian words of the entry sum to 0.
uint16_t ValidationChecksum(const uint8_t* Entry) {
    uint16_t sum = 0;
    for (size_t i = 0; i < EntrySize; i += 2) sum = uint16_t(sum + (Entry[i] | (Entry[i + 1] << 8)));
    return uint16_t(0u - sum);
}

void PutValidationEntry(uint8_t* E, TPlatform Platform) {
    E[validation::HeaderId] = validation::HeaderIdValue;
    E[validation::Platform] = Platform;
    std::memcpy(E + validation::IdString, BootCatalogId, sizeof BootCatalogId - 1);
    E[validation::Key55] = 0x55;
    E[validation::KeyAA] = 0xAA;
    PutLittle16(E + validation::Checksum, ValidationChecksum(E));
}

// The load segment stays 0, which stands for the traditional 07C0h.
void PutBootEntry(uint8_t* E, const TBootFile& File) {
    E[entry::Indicator] = entry::Bootable;
    E[entry::Media] = File.Role == TBootRole::BiosEmulation ? EmulatedMediaFor(File.Sectors) : bmNoEmulation;
    PutLittle16(E + entry::SectorCount, File.LoadUnits);
    PutLittle32(E + entry::LoadRba, FitU32(File.LBA, "boot image"));
}

void PutSectionHeader(uint8_t* E, TPlatform Platform, size_t Entries, bool Final) {
    E[section::Indicator] = Final ? section::Final : section::MoreFollow;
    E[section::Platform] = Platform;
    PutLittle16(E + section::EntryCount, FitU16(int64_t(Entries), "boot entries of a section"));
}

}  // namespace

void TImageBuilder::WriteBootCatalog() {
    HeadStream.resize(HeadStream.size() + SectorSize, 0);
    uint8_t* c = HeadStream.data() + HeadStream.size() - SectorSize;
    const std::vector<TBootFile>& files = bootFiles_;
    // Each file takes an entry and at most one header besides.
    if (files.empty() || 2 * files.size() * EntrySize > size_t(SectorSize))
        throw std::logic_error("the boot catalog does not match the layout's boot files");
    PutValidationEntry(c, PlatformOf(files.front()));
    PutBootEntry(c + EntrySize, files.front());
    uint8_t* next = c + 2 * EntrySize;
    for (size_t first = 1; first < files.size();) {
        size_t end = first;
        while (end < files.size() && PlatformOf(files[end]) == PlatformOf(files[first])) ++end;
        PutSectionHeader(next, PlatformOf(files[first]), end - first, end == files.size());
        next += EntrySize;
        for (; first < end; ++first, next += EntrySize) PutBootEntry(next, files[first]);
    }
}

}  // namespace kestrel
