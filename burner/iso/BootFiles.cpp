// Checks of boot files and the boot information table.
#include "burner/iso/BootFiles.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "burner/common/ByteOrder.h"
#include "burner/iso/BootCatalogFields.h"
#include "burner/iso/IsoFormat.h"
#include "burner/iso/SourceFile.h"

namespace kestrel {

namespace {

using namespace iso;

// Boot sector fields of a FAT file system (its BIOS parameter block).
namespace bpb {
constexpr size_t BytesPerSector = 11;
constexpr size_t SectorsPerCluster = 13;
constexpr size_t ReservedSectors = 14;
constexpr size_t FatCount = 16;
constexpr size_t RootEntries = 17;
constexpr size_t TotalSectors16 = 19;
constexpr size_t FatSize16 = 22;
constexpr size_t TotalSectors32 = 32;
constexpr size_t FatSize32 = 36;
constexpr size_t Signature = 510;
constexpr size_t BootSectorSize = 512;
}  // namespace bpb

uint16_t Little16(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }
uint32_t Little32(const uint8_t* P) {
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

bool IsPowerOfTwo(uint32_t V) { return V != 0 && (V & (V - 1)) == 0; }

std::string Quoted(const std::string& Path) { return "\"" + Path + "\""; }

}  // namespace

void TBytePatch::ApplyTo(uint8_t* Data, int64_t FileOffset, size_t Count) const {
    const int64_t from = std::max(Offset, FileOffset);
    const int64_t to = std::min(End(), FileOffset + static_cast<int64_t>(Count));
    if (from >= to) return;
    std::memcpy(Data + (from - FileOffset), Bytes.data() + (from - Offset), static_cast<size_t>(to - from));
}

int FatTypeOf(const uint8_t* S, int64_t ImageBytes, std::string& Why) {
    if (S[bpb::Signature] != 0x55 || S[bpb::Signature + 1] != 0xAA) {
        Why = "its boot sector lacks the 55AA signature";
        return 0;
    }
    const uint32_t sectorBytes = Little16(S + bpb::BytesPerSector);
    const uint32_t perCluster = S[bpb::SectorsPerCluster];
    const uint32_t reserved = Little16(S + bpb::ReservedSectors);
    const uint32_t fats = S[bpb::FatCount];
    const uint32_t rootEntries = Little16(S + bpb::RootEntries);
    const uint32_t fatSize = Little16(S + bpb::FatSize16) ? Little16(S + bpb::FatSize16) : Little32(S + bpb::FatSize32);
    const uint32_t total =
        Little16(S + bpb::TotalSectors16) ? Little16(S + bpb::TotalSectors16) : Little32(S + bpb::TotalSectors32);
    if (sectorBytes < 512 || sectorBytes > 4096 || !IsPowerOfTwo(sectorBytes) || !IsPowerOfTwo(perCluster) ||
        reserved == 0 || fats == 0 || fatSize == 0 || total == 0) {
        Why = "its boot sector holds no valid FAT parameter block";
        return 0;
    }
    const uint64_t rootSectors = (uint64_t(rootEntries) * 32 + sectorBytes - 1) / sectorBytes;
    const uint64_t meta = reserved + uint64_t(fats) * fatSize + rootSectors;
    if (meta >= total) {
        Why = "its FAT parameter block leaves no room for data";
        return 0;
    }
    if (uint64_t(total) * sectorBytes > uint64_t(ImageBytes)) {
        Why = "the file is shorter than the file system its boot sector describes";
        return 0;
    }
    // The FAT type follows from the number of clusters alone.
    const uint64_t clusters = (total - meta) / perCluster;
    if (clusters < 4085) return 12;
    if (clusters < 65525) return 16;
    return 32;
}

void CheckEfiImage(const std::string& Path) {
    TSourceFile file(Path);
    std::array<uint8_t, bpb::BootSectorSize> sector{};
    std::string why = "it is shorter than a boot sector";
    if (file.Size() >= int64_t(sector.size()) && file.Read(sector.data(), sector.size(), 0) == sector.size() &&
        FatTypeOf(sector.data(), file.Size(), why) != 0)
        return;
    throw TBootRefusal("THE UEFI BOOT IMAGE " + Quoted(Path) + " IS NOT A FAT FILE SYSTEM: " + why);
}

uint16_t NoEmulationLoadUnits(const std::string& Path, int64_t Bytes, int32_t Asked) {
    const int64_t fileUnits = (Bytes + eltorito::LoadUnitBytes - 1) / eltorito::LoadUnitBytes;
    if (fileUnits == 0) throw TBootRefusal("THE BOOT FILE " + Quoted(Path) + " IS EMPTY");
    if (Asked == 0) return static_cast<uint16_t>(std::min<int64_t>(eltorito::DefaultLoadUnits, fileUnits));
    if (Asked < 0 || Asked > UINT16_MAX)
        throw TBootRefusal("THE BOOT LOAD SIZE " + std::to_string(Asked) + " IS OUTSIDE 1..65535 SECTORS");
    if (Asked > fileUnits)
        throw TBootRefusal("THE BOOT LOAD SIZE OF " + std::to_string(Asked) + " SECTORS (" +
                           std::to_string(int64_t(Asked) * eltorito::LoadUnitBytes) +
                           " BYTES) IS LARGER THAN THE BOOT FILE " + Quoted(Path) + " (" + std::to_string(Bytes) +
                           " BYTES)");
    return static_cast<uint16_t>(Asked);
}

void CheckInfoTableFits(const std::string& Path, int64_t Bytes) {
    const auto least = int64_t(eltorito::infotable::ChecksumFrom);
    if (Bytes < least)
        throw TBootRefusal("THE BOOT FILE " + Quoted(Path) + " (" + std::to_string(Bytes) +
                           " BYTES) IS TOO SHORT FOR A BOOT INFORMATION TABLE (" + std::to_string(least) +
                           " BYTES AT LEAST)");
}

TBytePatch MakeBootInfoTable(const std::string& Path, int64_t Bytes, uint32_t PvdSector, uint32_t FileSector) {
    using namespace eltorito::infotable;
    CheckInfoTableFits(Path, Bytes);
    // The sum of the little-endian words from byte 64 to the end; the copy
    // is padded with zeros, which add nothing.
    TSourceFile file(Path);
    uint32_t sum = 0;
    std::vector<uint8_t> chunk(1 << 16);
    for (int64_t at = ChecksumFrom; at < Bytes;) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(int64_t(chunk.size()), Bytes - at));
        const size_t got = file.Read(chunk.data(), want, at);
        if (got == 0) break;  // shorter now than at the layout: the copy is zeros there too
        std::fill(chunk.begin() + static_cast<std::ptrdiff_t>(got),
                  chunk.begin() + static_cast<std::ptrdiff_t>((got + 3) / 4 * 4), 0);
        for (size_t i = 0; i < got; i += 4) sum += Little32(chunk.data() + i);
        at += static_cast<int64_t>(got);
        if (got % 4 != 0) break;  // only the last read may end inside a word
    }
    TBytePatch patch;
    patch.Offset = Offset;
    patch.Bytes.assign(Size, 0);
    // The fields are named by their offsets within the file.
    const auto field = [&patch](size_t FileOffset) { return patch.Bytes.data() + (FileOffset - Offset); };
    PutLittle32(field(PrimaryVolumeLba), PvdSector);
    PutLittle32(field(FileLba), FileSector);
    PutLittle32(field(FileLength), FitU32(Bytes, "boot file length"));
    PutLittle32(field(Checksum), sum);
    return patch;
}

}  // namespace kestrel
