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

namespace kestrel {

namespace {

using namespace iso;

// How often the progress event is raised, in bytes written.
constexpr int64_t ProgressStep = 8 << 20;

[[noreturn]] void FailSource(const std::string& What, const std::string& Path, int Error) {
    throw std::runtime_error(What + " \"" + Path + "\": " + std::strerror(Error));
}

// An open source file, closed on every way out.
class TSourceFile {
public:
    explicit TSourceFile(const std::string& Path) : path_(Path) {
        // O_NONBLOCK keeps a source that became a FIFO from blocking the open.
        fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) FailSource("CAN'T OPEN FILE", Path, errno);
        struct stat st {};
        if (::fstat(fd_, &st) != 0) FailSource("CAN'T READ FILE", Path, errno);
        if (!S_ISREG(st.st_mode))
            throw std::runtime_error("CAN'T READ FILE \"" + Path + "\": it is no longer a regular file");
        size_ = st.st_size;
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~TSourceFile() { ::close(fd_); }
    TSourceFile(const TSourceFile&) = delete;
    TSourceFile& operator=(const TSourceFile&) = delete;

    int64_t Size() const { return size_; }
    // Bytes read into Buffer; 0 at the end; a read error throws.
    size_t Read(uint8_t* Buffer, size_t Count) {
        for (;;) {
            const ssize_t n = ::read(fd_, Buffer, Count);
            if (n >= 0) return static_cast<size_t>(n);
            if (errno != EINTR) FailSource("CAN'T READ FILE", path_, errno);
        }
    }

private:
    std::string path_;
    int fd_ = -1;
    int64_t size_ = 0;
};

struct TFileId {
    dev_t Device;
    ino_t Inode;
};

bool SameFile(const std::string& Path, const TFileId& Id) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && st.st_dev == Id.Device && st.st_ino == Id.Inode;
}

}  // namespace

// Copies exactly Laid bytes of Path, then zeros up to the sector boundary.
// A source that changed size since the layout keeps its laid-out length.
static void CopySource(const TImageBuilder& B, TImageFileWriter& Out, const std::string& Path, int64_t Laid,
                       const std::function<void()>& Progress) {
    TSourceFile source(Path);
    int64_t remaining = Laid;
    while (remaining > 0) {
        size_t granted = 0;
        uint8_t* room = Out.Room(static_cast<size_t>(std::min<int64_t>(remaining, INT32_MAX)), granted);
        const size_t n = source.Read(room, granted);
        if (n == 0) break;
        Out.Commit(n);
        remaining -= static_cast<int64_t>(n);
        Progress();
    }
    const std::string sizes = " (" + std::to_string(Laid) + " BYTES LAID OUT, ";
    if (remaining > 0) {
        B.DebugMsg(">>> FILE SHRANK SINCE THE LAYOUT, PADDED WITH ZEROS: " + Path + sizes +
                       std::to_string(Laid - remaining) + " READ)", mtFailure);
        Out.AppendZeros(remaining);
    } else if (source.Size() > Laid) {
        B.DebugMsg(">>> FILE GREW SINCE THE LAYOUT, CUT TO ITS LAID-OUT LENGTH: " + Path + sizes +
                       std::to_string(source.Size()) + " NOW)", mtFailure);
    }
    Out.AppendZeros(SectorsFor(Laid) * SectorSize - Laid);
}

// Refuses an image file that is also one of the image's sources: creating
// it would destroy the data it is about to copy.
static void RefuseSourceAsTarget(const TImageBuilder& B, const std::string& FileName) {
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0) return;  // a new file cannot be a source
    if (S_ISDIR(st.st_mode)) throw std::runtime_error("CAN'T CREATE FILE \"" + FileName + "\": it is a directory");
    const TFileId target{st.st_dev, st.st_ino};
    const auto refuse = [&](const std::string& Source) {
        throw std::runtime_error("CAN'T CREATE FILE \"" + FileName + "\": it is one of the image's sources (" +
                                 Source + ")");
    };
    if (B.Bootable && SameFile(B.BootImageFile, target)) refuse(B.BootImageFile);
    for (const auto& e : B.FileTable)
        if (!e->Imported && !e->Dir && e->ISOSize > 0 && SameFile(e->SourcePath, target)) refuse(e->SourcePath);
}

void TImageBuilder::QuickSaveToISOFile(const std::string& FileName) {
    BuildLayout(true, LastImportTarget);
    BuildImageHead(true, LastImportTarget);
    RefuseSourceAsTarget(*this, FileName);

    const int64_t total = (ImageEndLBA - ImageStartLBA) * SectorSize;
    int64_t nextReport = 0;
    TImageFileWriter out(FileName);
    const auto progress = [&] {
        ImageBytesWritten = out.Position();
        if (out.Position() < nextReport) return;
        nextReport = out.Position() + ProgressStep;
        if (OnImageProgress) OnImageProgress(this, out.Position(), total);
    };
    ImageBytesWritten = 0;
    // The boot image goes between the boot catalog and the head's padding.
    const size_t beforeBoot = static_cast<size_t>(HeadBytesBeforeBootImage());
    out.Append(HeadStream.data(), beforeBoot);
    progress();
    if (Bootable) CopySource(*this, out, BootImageFile, bootImageBytes_, progress);
    out.Append(HeadStream.data() + beforeBoot, HeadStream.size() - beforeBoot);
    for (const auto& entry : FileTable) {
        const TFEntry& e = *entry;
        if (e.Imported || e.Dir || e.ISOSize == 0) continue;
        const int64_t expected = int64_t(FirstFileLBA) + e.JolietExtent;
        const int64_t actual = out.Position() / SectorSize;
        if (expected != actual)
            DebugMsg(">>> INTERNAL ERROR 0004 " + e.SourcePath + " " + std::to_string(expected) + "<>" +
                         std::to_string(actual), mtInternal);
        CopySource(*this, out, e.SourcePath, e.ISOSize, progress);
    }
    out.Close();
    ImageBytesWritten = out.Position();
    if (OnImageProgress) OnImageProgress(this, out.Position(), total);
}

}  // namespace kestrel
