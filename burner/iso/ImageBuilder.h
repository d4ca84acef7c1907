#pragma once
// Lays the compilation out as an ISO 9660 image with a Joliet supplementary
// volume and an optional El Torito boot record, builds the image head, and
// writes the image file directly (the quick save).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <string>
#include <vector>

#include "burner/iso/BootFiles.h"
#include "burner/iso/Compilation.h"
#include "burner/iso/IsoTree.h"
#include "burner/iso/Relocation.h"

namespace kestrel {

namespace iso {
class TRockRidge;
}

class TImageBuilder;

// The error of a quick save stopped by AbortQuickSave.
inline constexpr const char* QuickSaveAbortedText = "OPERATION ABORTED BY USER";
// The error of a write that completed although the sources named changed
// while they were read: their copies are not what the files hold.
std::string ChangedSourcesError(const std::vector<std::string>& Paths);

// Progress of the quick save: bytes of the image written so far and in all.
using TImageProgressEvent = std::function<void(TImageBuilder* Sender, int64_t Done, int64_t Total)>;

class TImageBuilder : public TCompilation {
public:
    TImageBuilder();
    ~TImageBuilder() override;

    // ---- Layout -------------------------------------------------------------
    // Orders and numbers the directories and gives every region, directory
    // and file its sectors. ForImageFile: the image starts at LBA 0 and no
    // drive is consulted. Always true; values that cannot be represented in
    // the image throw std::range_error, boot files the image cannot use
    // throw TBootRefusal.
    bool BuildLayout(bool ForImageFile, TDEntry* ImportTarget);
    // Image size in sectors; at least 300 while WritePostGap is set.
    int64_t ImageSectors() const;

    int32_t ImageStartLBA = 0;
    int32_t ISOPathTableL = 0, ISOPathTableM = 0;
    int32_t JolietPathTableL = 0, JolietPathTableM = 0;
    int64_t ISOPathTableSize = 0, JolietPathTableSize = 0;
    int32_t ISODirArea = 0, JolietDirArea = 0;
    int64_t ISODirBytes = 0, JolietDirBytes = 0;
    // Rock Ridge continuation areas, right after the ISO 9660 directory area.
    int32_t ContinuationLBA = 0;
    int64_t ContinuationSectors = 0;
    int32_t BootCatalogLBA = 0, BootImageLBA = 0, BootImageSectors = 0;
    int32_t PaddingSectors = 0;
    int32_t FirstFileLBA = 0;
    int64_t FileSectors = 0;
    int64_t ImageEndLBA = 0;
    // Session to import during a layout for a disc; 0 = none, -1 = the last.
    int16_t SessionToImport = 0;

    // UEFI boot image: where the layout put it.
    int32_t EfiImageLBA = 0, EfiImageSectors = 0;

    bool WritePostGap = true;
    // A BIOS boot entry for BootImageFile: a diskette or hard disk emulated
    // from the image (its size decides which), or with BootNoEmulation a
    // boot loader loaded as it is, BootLoadSize 512-byte units of it (0 =
    // the default), with BootInfoTable the boot information table written
    // into its copy in the image.
    bool Bootable = false;
    std::string BootImageFile;
    bool BootNoEmulation = false;
    int32_t BootLoadSize = 0;
    bool BootInfoTable = false;
    // A UEFI boot entry for EfiBootImageFile, an EFI system partition image
    // (a FAT file system).
    bool EfiBootable = false;
    std::string EfiBootImageFile;
    // The boot files of the last layout in catalog order (the BIOS entry
    // first); empty when the image is not bootable. Part of the plan: valid
    // until the compilation changes.
    const std::vector<TBootFile>& BootFiles() const { return bootFiles_; }
    bool HasBootRecord() const { return !bootFiles_.empty(); }
    // Chooses and checks the boot files as the layout does; throws
    // TBootRefusal for a file the image cannot use. Lets a caller refuse
    // before it changes anything.
    void CheckBootFiles() { ChooseBootFiles(); }
    // The boot file that Entry is, or null.
    const TBootFile* BootFileOf(const TFEntry* Entry) const;

    // ---- Image head ---------------------------------------------------------
    // Writes the system area, descriptors, path tables, directory extents,
    // boot catalog and padding into HeadStream. Always true.
    bool BuildImageHead(bool ForImageFile, TDEntry* ImportTarget);

    std::string IdSystem, IdVolume, IdVolumeSet, IdPublisher, IdPreparer, IdApplication;
    std::string FileCopyright, FileAbstract, FileBibliographic;
    TDateTime DateCreation = 0, DateModification = 0, DateEffective = 0, DateExpiration = 0;

    // The image from the system area up to the boot image (or the first file).
    std::vector<uint8_t> HeadStream;
    // A copy of the system area and the volume descriptors for the write
    // thread; the rest of its 65,537 bytes is FFh.
    std::vector<uint8_t> HeadBuffer;
    int32_t HeadLength = 0;
    // Bytes of HeadStream that precede the boot images in the image: the
    // boot images laid out among the head go between them and the rest of
    // the head (the padding up to the first file). The whole head when the
    // image is not bootable.
    int64_t HeadBytesBeforeBootImage() const;
    // The arguments of the last head build, so a burn can repeat the layout.
    bool LastForImageFile = true;
    TDEntry* LastImportTarget = nullptr;

    // Record writers; each appends to HeadStream.
    void WriteISOPathTable(int32_t Base, bool BigEndian);
    void WriteJolietPathTable(int32_t Base, bool BigEndian);
    void WriteISODirectories(int32_t DirBase, int32_t FileBase);
    void WriteJolietDirectories(int32_t DirBase, int32_t FileBase);
    void WritePrimaryDescriptor();
    void WriteBootRecord();
    void WriteJolietDescriptor();
    void WriteTerminator();
    void WriteBootCatalog();

    // ---- Quick save ---------------------------------------------------------
    // Lays the image out for a file and writes it to FileName on the calling
    // thread. Throws std::runtime_error (std::range_error for sizes that do
    // not fit) with a clear text on failure; FileName then keeps what it
    // held. Sources that changed while they were copied are finished as laid
    // out, the image is completed, and then the save throws
    // ChangedSourcesError.
    void QuickSaveToISOFile(const std::string& FileName);
    // Asks a running quick save (on another thread) to stop; it throws
    // QuickSaveAbortedText.
    void AbortQuickSave() { quickSaveAborted_ = true; }
    // The sources of the last write whose copies are not the files: they
    // changed size since the layout or were written to while they were read.
    // Valid once the write has ended.
    const std::vector<std::string>& ChangedSources() const { return changedSources_; }

    // Raised on the calling thread while the quick save writes.
    TImageProgressEvent OnImageProgress;
    std::atomic<int64_t> ImageBytesWritten{0};

protected:
    std::vector<std::string> changedSources_;

    // The disc start of a layout that is not for an image file: may set
    // ImageStartLBA and add the entries of an imported session. The builder
    // itself knows no drive and leaves the image at LBA 0.
    virtual bool LayoutDiscStart(TDEntry* ImportTarget);

    // The primary tree as the layout and the writers see it: with Rock
    // Ridge its system-use producer and the relocation of deep directories.
    iso::TIsoTree PrimaryTree() const;
    // Directories of the primary tree in path-table order, and their numbers
    // there: ISODirOrder, plus the relocation directory when there is one.
    const std::vector<TDEntry*>& PrimaryPathOrder() const;
    int32_t PrimaryNumber(const TDEntry& Dir) const;

private:
    void OrderDirectories();
    void OrderRelocatedTree();
    void WriteDirectories(const iso::TIsoTree& Tree, int32_t DirBase, int32_t FileBase);
    void LogMultiExtentFiles() const;
    void SizeDirectoryExtents();
    void PlanSectors();
    void PlaceFiles();
    void AppendZeroSectors(int64_t Count);
    // The boot items: the files chosen, checked and matched with the
    // compilation's files; their sectors after the boot catalog at Cur (the
    // next free sector returned); then, once the files have their extents,
    // the entries' addresses and the boot information table.
    void ChooseBootFiles();
    int64_t PlanBootSectors(int64_t Cur);
    void FinishBootFiles();
    // Sectors of the boot files laid out among the head.
    int64_t BootSectorsInHead() const;

    std::vector<TBootFile> bootFiles_;
    std::atomic<bool> quickSaveAborted_{false};
    iso::TRelocation relocation_;
    std::unique_ptr<iso::TRockRidge> rockRidge_;
    // Set only while directories are relocated: the primary path-table order
    // differs from the Joliet one then.
    std::vector<TDEntry*> relocatedOrder_;
    std::unordered_map<const TDEntry*, int32_t> relocatedNumbers_;
};

}  // namespace kestrel
