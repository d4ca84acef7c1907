#include "burner/engine/StreamSources.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "burner/engine/EngineMessages.h"

namespace kestrel {
namespace {

constexpr int64_t kSector = 2048;

int64_t RoundUpToSector(int64_t Bytes) { return (Bytes + kSector - 1) / kSector * kSector; }

}  // namespace

TStreamSources::TStreamSources(const TCacheJob& Job) : job_(Job) {
    if (!job_.ImageFileName.empty()) return;
    headBytes_ = RoundUpToSector(static_cast<int64_t>(job_.HeadSize));
    int64_t offset = headBytes_;
    offsets_.reserve(job_.Files.size());
    for (const auto& source : job_.Files) {
        offsets_.push_back(offset);
        if (source.Size > 0) offset += RoundUpToSector(source.Size);
    }
}

std::string TStreamSources::Read(int64_t First, uint32_t Count, uint8_t* Dest) const {
    const int64_t begin = First * kSector;
    const int64_t end = begin + int64_t(Count) * kSector;
    std::memset(Dest, 0, static_cast<size_t>(end - begin));
    if (!job_.ImageFileName.empty())
        return ReadFile(job_.ImageFileName, job_.TotalBytes, begin, end - begin, Dest);
    if (begin < static_cast<int64_t>(job_.HeadSize)) {
        const int64_t n = std::min<int64_t>(end, static_cast<int64_t>(job_.HeadSize)) - begin;
        std::memcpy(Dest, job_.Head + begin, static_cast<size_t>(n));
    }
    // The first source that ends after the range's start, and those after it
    // up to the range's end.
    size_t i = static_cast<size_t>(std::upper_bound(offsets_.begin(), offsets_.end(), begin) - offsets_.begin());
    if (i > 0) --i;
    for (; i < job_.Files.size() && offsets_[i] < end; ++i) {
        const TCacheSource& source = job_.Files[i];
        if (source.Path.empty() || source.Size <= 0) continue;
        const int64_t pieceEnd = offsets_[i] + RoundUpToSector(source.Size);
        const int64_t from = std::max(begin, offsets_[i]);
        const int64_t to = std::min(end, pieceEnd);
        if (from >= to) continue;
        std::string error = ReadFile(source.Path, source.Size, from - offsets_[i], to - from, Dest + (from - begin));
        if (!error.empty()) return error;
    }
    return {};
}

std::string TStreamSources::ReadFile(const std::string& Path, int64_t FileBytes, int64_t From, int64_t Length,
                                     uint8_t* Dest) const {
    // Bytes past the file's laid-out length (or its end, if it got shorter)
    // were streamed as zeros.
    const int64_t wanted = std::min(Length, FileBytes - From);
    if (wanted <= 0) return {};
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FormatMessage(msgCantOpenFile, Path);
    int64_t got = 0;
    while (got < wanted) {
        const ssize_t n = ::pread(fd, Dest + got, static_cast<size_t>(wanted - got), static_cast<off_t>(From + got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return FormatWithReason(msgCantReadFile, Path, error);
        }
        if (n == 0) break;
        got += n;
    }
    ::close(fd);
    return {};
}

}  // namespace kestrel
