// The image head: system area, volume descriptors, path tables, directory
// extents, boot catalog and the padding up to the first file.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "burner/iso/DateTime.h"
#include "burner/iso/ImageBuilder.h"
#include "burner/iso/IsoFormat.h"
#include "burner/iso/Names.h"

namespace kestrel {

namespace {

using namespace iso;

constexpr size_t HeadBufferBytes = 65537;
const char JolietEscape[3] = {0x25, 0x2F, 0x40};

enum TDescriptorType : uint8_t { vdBoot = 0, vdPrimary = 1, vdSupplementary = 2, vdTerminator = 255 };

void PutStandardId(uint8_t* Sector, TDescriptorType Type) {
    Sector[0] = Type;
    std::memcpy(Sector + 1, "CD001", 5);
    Sector[6] = 1;
}

// Field of Width bytes: upper-cased text padded with spaces, cut at a
// character boundary when longer.
void PutPrimaryText(uint8_t* P, size_t Width, const std::string& Text) {
    std::string s = UpperAscii(Text);
    if (s.size() > Width) {
        size_t keep = Width;
        while (keep > 0 && (static_cast<unsigned char>(s[keep]) & 0xC0) == 0x80) --keep;
        s.resize(keep);
    }
    s.resize(Width, ' ');
    std::memcpy(P, s.data(), Width);
}

// Field of Units UTF-16 big-endian characters padded with 0020h.
void PutJolietText(uint8_t* P, size_t Units, const std::string& Text) {
    std::string bytes = Utf8ToUtf16BE(Text);
    if (bytes.size() > Units * 2) {
        size_t keep = Units * 2;
        const unsigned char lastHigh = static_cast<unsigned char>(bytes[keep - 2]);
        if (lastHigh >= 0xD8 && lastHigh <= 0xDB) keep -= 2;  // never split a surrogate pair
        bytes.resize(keep);
    }
    for (size_t i = 0; i < Units; ++i) {
        P[2 * i] = i * 2 < bytes.size() ? uint8_t(bytes[2 * i]) : 0x00;
        P[2 * i + 1] = i * 2 < bytes.size() ? uint8_t(bytes[2 * i + 1]) : 0x20;
    }
}

void PutUnusedDate(uint8_t* P) {
    std::memset(P, '0', 16);
    P[16] = 0;
}

// What differs between the primary and the Joliet descriptor.
struct TVolumeFields {
    TDescriptorType Type;
    bool JolietEscape;
    int64_t PathTableSize;
    int32_t PathTableL, PathTableM;
    int32_t RootExtent;
    int64_t RootSize;
    TDateTime Created, Modified;
};

}  // namespace

void TImageBuilder::AppendZeroSectors(int64_t Count) {
    HeadStream.resize(HeadStream.size() + static_cast<size_t>(Count) * SectorSize, 0);
}

static uint8_t* AppendSector(std::vector<uint8_t>& Out) {
    Out.resize(Out.size() + SectorSize, 0);
    return Out.data() + Out.size() - SectorSize;
}

static void WriteVolumeDescriptor(TImageBuilder& B, const TVolumeFields& F) {
    uint8_t* d = AppendSector(B.HeadStream);
    PutStandardId(d, F.Type);
    const bool joliet = F.Type == vdSupplementary;
    const auto text = [&](size_t Offset, size_t Bytes, const std::string& Value) {
        if (joliet) PutJolietText(d + Offset, Bytes / 2, Value);
        else PutPrimaryText(d + Offset, Bytes, Value);
    };
    text(8, 32, B.IdSystem);
    text(40, 32, B.IdVolume);
    PutBoth32(d + 80, FitU32(B.ImageEndLBA, "volume space size"));
    if (F.JolietEscape) std::memcpy(d + 88, JolietEscape, 3);
    PutBoth16(d + 120, 1);
    PutBoth16(d + 124, 1);
    PutBoth16(d + 128, SectorSize);
    PutBoth32(d + 132, FitU32(F.PathTableSize, "path table size"));
    PutLittle32(d + 140, FitU32(F.PathTableL, "path table"));
    PutBig32(d + 148, FitU32(F.PathTableM, "path table"));
    uint8_t* root = d + 156;
    root[0] = DotRecordSize;
    PutBoth32(root + 2, FitU32(F.RootExtent, "root extent"));
    PutBoth32(root + 10, FitU32(F.RootSize, "root size"));
    root[25] = 0x02;
    PutBoth16(root + 28, 1);
    root[32] = 1;
    text(190, 128, B.IdVolumeSet);
    text(318, 128, B.IdPublisher);
    text(446, 128, B.IdPreparer);
    text(574, 128, B.IdApplication);
    // 37-byte file fields; the Joliet form holds 18 characters and leaves the last byte 0.
    text(702, joliet ? 36 : 37, B.FileCopyright);
    text(739, joliet ? 36 : 37, B.FileAbstract);
    text(776, joliet ? 36 : 37, B.FileBibliographic);
    PutDescriptorDate(d + 813, F.Created, LocalGMTOffsetAt(F.Created));
    PutDescriptorDate(d + 830, F.Modified, LocalGMTOffsetAt(F.Modified));
    PutUnusedDate(d + 847);
    PutUnusedDate(d + 864);
    d[881] = 1;
    std::memset(d + 1024, ' ', 8);
}

void TImageBuilder::WritePrimaryDescriptor() {
    const TDateTime now = NowWithMilliseconds();
    // The Joliet escape sequence belongs to the supplementary descriptor only:
    // in the primary one it makes Joliet readers take the ISO 9660 tree for
    // the UCS-2 tree and garble every name.
    WriteVolumeDescriptor(*this, {vdPrimary, false, ISOPathTableSize, ISOPathTableL, ISOPathTableM,
                                  ISODirArea, RootDir ? RootDir->ISOSize : 0, now, now});
}

void TImageBuilder::WriteJolietDescriptor() {
    WriteVolumeDescriptor(*this, {vdSupplementary, true, JolietPathTableSize, JolietPathTableL, JolietPathTableM,
                                  JolietDirArea, RootDir ? RootDir->JolietSize : 0, DateCreation, DateModification});
}

void TImageBuilder::WriteBootRecord() {
    uint8_t* d = AppendSector(HeadStream);
    PutStandardId(d, vdBoot);
    const char system[] = "EL TORITO SPECIFICATION";
    std::memcpy(d + 7, system, sizeof system - 1);
    PutLittle32(d + 71, FitU32(BootCatalogLBA, "boot catalog"));
}

void TImageBuilder::WriteTerminator() {
    PutStandardId(AppendSector(HeadStream), vdTerminator);
}

int64_t TImageBuilder::HeadBytesBeforeBootImage() const {
    if (!HasBootRecord()) return static_cast<int64_t>(HeadStream.size());
    // The boot images laid out among the head follow the catalog.
    return std::min<int64_t>(int64_t(BootCatalogLBA + 1 - ImageStartLBA) * SectorSize, int64_t(HeadStream.size()));
}

bool TImageBuilder::BuildImageHead(bool ForImageFile, TDEntry* ImportTarget) {
    LastForImageFile = ForImageFile;
    LastImportTarget = ImportTarget;
    const int64_t headSectors = int64_t(FirstFileLBA) - ImageStartLBA - BootSectorsInHead();
    HeadStream.clear();
    HeadStream.shrink_to_fit();
    HeadStream.reserve(static_cast<size_t>(std::max<int64_t>(headSectors, 16)) * SectorSize);
    AppendZeroSectors(16);
    WritePrimaryDescriptor();
    if (HasBootRecord()) WriteBootRecord();
    if (JolietFileSystem) WriteJolietDescriptor();
    WriteTerminator();

    HeadBuffer.assign(HeadBufferBytes, 0xFF);
    std::copy_n(HeadStream.begin(), std::min(HeadStream.size(), HeadBufferBytes), HeadBuffer.begin());
    HeadLength = static_cast<int32_t>(HeadStream.size());

    WriteISOPathTable(ISODirArea, false);
    WriteISOPathTable(ISODirArea, true);
    if (JolietFileSystem) {
        WriteJolietPathTable(JolietDirArea, false);
        WriteJolietPathTable(JolietDirArea, true);
    }
    WriteISODirectories(ISODirArea, FirstFileLBA);
    if (JolietFileSystem) WriteJolietDirectories(JolietDirArea, FirstFileLBA);
    if (HasBootRecord()) WriteBootCatalog();
    AppendZeroSectors(PaddingSectors);
    if (int64_t(HeadStream.size()) != headSectors * SectorSize)
        throw std::logic_error("the image head does not match its layout; lay the compilation out again");
    DoDebug = true;
    return true;
}

}  // namespace kestrel
