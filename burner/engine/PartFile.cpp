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

std::string ErrorText(int Error) { return std::strerror(Error); }

// A name beside Name, unique in this process; a short stem keeps it within
// the name length limit.
std::string TemporaryName(const std::string& Name, const char* Kind) {
    static std::atomic<unsigned> counter{0};
    return "." + Name.substr(0, 64) + "." + Kind + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// Renames From to To inside the folder Dir. Without Replace an existing To
// stays: RENAME_NOREPLACE, or a hard link where the file system does not
// offer it.
int RenameInFolder(int Dir, const std::string& From, const std::string& To, bool Replace) {
    if (Replace) return ::renameat(Dir, From.c_str(), Dir, To.c_str());
    if (::renameat2(Dir, From.c_str(), Dir, To.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::linkat(Dir, From.c_str(), Dir, To.c_str(), 0) != 0) return -1;
    ::unlinkat(Dir, From.c_str(), 0);
    return 0;
}

void SetTimes(int Dir, const std::string& Name, time_t Seconds) {
    if (Seconds == -1) return;
    const timespec times[2] = {{Seconds, 0}, {Seconds, 0}};
    ::utimensat(Dir, Name.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace

TPartFile::TPartFile(const TLocalFolder& Folder, const std::string& Name)
    : dir_(Folder.Fd()), name_(Name), shown_(Folder.PathOf(Name)) {
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temp_ = TemporaryName(Name, "part");
        fd_ = ::openat(dir_, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "cannot create a file beside " + shown_);
}

TPartFile::~TPartFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlinkat(dir_, temp_.c_str(), 0);
}

bool TPartFile::Write(const void* Bytes, size_t Length, std::string& Error) {
    const char* p = static_cast<const char*>(Bytes);
    while (Length > 0) {
        const ssize_t n = ::write(fd_, p, Length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Error = "CANNOT WRITE " + shown_ + " (" + ErrorText(n < 0 ? errno : ENOSPC) + ")";
            return false;
        }
        p += n;
        Length -= size_t(n);
        size_ += uint64_t(n);
    }
    return true;
}

bool TPartFile::Skip(uint64_t Length, std::string& Error) {
    if (::lseek(fd_, static_cast<off_t>(Length), SEEK_CUR) < 0) {
        Error = "CANNOT WRITE " + shown_ + " (" + ErrorText(errno) + ")";
        return false;
    }
    size_ += Length;
    holes_ = true;
    return true;
}

bool TPartFile::Commit(time_t ModificationTime, mode_t Permissions, bool Replace, std::string& Error) {
    // A hole at the end is made part of the file by its length.
    bool written = !holes_ || ::ftruncate(fd_, static_cast<off_t>(size_)) == 0;
    if (written && Permissions != static_cast<mode_t>(-1)) ::fchmod(fd_, Permissions);
    if (written && ModificationTime != -1) {
        const timespec times[2] = {{ModificationTime, 0}, {ModificationTime, 0}};
        ::futimens(fd_, times);
    }
    const int error = written ? 0 : errno;
    written = ::close(fd_) == 0 && written;
    fd_ = -1;
    if (!written) {
        Error = "CANNOT WRITE " + shown_ + " (" + ErrorText(error ? error : errno) + ")";
        return false;
    }
    if (RenameInFolder(dir_, temp_, name_, Replace) != 0) {
        Error = "CANNOT CREATE " + shown_ + " (" + ErrorText(errno) + ")";
        return false;
    }
    committed_ = true;
    return true;
}

bool PlaceLink(const TLocalFolder& Folder, const std::string& Name, const std::string& Target, time_t ModificationTime,
               bool Replace, std::string& Error) {
    std::string temp;
    bool made = false;
    for (int attempt = 0; attempt < 100 && !made; ++attempt) {
        temp = TemporaryName(Name, "link");
        made = ::symlinkat(Target.c_str(), Folder.Fd(), temp.c_str()) == 0;
        if (!made && errno != EEXIST) break;
    }
    if (!made) {
        Error = "CANNOT CREATE THE LINK " + Folder.PathOf(Name) + " (" + ErrorText(errno) + ")";
        return false;
    }
    SetTimes(Folder.Fd(), temp, ModificationTime);
    if (RenameInFolder(Folder.Fd(), temp, Name, Replace) != 0) {
        Error = "CANNOT CREATE " + Folder.PathOf(Name) + " (" + ErrorText(errno) + ")";
        ::unlinkat(Folder.Fd(), temp.c_str(), 0);
        return false;
    }
    return true;
}

}  // namespace kestrel
