#include "burner/iso/ArchiveMark.h"

#include <sys/xattr.h>

#include <cerrno>

namespace kestrel {

namespace {

std::string MarkValue(const struct stat& Info) {
    return std::to_string(Info.st_size) + ":" + std::to_string(Info.st_mtim.tv_sec) + "." +
           std::to_string(Info.st_mtim.tv_nsec);
}

}  // namespace

bool HasArchiveMark(const std::string& Path, const struct stat& Info) {
    char buffer[96];
    const ssize_t got = getxattr(Path.c_str(), ArchiveMarkName, buffer, sizeof buffer);
    if (got <= 0) return false;
    return std::string(buffer, static_cast<size_t>(got)) == MarkValue(Info);
}

TMarkResult SetArchiveMark(const std::string& Path, const struct stat& Info) {
    const std::string value = MarkValue(Info);
    if (setxattr(Path.c_str(), ArchiveMarkName, value.data(), value.size(), 0) == 0)
        return TMarkResult::Marked;
    return errno == ENOTSUP ? TMarkResult::Unsupported : TMarkResult::Failed;
}

}  // namespace kestrel
