// The boot items of the layout: the boot catalog after the directory
// extents, then the boot files that are not files of the compilation, each
// on whole sectors, before the first file. A boot file that is also a file
// of the compilation is not copied twice: its entry points at the file's
// own extent.
#include <sys/stat.h>

#include "burner/iso/BootCatalogFields.h"
#include "burner/iso/ImageBuilder.h"
#include "burner/iso/IsoFormat.h"

namespace kestrel {

namespace {

using namespace iso;

// A regular file's identity and size.
struct TFileId {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    int64_t Bytes = 0;
};

TFileId RegularFile(const std::string& Path) {
    struct stat st {};
    if (Path.empty() || ::stat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return {true, st.st_dev, st.st_ino, st.st_size};
}

// EFI entries count the whole image in 512-byte units; an image too large
// for the field gets 0, which firmware takes as "up to the end of the
// volume" (the file system's own size bounds it).
uint16_t EfiLoadUnits(int64_t Bytes) {
    const int64_t units = (Bytes + eltorito::LoadUnitBytes - 1) / eltorito::LoadUnitBytes;
    return units <= UINT16_MAX ? static_cast<uint16_t>(units) : 0;
}

}  // namespace

// The compilation's own copy of a boot file, found by the file's identity
// (the compilation may name it by another path). Only entries of the same
// size are looked at more closely.
static const TFEntry* CompilationCopy(const TImageBuilder& B, const TFileId& Id) {
    for (const auto& entry : B.FileTable) {
        const TFEntry& e = *entry;
        if (e.Imported || e.Dir || e.ISOSize != Id.Bytes || e.SourcePath.empty()) continue;
        const TFileId source = RegularFile(e.SourcePath);
        if (source.Exists && source.Device == Id.Device && source.Inode == Id.Inode) return &e;
    }
    return nullptr;
}

void TImageBuilder::ChooseBootFiles() {
    bootFiles_.clear();
    BootCatalogLBA = BootImageLBA = BootImageSectors = EfiImageLBA = EfiImageSectors = 0;
    const TFileId bios = RegularFile(BootImageFile);
    // A missing BIOS boot image switches its entry off for this and later layouts.
    if (!bios.Exists) Bootable = false;
    const TFileId efi = RegularFile(EfiBootImageFile);
    if (EfiBootable && !efi.Exists) {
        DebugMsg(">>> UEFI BOOT IMAGE NOT FOUND, THE IMAGE GETS NO UEFI BOOT ENTRY: " + EfiBootImageFile, mtFailure);
        EfiBootable = false;
    }
    if (Bootable) {
        TBootFile file;
        file.Role = BootNoEmulation ? TBootRole::BiosNoEmulation : TBootRole::BiosEmulation;
        file.Path = BootImageFile;
        file.Bytes = bios.Bytes;
        file.LoadUnits = 1;  // an emulated disk loads its boot sector
        if (BootNoEmulation) {
            file.LoadUnits = NoEmulationLoadUnits(file.Path, file.Bytes, BootLoadSize);
            if (BootInfoTable) CheckInfoTableFits(file.Path, file.Bytes);
        }
        file.Entry = CompilationCopy(*this, bios);
        bootFiles_.push_back(std::move(file));
    }
    if (EfiBootable) {
        CheckEfiImage(EfiBootImageFile);
        TBootFile file;
        file.Role = TBootRole::Efi;
        file.Path = EfiBootImageFile;
        file.Bytes = efi.Bytes;
        file.LoadUnits = EfiLoadUnits(efi.Bytes);
        file.Entry = CompilationCopy(*this, efi);
        bootFiles_.push_back(std::move(file));
    }
    for (TBootFile& file : bootFiles_) file.Sectors = FitLBA(SectorsFor(file.Bytes), "boot image size");
}

int64_t TImageBuilder::PlanBootSectors(int64_t Cur) {
    if (bootFiles_.empty()) return Cur;
    BootCatalogLBA = FitLBA(Cur++, "boot catalog");
    for (TBootFile& file : bootFiles_) {
        if (!file.InHead()) continue;
        file.LBA = FitLBA(Cur, "boot image");
        Cur += file.Sectors;
    }
    return Cur;
}

void TImageBuilder::FinishBootFiles() {
    for (TBootFile& file : bootFiles_) {
        if (!file.InHead()) file.LBA = FitLBA(int64_t(FirstFileLBA) + file.Entry->ISOExtent, "boot file");
        if (file.Role == TBootRole::BiosNoEmulation && BootInfoTable)
            file.Patch = MakeBootInfoTable(file.Path, file.Bytes, FitU32(int64_t(ImageStartLBA) + 16, "volume"),
                                           FitU32(file.LBA, "boot file"));
        int32_t& lba = file.Role == TBootRole::Efi ? EfiImageLBA : BootImageLBA;
        int32_t& sectors = file.Role == TBootRole::Efi ? EfiImageSectors : BootImageSectors;
        lba = file.LBA;
        sectors = file.Sectors;
    }
}

int64_t TImageBuilder::BootSectorsInHead() const {
    int64_t sectors = 0;
    for (const TBootFile& file : bootFiles_)
        if (file.InHead()) sectors += file.Sectors;
    return sectors;
}

const TBootFile* TImageBuilder::BootFileOf(const TFEntry* Entry) const {
    for (const TBootFile& file : bootFiles_)
        if (Entry && file.Entry == Entry) return &file;
    return nullptr;
}

}  // namespace kestrel
