#include "burner/engine/LocalFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kestrel {

std::optional<TLocalFolder> TLocalFolder::Open(const std::string& Path) {
    const int fd = ::open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return TLocalFolder(fd, Path);
}

std::optional<TLocalFolder> TLocalFolder::Subfolder(const std::string& Name, std::string& Error) const {
    const std::string path = PathOf(Name);
    if (::mkdirat(fd_, Name.c_str(), 0777) != 0 && errno != EEXIST) {
        Error = "CANNOT CREATE THE FOLDER " + path + " (" + std::strerror(errno) + ")";
        return std::nullopt;
    }
    const int fd = ::openat(fd_, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        Error = errno == ENOTDIR || errno == ELOOP
                    ? path + " IS NOT A FOLDER OF ITS OWN (A FILE OR A SYMBOLIC LINK)"
                    : "CANNOT OPEN THE FOLDER " + path + " (" + std::strerror(errno) + ")";
        return std::nullopt;
    }
    return TLocalFolder(fd, path);
}

TLocalFolder::TLocalFolder(TLocalFolder&& Other) noexcept
    : fd_(std::exchange(Other.fd_, -1)), path_(std::move(Other.path_)) {}

TLocalFolder& TLocalFolder::operator=(TLocalFolder&& Other) noexcept {
    if (this != &Other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(Other.fd_, -1);
        path_ = std::move(Other.path_);
    }
    return *this;
}

TLocalFolder::~TLocalFolder() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace kestrel
