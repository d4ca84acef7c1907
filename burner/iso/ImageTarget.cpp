#include "burner/iso/ImageTarget.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "burner/common/FileKind.h"

namespace kestrel::iso {

namespace {

// Links followed before the chain counts as a loop, as the kernel does.
constexpr int MaxLinkHops = 40;
// Room left for the temporary suffix within the name length limit.
constexpr size_t MaxTemporaryStem = 200;

std::string FolderOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

std::string BaseOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

// The item a chain of symbolic links starting at Path ends at, with its
// lstat in Info; Error is 0, or errno when that item cannot be examined
// (ENOENT: the name is free).
std::string FollowLinks(const std::string& Path, struct stat& Info, int& Error) {
    std::string current = Path;
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        if (::lstat(current.c_str(), &Info) != 0) {
            Error = errno;
            return current;
        }
        if (!S_ISLNK(Info.st_mode)) {
            Error = 0;
            return current;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0) {
            Error = errno;
            return current;
        }
        target.resize(static_cast<size_t>(n));
        current = !target.empty() && target[0] == '/' ? target : FolderOf(current) + "/" + target;
    }
    Error = ELOOP;
    return current;
}

}  // namespace

TImageTarget::TImageTarget(const std::string& FileName, const std::function<void()>& WhileWaiting)
    : name_(FileName) {
    struct stat info {};
    if (::stat(FileName.c_str(), &info) != 0) {
        if (errno != ENOENT) FailCreate(std::strerror(errno));
        // The name, or the end of its chain of links, is free.
        struct stat none {};
        int error = 0;
        final_ = FollowLinks(FileName, none, error);
        if (error != ENOENT) FailCreate(std::strerror(error != 0 ? error : EEXIST));
        CreateTemporary(final_, nullptr);
    } else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode)) {
        // Opening the name itself follows every link, also those of
        // /proc/self/fd that no path names (/dev/stdout on a pipe).
        final_ = FileName;
        OpenThrough(FileName, S_ISFIFO(info.st_mode), WhileWaiting);
    } else if (S_ISREG(info.st_mode)) {
        struct stat end {};
        int error = 0;
        final_ = FollowLinks(FileName, end, error);
        if (error == 0 && end.st_dev == info.st_dev && end.st_ino == info.st_ino) CreateTemporary(final_, &info);
        else OpenInPlace(FileName);  // a file no path leads to, only its link
    } else {
        FailCreate("IT IS " + FileKindName(info.st_mode));
    }
}

TImageTarget::~TImageTarget() {
    if (fd_ >= 0) ::close(fd_);
    if (IsTemporary() && !committed_) ::unlink(temp_.c_str());
}

void TImageTarget::FailCreate(const std::string& Reason) const {
    throw std::runtime_error("CAN'T CREATE FILE \"" + name_ + "\": " + Reason);
}

void TImageTarget::CreateTemporary(const std::string& Final, const struct stat* Replaced) {
    static std::atomic<unsigned> counter{0};
    const std::string stem = FolderOf(Final) + "/" + BaseOf(Final).substr(0, MaxTemporaryStem) + ".part-" +
                             std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temp_ = stem + std::to_string(counter++);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        const int error = errno;
        temp_.clear();
        // A folder that takes no new file may still hold a file the user
        // can write: that one is overwritten in place.
        if (Replaced && (error == EACCES || error == EPERM)) return OpenInPlace(Final);
        FailCreate(std::strerror(error));
    }
    regular_ = true;
    // The new file takes the place of the old one with its permissions.
    if (Replaced) (void)::fchmod(fd_, Replaced->st_mode & 07777);
}

void TImageTarget::OpenInPlace(const std::string& Path) {
    fd_ = ::open(Path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) FailCreate(std::strerror(errno));
    regular_ = true;
}

void TImageTarget::OpenThrough(const std::string& Final, bool Fifo, const std::function<void()>& WhileWaiting) {
    if (!Fifo) {
        fd_ = ::open(Final.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) FailCreate(std::strerror(errno));
        return;
    }
    // A FIFO without a reader refuses a non-blocking open; waiting in
    // small steps keeps the wait interruptible.
    for (;;) {
        fd_ = ::open(Final.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ >= 0) break;
        if (errno != ENXIO && errno != EINTR) FailCreate(std::strerror(errno));
        if (WhileWaiting) WhileWaiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) FailCreate(std::strerror(errno));
}

void TImageTarget::Commit() {
    const auto fail = [this](int Error) {
        throw std::runtime_error("CAN'T WRITE FILE \"" + name_ + "\": " + std::strerror(Error));
    };
    if (fd_ >= 0) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) fail(errno);
    }
    if (!IsTemporary() || committed_) return;
    if (std::rename(temp_.c_str(), final_.c_str()) != 0) fail(errno);
    committed_ = true;
}

}  // namespace kestrel::iso
