#include "model/DiscImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace vdrive {
namespace {

[[noreturn]] void Fail(const std::string& What, const std::string& Path) {
    throw std::runtime_error(What + " " + Path + ": " + std::strerror(errno));
}

bool IsZero(const uint8_t* Data, size_t Length) {
    // Word-wise scan; blocks are 2048 bytes so the length is a multiple of 8.
    const uint8_t* end = Data + Length;
    for (; Data + 8 <= end; Data += 8) {
        uint64_t w;
        std::memcpy(&w, Data, 8);
        if (w) return false;
    }
    for (; Data < end; ++Data)
        if (*Data) return false;
    return true;
}

void WriteAll(int Fd, const uint8_t* Data, size_t Length, uint64_t Offset, const std::string& Path) {
    while (Length) {
        ssize_t n = ::pwrite(Fd, Data, Length, static_cast<off_t>(Offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot write", Path);
        }
        Data += n;
        Length -= static_cast<size_t>(n);
        Offset += static_cast<uint64_t>(n);
    }
}

}  // namespace

DiscImage::DiscImage(std::string Path) : path_(std::move(Path)) { Open(); }

DiscImage::~DiscImage() {
    if (fd_ >= 0) ::close(fd_);
}

void DiscImage::Open() {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) Fail("cannot open", path_);
}

void DiscImage::PunchHole(uint64_t Offset, uint64_t Length) {
    if (::fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(Offset),
                    static_cast<off_t>(Length)) == 0)
        return;
    // File systems without hole punching get real zeros.
    std::vector<uint8_t> zeros(64 * 1024);
    while (Length) {
        size_t n = Length < zeros.size() ? static_cast<size_t>(Length) : zeros.size();
        WriteAll(fd_, zeros.data(), n, Offset, path_);
        Offset += n;
        Length -= n;
    }
}

void DiscImage::Write(uint32_t Lba, const uint8_t* Data, uint32_t Blocks, bool Fresh) {
    uint64_t offset = uint64_t(Lba) * kBlockSize;
    uint32_t i = 0;
    while (i < Blocks) {
        bool zero = IsZero(Data + size_t(i) * kBlockSize, kBlockSize);
        uint32_t j = i + 1;
        while (j < Blocks && IsZero(Data + size_t(j) * kBlockSize, kBlockSize) == zero) ++j;
        uint64_t runOffset = offset + uint64_t(i) * kBlockSize;
        uint64_t runLength = uint64_t(j - i) * kBlockSize;
        if (!zero) WriteAll(fd_, Data + size_t(i) * kBlockSize, runLength, runOffset, path_);
        else if (!Fresh) PunchHole(runOffset, runLength);
        i = j;
    }
}

void DiscImage::Read(uint32_t Lba, uint8_t* Data, uint32_t Blocks) {
    uint64_t offset = uint64_t(Lba) * kBlockSize;
    size_t length = size_t(Blocks) * kBlockSize;
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(fd_, Data + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot read", path_);
        }
        if (n == 0) break;  // past the end of the file: never written
        done += static_cast<size_t>(n);
    }
    std::memset(Data + done, 0, length - done);
}

void DiscImage::Erase(uint32_t Lba, uint32_t Blocks) {
    if (Blocks) PunchHole(uint64_t(Lba) * kBlockSize, uint64_t(Blocks) * kBlockSize);
}

void DiscImage::EraseAll() {
    if (::ftruncate(fd_, 0) != 0) Fail("cannot truncate", path_);
}

void DiscImage::Flush() { ::fdatasync(fd_); }

void CopySparse(int SourceFd, uint64_t Length, const std::string& Target) {
    int out = ::open(Target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) Fail("cannot create", Target);
    std::vector<uint8_t> buf(1 << 20);
    uint64_t pos = 0;
    try {
        while (pos < Length) {
            // Holes of the source stay holes; only its data regions are read.
            off_t data = ::lseek(SourceFd, static_cast<off_t>(pos), SEEK_DATA);
            if (data < 0) break;  // ENXIO: nothing but holes up to the end
            off_t hole = ::lseek(SourceFd, data, SEEK_HOLE);
            uint64_t end = std::min<uint64_t>(Length, hole < 0 ? Length : static_cast<uint64_t>(hole));
            pos = static_cast<uint64_t>(data);
            while (pos < end) {
                size_t want = static_cast<size_t>(std::min<uint64_t>(end - pos, buf.size()));
                ssize_t n = ::pread(SourceFd, buf.data(), want, static_cast<off_t>(pos));
                if (n < 0) {
                    if (errno == EINTR) continue;
                    Fail("cannot read the disc for", Target);
                }
                if (n == 0) break;
                for (size_t at = 0; at < static_cast<size_t>(n); at += kBlockSize) {
                    size_t len = std::min<size_t>(kBlockSize, static_cast<size_t>(n) - at);
                    if (!IsZero(buf.data() + at, len)) WriteAll(out, buf.data() + at, len, pos + at, Target);
                }
                pos += static_cast<uint64_t>(n);
            }
            if (pos < end) break;  // the source ended early
        }
        if (::ftruncate(out, static_cast<off_t>(Length)) != 0) Fail("cannot size", Target);
    } catch (...) {
        ::close(out);
        throw;
    }
    if (::close(out) != 0) Fail("cannot close", Target);
}

}  // namespace vdrive
