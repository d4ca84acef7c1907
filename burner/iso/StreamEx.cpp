#include "burner/iso/StreamEx.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace kestrel {

void TStreamEx::SetSize(int64_t) {}

int64_t TStreamEx::GetSize() {
    const int64_t position = Seek(0, soFromCurrent);
    const int64_t size = Seek(0, soFromEnd);
    Seek(position, soFromBeginning);
    return size;
}

void THandleStreamEx::SetSize(int64_t NewSize) {
    Seek(NewSize, soFromBeginning);
    if (ftruncate(handle_, NewSize) != 0)
        throw std::system_error(errno, std::generic_category(), "cannot set the size of the file");
}

int THandleStreamEx::Read(void* Buffer, int Count) {
    if (Count < 0) throw std::out_of_range("negative byte count for a stream read");
    auto* out = static_cast<char*>(Buffer);
    int done = 0;
    while (done < Count) {
        const ssize_t got = ::read(handle_, out + done, static_cast<size_t>(Count - done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return 0;
        if (got == 0) break;
        done += static_cast<int>(got);
    }
    return done;
}

int THandleStreamEx::Write(const void* Buffer, int Count) {
    if (Count < 0) throw std::out_of_range("negative byte count for a stream write");
    const auto* in = static_cast<const char*>(Buffer);
    int done = 0;
    while (done < Count) {
        const ssize_t put = ::write(handle_, in + done, static_cast<size_t>(Count - done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<int>(put);
    }
    return done;
}

int64_t THandleStreamEx::Seek(int64_t Offset, uint16_t Origin) {
    int whence = SEEK_SET;
    if (Origin == soFromCurrent) whence = SEEK_CUR;
    else if (Origin == soFromEnd) whence = SEEK_END;
    else if (Origin != soFromBeginning) return -1;
    return ::lseek(handle_, static_cast<off_t>(Offset), whence);
}

namespace {

int OpenForMode(const std::string& FileName, uint16_t Mode) {
    if (Mode == fmCreate) return ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    int flags = O_RDONLY;
    if ((Mode & 3) == fmOpenWrite) flags = O_WRONLY;
    else if ((Mode & 3) == fmOpenReadWrite) flags = O_RDWR;
    // Opened without blocking so that a FIFO put in place of a source can
    // never hang the caller; regular files are unaffected, and the handle is
    // made blocking again for the reads.
    const int handle = ::open(FileName.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (handle >= 0) ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    return handle;
}

}  // namespace

TFileStreamEx::TFileStreamEx(const std::string& FileName, uint16_t Mode)
    : THandleStreamEx(OpenForMode(FileName, Mode)) {}

TFileStreamEx::~TFileStreamEx() {
    if (handle_ >= 0) ::close(handle_);
}

}  // namespace kestrel
