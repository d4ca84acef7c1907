#include "burner/engine/PartFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace kestrel {

namespace {

std::string FolderOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

std::string BaseOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string ErrorText(int Error) { return std::strerror(Error); }

// Renames without replacing: RENAME_NOREPLACE, or a hard link where the
// file system does not offer it.
int RenameNoReplace(const std::string& From, const std::string& To) {
    if (renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (link(From.c_str(), To.c_str()) != 0) return -1;
    unlink(From.c_str());
    return 0;
}

}  // namespace

TPartFile::TPartFile(const std::string& Target) : target_(Target) {
    static std::atomic<unsigned> counter{0};
    // A short stem keeps the temporary name within the name length limit.
    const std::string stem = "." + BaseOf(Target).substr(0, 64) + ".part-" + std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        path_ = FolderOf(Target) + "/" + stem + std::to_string(counter++);
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "cannot create a file beside " + Target);
}

TPartFile::~TPartFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
}

bool TPartFile::Write(const void* Bytes, size_t Length, std::string& Error) {
    const char* p = static_cast<const char*>(Bytes);
    while (Length > 0) {
        const ssize_t n = ::write(fd_, p, Length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Error = "CANNOT WRITE " + target_ + " (" + ErrorText(n < 0 ? errno : ENOSPC) + ")";
            return false;
        }
        p += n;
        Length -= size_t(n);
    }
    return true;
}

bool TPartFile::Commit(time_t ModificationTime, bool Replace, std::string& Error) {
    if (ModificationTime != -1) {
        const timespec times[2] = {{ModificationTime, 0}, {ModificationTime, 0}};
        ::futimens(fd_, times);
    }
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) {
        Error = "CANNOT WRITE " + target_ + " (" + ErrorText(errno) + ")";
        return false;
    }
    const int renamed = Replace ? std::rename(path_.c_str(), target_.c_str()) : RenameNoReplace(path_, target_);
    if (renamed != 0) {
        Error = "CANNOT CREATE " + target_ + " (" + ErrorText(errno) + ")";
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace kestrel
