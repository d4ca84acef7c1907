// The image file build through the cache and the write thread (the normal
// save), and the stream of a laid-out compilation that every write uses.
#include <exception>
#include <stdexcept>

#include "burner/engine/EngineMessages.h"
#include "burner/engine/KestrelBurner.h"

namespace kestrel {
namespace {

constexpr int64_t kSector = 2048;

int64_t SectorsOf(int64_t Bytes) { return (Bytes + kSector - 1) / kSector; }

bool IsDirectoryEntry(const TFEntry& Entry) { return Entry.Dir != nullptr || (Entry.Attr & faDirectory); }

}  // namespace

int TKestrelBurner::SaveToISOFile(const std::string& FileName, bool Quick) {
    if (Quick) {
        if (IsEmpty()) throw std::runtime_error(msgNothingToWrite);
        ISOFileName = FileName;
        QuickSaveToISOFile(FileName);
        if (OnWriteDone) OnWriteDone(this, "");
        return 1;
    }
    if (writing_) return -1;
    ISOFileName = FileName;
    std::string error;
    try {
        if (IsEmpty()) throw std::runtime_error(msgNothingToWrite);
        // An image file never consults the drive: no disc start, no import.
        BuildLayout(true, LastImportTarget);
        BuildImageHead(true, LastImportTarget);
        error = CheckImageTarget();
    } catch (const std::exception& e) {
        error = e.what();
    }
    TJob job;
    job.Target = TWriteTarget::ImageFile;
    job.Prepare = [this, error] {
        if (!error.empty()) return error;
        TCacheJob stream;
        std::string failure = BuildCompilationStream(TCacheThread::MaxBlockSize, stream);
        return failure.empty() ? StartCache(std::move(stream)) : failure;
    };
    BeginJob(std::move(job));
    return -1;
}

std::string TKestrelBurner::BuildCompilationStream(int32_t BlockSize, TCacheJob& Job) {
    Job.CacheSize = cacheSize_;
    Job.BlockSize = BlockSize;
    Job.PadToMinimum = WritePostGap;
    Job.TotalBytes = (ImageEndLBA - ImageStartLBA) * kSector;
    Job.Files.clear();
    head_ = HeadStream;
    // The head runs from the image start up to the boot images (which
    // follow the boot catalog) or the first file; zero gaps fill whatever
    // the head leaves before them.
    const int64_t headEnd = HasBootRecord() ? int64_t(BootCatalogLBA) + 1 : FirstFileLBA;
    int64_t headSectors = std::min<int64_t>(static_cast<int64_t>(head_.size()) / kSector, headEnd - ImageStartLBA);
    if (headSectors < 0) return msgInternalError0005;
    Job.Head = head_.data();
    Job.HeadSize = static_cast<size_t>(headSectors * kSector);
    int64_t lba = ImageStartLBA + headSectors;
    for (const TBootFile& boot : BootFiles()) {
        if (!boot.InHead()) continue;
        if (boot.LBA < lba) return msgInternalError0005;
        Job.Files.push_back({"", (boot.LBA - lba) * kSector});
        Job.Files.push_back({.Path = boot.Path, .Size = int64_t(boot.Sectors) * kSector, .SizeIsSectors = true,
                             .Patch = boot.Patch});
        lba = int64_t(boot.LBA) + boot.Sectors;
    }
    if (lba > FirstFileLBA) return msgInternalError0005;
    Job.Files.push_back({"", (FirstFileLBA - lba) * kSector});
    // Files follow in the order of their extents, each from a sector boundary.
    int64_t fileSectors = 0;
    for (const auto& entry : FileTable) {
        if (IsDirectoryEntry(*entry) || entry->Imported || entry->ISOSize <= 0) continue;
        if (entry->SourcePath.empty() || entry->ISOExtent != fileSectors) return msgInternalError0005;
        const TBootFile* boot = BootFileOf(entry.get());
        Job.Files.push_back({.Path = entry->SourcePath, .Size = entry->ISOSize, .Patch = boot ? boot->Patch : TBytePatch{}});
        fileSectors += SectorsOf(entry->ISOSize);
    }
    if (FirstFileLBA + fileSectors != ImageEndLBA) return msgInternalError0005;
    return {};
}

}  // namespace kestrel
