// The quick save: the image head from memory, then the boot image and the
// file data in layout order, written on the calling thread.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <cstring>
#include <stdexcept>

#include "burner/iso/ImageBuilder.h"
#include "burner/iso/ImageFileWriter.h"
#include "burner/iso/IsoFormat.h"
#include "burner/iso/SourceFile.h"

namespace kestrel {

namespace {

using namespace iso;

// How often the progress event is raised, in bytes written.
constexpr int64_t ProgressStep = 8 << 20;

struct TFileId {
    dev_t Device;
    ino_t Inode;
};

bool SameFile(const std::string& Path, const TFileId& Id) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && st.st_dev == Id.Device && st.st_ino == Id.Inode;
}

}  // namespace

// Copies up to Count bytes of Source at Offset into the image: inside the
// kernel where it can, else through the writer's buffer. 0 at the end.
static int64_t CopyChunk(TSourceFile& Source, TImageFileWriter& Out, int64_t Offset, int64_t Count) {
    const int64_t copied = Out.CopyFrom(Source.Handle(), Source.Device(), Offset, Count);
    if (copied >= 0) return copied;
    const int error = errno;
    // No room for the image is the image's failure, whatever the source.
    if (error == ENOSPC || error == EFBIG || error == EDQUOT)
        throw std::runtime_error("CAN'T WRITE FILE \"" + Out.FileName() + "\": " + std::strerror(error));
    if (!TImageFileWriter::CopyUnsupported(error))
        throw std::runtime_error("CAN'T COPY FILE \"" + Source.Path() + "\" INTO \"" + Out.FileName() +
                                 "\": " + std::strerror(error));
    size_t granted = 0;
    uint8_t* room = Out.Room(static_cast<size_t>(Count), granted);
    const size_t n = Source.Read(room, granted, Offset);
    Out.Commit(n);
    return static_cast<int64_t>(n);
}

// Copies the bytes of Source up to the end of Patch (at most Laid) through
// the buffer with the patch laid over them; the source is only read.
static int64_t CopyPatched(TSourceFile& Source, TImageFileWriter& Out, const TBytePatch& Patch, int64_t Laid) {
    int64_t done = 0;
    const int64_t end = std::min(Laid, Patch.End());
    while (done < end) {
        size_t granted = 0;
        uint8_t* room = Out.Room(static_cast<size_t>(end - done), granted);
        const size_t n = Source.Read(room, granted, done);
        if (n == 0) break;
        Patch.ApplyTo(room, done, n);
        Out.Commit(n);
        done += static_cast<int64_t>(n);
    }
    return done;
}

// Copies exactly Laid bytes of Path, then zeros up to the sector boundary.
// A source that changed size since the layout keeps its laid-out length:
// padded with zeros or cut. Patch, when not empty, is laid over the copy.
// True when the copy is not the file: its size is not the laid-out one, or
// it was written to while it was copied.
static bool CopySource(const TImageBuilder& B, TImageFileWriter& Out, const std::string& Path, int64_t Laid,
                       const std::function<void()>& Progress, const TBytePatch* Patch = nullptr) {
    TSourceFile source(Path);
    int64_t done = Patch && !Patch->Empty() ? CopyPatched(source, Out, *Patch, Laid) : 0;
    while (done < Laid) {
        // Holes of sparse sources become holes (or zeros) in the image.
        const int64_t holeEnd = std::min(source.HoleEnd(done), Laid);
        if (holeEnd > done) {
            Out.AppendZeros(holeEnd - done);
            done = holeEnd;
            Progress();
            continue;
        }
        const int64_t want = std::clamp<int64_t>(std::min(Laid, source.DataEnd(done)) - done, 1, INT32_MAX);
        const int64_t n = CopyChunk(source, Out, done, want);
        if (n == 0) break;
        done += n;
        Progress();
    }
    const int64_t remaining = Laid - done;
    const std::string sizes = " (" + std::to_string(Laid) + " BYTES LAID OUT, ";
    bool changed = true;
    if (remaining > 0) {
        B.DebugMsg(">>> FILE SHRANK SINCE THE LAYOUT, PADDED WITH ZEROS: " + Path + sizes +
                       std::to_string(Laid - remaining) + " READ)", mtFailure);
        Out.AppendZeros(remaining);
    } else if (source.Size() > Laid) {
        B.DebugMsg(">>> FILE GREW SINCE THE LAYOUT, CUT TO ITS LAID-OUT LENGTH: " + Path + sizes +
                       std::to_string(source.Size()) + " NOW)", mtFailure);
    } else if (source.ChangedSinceOpened()) {
        B.DebugMsg(">>> FILE CHANGED WHILE IT WAS COPIED: " + Path, mtFailure);
    } else {
        changed = false;
    }
    Out.AppendZeros(SectorsFor(Laid) * SectorSize - Laid);
    return changed;
}

// Refuses an image file that is also one of the image's sources: creating
// it would destroy the data it is about to copy.
static void RefuseSourceAsTarget(const TImageBuilder& B, const std::string& FileName) {
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0) return;  // a new file cannot be a source
    const TFileId target{st.st_dev, st.st_ino};
    const auto refuse = [&](const std::string& Source) {
        throw std::runtime_error("CAN'T CREATE FILE \"" + FileName + "\": it is one of the image's sources (" +
                                 Source + ")");
    };
    for (const TBootFile& boot : B.BootFiles())
        if (SameFile(boot.Path, target)) refuse(boot.Path);
    for (const auto& e : B.FileTable)
        if (!e->Imported && !e->Dir && e->ISOSize > 0 && SameFile(e->SourcePath, target)) refuse(e->SourcePath);
}

void TImageBuilder::QuickSaveToISOFile(const std::string& FileName) {
    quickSaveAborted_ = false;
    changedSources_.clear();
    BuildLayout(true, LastImportTarget);
    BuildImageHead(true, LastImportTarget);
    RefuseSourceAsTarget(*this, FileName);

    const int64_t total = (ImageEndLBA - ImageStartLBA) * SectorSize;
    int64_t nextReport = 0;
    const auto checkAbort = [this] {
        if (quickSaveAborted_) throw std::runtime_error(QuickSaveAbortedText);
    };
    TImageFileWriter out(FileName, 256 << 10, checkAbort);
    const auto progress = [&] {
        checkAbort();
        ImageBytesWritten = out.Position();
        if (out.Position() < nextReport) return;
        nextReport = out.Position() + ProgressStep;
        if (OnImageProgress) OnImageProgress(this, out.Position(), total);
    };
    ImageBytesWritten = 0;
    // The boot images go between the boot catalog and the head's padding.
    const size_t beforeBoot = static_cast<size_t>(HeadBytesBeforeBootImage());
    out.Append(HeadStream.data(), beforeBoot);
    progress();
    const auto copy = [&](const std::string& Path, int64_t Laid, const TBytePatch* Patch) {
        if (CopySource(*this, out, Path, Laid, progress, Patch)) changedSources_.push_back(Path);
    };
    for (const TBootFile& boot : BootFiles())
        if (boot.InHead()) copy(boot.Path, boot.Bytes, &boot.Patch);
    out.Append(HeadStream.data() + beforeBoot, HeadStream.size() - beforeBoot);
    for (const auto& entry : FileTable) {
        const TFEntry& e = *entry;
        if (e.Imported || e.Dir || e.ISOSize == 0) continue;
        const int64_t expected = int64_t(FirstFileLBA) + e.JolietExtent;
        const int64_t actual = out.Position() / SectorSize;
        if (expected != actual)
            DebugMsg(">>> INTERNAL ERROR 0004 " + e.SourcePath + " " + std::to_string(expected) + "<>" +
                         std::to_string(actual), mtInternal);
        checkAbort();
        const TBootFile* boot = BootFileOf(&e);
        copy(e.SourcePath, e.ISOSize, boot ? &boot->Patch : nullptr);
    }
    out.Close();
    ImageBytesWritten = out.Position();
    if (OnImageProgress) OnImageProgress(this, out.Position(), total);
    // The image is complete, but a file in it is not what its source holds.
    if (!changedSources_.empty()) throw std::runtime_error(ChangedSourcesError(changedSources_));
}

}  // namespace kestrel
