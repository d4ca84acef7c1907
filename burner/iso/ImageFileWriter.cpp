#include "burner/iso/ImageFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kestrel::iso {

TImageFileWriter::TImageFileWriter(const std::string& FileName, size_t BufferBytes,
                                   const std::function<void()>& WhileWaiting)
    : target_(FileName, WhileWaiting), fd_(target_.Handle()), regular_(target_.IsRegular()), buffer_(BufferBytes) {}

TImageFileWriter::~TImageFileWriter() = default;

void TImageFileWriter::Fail(const std::string& What, int Error) const {
    throw std::runtime_error(What + " \"" + FileName() + "\": " + std::strerror(Error));
}

namespace {

bool AllZero(const uint8_t* Data, size_t Count) {
    return Count > 0 && Data[0] == 0 && std::memcmp(Data, Data + 1, Count - 1) == 0;
}

}  // namespace

void TImageFileWriter::Flush() {
    // A regular file gets a hole where a whole buffer is zero: sparse sources
    // and padding then cost neither disk space nor write time.
    if (regular_ && used_ == buffer_.size() && AllZero(buffer_.data(), used_)) {
        flushed_ += static_cast<int64_t>(used_);
        used_ = 0;
        return;
    }
    size_t done = 0;
    while (done < used_) {
        const ssize_t n = regular_ ? ::pwrite(fd_, buffer_.data() + done, used_ - done, flushed_ + int64_t(done))
                                   : ::write(fd_, buffer_.data() + done, used_ - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("CAN'T WRITE FILE", errno);
        if (n == 0) Fail("CAN'T WRITE FILE", ENOSPC);
        done += static_cast<size_t>(n);
    }
    flushed_ += static_cast<int64_t>(used_);
    used_ = 0;
}

uint8_t* TImageFileWriter::Room(size_t Wanted, size_t& Granted) {
    if (used_ == buffer_.size()) Flush();
    Granted = std::min(Wanted, buffer_.size() - used_);
    return buffer_.data() + used_;
}

void TImageFileWriter::Append(const void* Data, size_t Count) {
    const auto* p = static_cast<const uint8_t*>(Data);
    while (Count > 0) {
        size_t granted = 0;
        uint8_t* room = Room(Count, granted);
        std::memcpy(room, p, granted);
        Commit(granted);
        p += granted;
        Count -= granted;
    }
}

void TImageFileWriter::AppendZeros(int64_t Count) {
    if (regular_ && used_ == 0) {
        // Nothing pending: leave a gap, which the next write or the final
        // length turns into zeros.
        flushed_ += Count;
        return;
    }
    const auto bufferBytes = static_cast<int64_t>(buffer_.size());
    while (Count > 0) {
        if (regular_ && used_ == 0) {
            flushed_ += Count;
            return;
        }
        size_t granted = 0;
        uint8_t* room = Room(static_cast<size_t>(std::min(Count, bufferBytes)), granted);
        std::memset(room, 0, granted);
        Commit(granted);
        Count -= static_cast<int64_t>(granted);
    }
}

bool TImageFileWriter::CopyUnsupported(int Error) {
    return Error == EXDEV || Error == EINVAL || Error == ENOSYS || Error == EOPNOTSUPP || Error == EBADF;
}

int64_t TImageFileWriter::CopyFrom(int Fd, uint64_t SourceDevice, int64_t SourceOffset, int64_t Count) {
    if (!regular_ || noCopyDevices_.count(SourceDevice)) {
        errno = EINVAL;
        return -1;
    }
    Flush();
    for (;;) {
        loff_t in = SourceOffset, out = flushed_;
        const ssize_t n = ::copy_file_range(Fd, &in, fd_, &out, static_cast<size_t>(Count), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (CopyUnsupported(errno)) noCopyDevices_.insert(SourceDevice);
            return -1;
        }
        flushed_ += n;
        return n;
    }
}

void TImageFileWriter::Close() {
    if (fd_ < 0) return;
    Flush();
    // A trailing hole still counts to the file's length.
    if (regular_ && ::ftruncate(fd_, flushed_) != 0) Fail("CAN'T WRITE FILE", errno);
    fd_ = -1;
    target_.Commit();
}

}  // namespace kestrel::iso
