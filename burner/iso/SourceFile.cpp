#include "burner/iso/SourceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "burner/common/FileKind.h"

namespace kestrel::iso {

namespace {

// Files smaller than this are read straight through; looking for holes
// would cost more than it saves.
constexpr int64_t MinSparseBytes = 1 << 20;

[[noreturn]] void Fail(const std::string& What, const std::string& Path, int Error) {
    throw std::runtime_error(What + " \"" + Path + "\": " + std::strerror(Error));
}

}  // namespace

TSourceFile::TSourceFile(const std::string& Path) : path_(Path) {
    // O_NONBLOCK keeps a source that became a FIFO from blocking the open.
    fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    // Another program holds a lease on the file, which only a regular file
    // can carry: wait until it lets go, as a plain open does.
    if (fd_ < 0 && errno == EWOULDBLOCK) fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) Fail("CAN'T OPEN FILE", Path, errno);
    struct stat st {};
    const int error = ::fstat(fd_, &st) != 0 ? errno : 0;
    if (error != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        if (error != 0) Fail("CAN'T READ FILE", Path, error);
        throw std::runtime_error("CAN'T OPEN FILE \"" + Path + "\": IT IS " + FileKindName(st.st_mode));
    }
    size_ = st.st_size;
    device_ = st.st_dev;
    modified_ = st.st_mtim;
    // Fewer allocated blocks than the size needs: the file has holes.
    sparse_ = size_ >= MinSparseBytes && int64_t(st.st_blocks) * 512 < size_;
    if (size_ >= MinSparseBytes) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

TSourceFile::~TSourceFile() { ::close(fd_); }

bool TSourceFile::ChangedSinceOpened() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return true;
    return st.st_size != size_ || st.st_mtim.tv_sec != modified_.tv_sec || st.st_mtim.tv_nsec != modified_.tv_nsec;
}

size_t TSourceFile::Read(uint8_t* Buffer, size_t Count, int64_t Offset) {
    for (;;) {
        const ssize_t n = ::pread(fd_, Buffer, Count, Offset);
        if (n >= 0) return static_cast<size_t>(n);
        if (errno != EINTR) Fail("CAN'T READ FILE", path_, errno);
    }
}

int64_t TSourceFile::HoleEnd(int64_t Offset) {
    if (!sparse_ || Offset >= size_) return Offset;
    const off_t data = ::lseek(fd_, Offset, SEEK_DATA);
    if (data >= 0) return std::min<int64_t>(data, size_);
    if (errno == ENXIO) return size_;  // nothing but hole up to the end
    sparse_ = false;                   // the file system cannot tell
    return Offset;
}

int64_t TSourceFile::DataEnd(int64_t Offset) {
    if (!sparse_) return size_;
    const off_t hole = ::lseek(fd_, Offset, SEEK_HOLE);
    return hole > Offset ? std::min<int64_t>(hole, size_) : size_;
}

}  // namespace kestrel::iso
