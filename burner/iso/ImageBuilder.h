#pragma once
// Lays the compilation out as an ISO 9660 image with a Joliet supplementary
// volume and an optional El Torito boot record, builds the image head, and
// writes the image file directly (the quick save).
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "burner/iso/BootFiles.h"
#include "burner/iso/Compilation.h"

namespace kestrel {

class TImageBuilder;
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
    // not fit) with a clear text on failure.
    void QuickSaveToISOFile(const std::string& FileName);

    // Raised on the calling thread while the quick save writes.
    TImageProgressEvent OnImageProgress;
    std::atomic<int64_t> ImageBytesWritten{0};

protected:
    // The disc start of a layout that is not for an image file: may set
    // ImageStartLBA and add the entries of an imported session. The builder
    // itself knows no drive and leaves the image at LBA 0.
    virtual bool LayoutDiscStart(TDEntry* ImportTarget);

private:
    void OrderDirectories();
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
};

}  // namespace kestrel
