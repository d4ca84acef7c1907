// The symbols the interposer puts in front of the C library's. Each passes
// the call on unchanged unless it names a virtual node or a descriptor that
// stands for a virtual drive.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "Errno.h"
#include "FakeFiles.h"
#include "NodeAccess.h"
#include "RealCalls.h"
#include "SectorIo.h"
#include "SgIoctl.h"
#include "VirtualDrives.h"

using namespace vdrive::sg;

static_assert(sizeof(struct stat) == sizeof(struct stat64), "stat and stat64 must share one layout");

#define VDRIVE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

mode_t ModeArg(int Flags, va_list Args) {
    const bool hasMode = (Flags & O_CREAT) || (Flags & O_TMPFILE) == O_TMPFILE;
    return hasMode ? static_cast<mode_t>(va_arg(Args, int)) : 0;
}

struct stat* Plain(struct stat64* Buf) { return reinterpret_cast<struct stat*>(Buf); }

}  // namespace

// Descriptors from a parent process that exec'd us.
__attribute__((constructor)) static void AdoptInheritedDescriptors() { FakeFiles::Instance().AdoptInherited(); }

__attribute__((destructor)) static void ShutDownDrives() {
    FakeFiles::Instance().ReleaseClaims();
    VirtualDrives::Instance().Shutdown();
}

// --- open -----------------------------------------------------------------

#define VDRIVE_OPEN_BODY(dirfd)                     \
    va_list args;                                   \
    va_start(args, Flags);                          \
    const mode_t mode = ModeArg(Flags, args);       \
    va_end(args);                                   \
    return OpenPath(dirfd, Path, Flags, mode);

VDRIVE_EXPORT int open(const char* Path, int Flags, ...) { VDRIVE_OPEN_BODY(AT_FDCWD) }
VDRIVE_EXPORT int open64(const char* Path, int Flags, ...) { VDRIVE_OPEN_BODY(AT_FDCWD) }
VDRIVE_EXPORT int openat(int DirFd, const char* Path, int Flags, ...) { VDRIVE_OPEN_BODY(DirFd) }
VDRIVE_EXPORT int openat64(int DirFd, const char* Path, int Flags, ...) { VDRIVE_OPEN_BODY(DirFd) }

VDRIVE_EXPORT int __open_2(const char* Path, int Flags) { return OpenPath(AT_FDCWD, Path, Flags, 0); }
VDRIVE_EXPORT int __open64_2(const char* Path, int Flags) { return OpenPath(AT_FDCWD, Path, Flags, 0); }
VDRIVE_EXPORT int __openat_2(int DirFd, const char* Path, int Flags) { return OpenPath(DirFd, Path, Flags, 0); }
VDRIVE_EXPORT int __openat64_2(int DirFd, const char* Path, int Flags) { return OpenPath(DirFd, Path, Flags, 0); }
VDRIVE_EXPORT int creat(const char* Path, mode_t Mode) {
    return OpenPath(AT_FDCWD, Path, O_CREAT | O_WRONLY | O_TRUNC, Mode);
}
VDRIVE_EXPORT int creat64(const char* Path, mode_t Mode) {
    return OpenPath(AT_FDCWD, Path, O_CREAT | O_WRONLY | O_TRUNC, Mode);
}

VDRIVE_EXPORT FILE* fopen(const char* Path, const char* Mode) { return OpenStream(Path, Mode); }
VDRIVE_EXPORT FILE* fopen64(const char* Path, const char* Mode) { return OpenStream(Path, Mode); }

// --- descriptors ----------------------------------------------------------

VDRIVE_EXPORT int close(int Fd) {
    const auto file = FakeFiles::Instance().Forget(Fd);
    return real::Close(Fd);
}

VDRIVE_EXPORT int dup(int Fd) noexcept {
    const int copy = real::Dup(Fd);
    if (copy >= 0) FakeFiles::Instance().Share(Fd, copy);
    return copy;
}

static int Duplicate(int Fd, int Fd2, int Result) {
    if (Result < 0 || Fd == Fd2) return Result;
    const auto replaced = FakeFiles::Instance().Forget(Fd2);
    FakeFiles::Instance().Share(Fd, Fd2);
    return Result;
}

VDRIVE_EXPORT int dup2(int Fd, int Fd2) noexcept { return Duplicate(Fd, Fd2, real::Dup2(Fd, Fd2)); }
VDRIVE_EXPORT int dup3(int Fd, int Fd2, int Flags) noexcept { return Duplicate(Fd, Fd2, real::Dup3(Fd, Fd2, Flags)); }

static int Control(int Fd, int Cmd, void* Arg) {
    if (Cmd == F_GETFL) {
        if (auto file = FakeFiles::Instance().Find(Fd)) return (file->Flags & (O_ACCMODE | O_NONBLOCK)) | O_LARGEFILE;
    }
    const int result = real::Fcntl(Fd, Cmd, Arg);
    if (result >= 0 && (Cmd == F_DUPFD || Cmd == F_DUPFD_CLOEXEC)) FakeFiles::Instance().Share(Fd, result);
    return result;
}

VDRIVE_EXPORT int fcntl(int Fd, int Cmd, ...) {
    va_list args;
    va_start(args, Cmd);
    void* arg = va_arg(args, void*);
    va_end(args);
    return Control(Fd, Cmd, arg);
}

VDRIVE_EXPORT int fcntl64(int Fd, int Cmd, ...) {
    va_list args;
    va_start(args, Cmd);
    void* arg = va_arg(args, void*);
    va_end(args);
    return Control(Fd, Cmd, arg);
}

VDRIVE_EXPORT int ioctl(int Fd, unsigned long Request, ...) noexcept {
    va_list args;
    va_start(args, Request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (auto file = FakeFiles::Instance().Find(Fd)) return FakeIoctl(*file, Request, arg);
    return real::Ioctl(Fd, Request, arg);
}

// --- reading and writing ----------------------------------------------------

VDRIVE_EXPORT ssize_t read(int Fd, void* Buf, size_t Count) {
    if (auto file = FakeFiles::Instance().Find(Fd)) return ReadNext(*file, Buf, Count);
    return real::Read(Fd, Buf, Count);
}

VDRIVE_EXPORT ssize_t pread(int Fd, void* Buf, size_t Count, off_t Offset) {
    if (auto file = FakeFiles::Instance().Find(Fd)) return ReadAt(*file, Buf, Count, Offset);
    return real::Pread(Fd, Buf, Count, Offset);
}

VDRIVE_EXPORT ssize_t pread64(int Fd, void* Buf, size_t Count, off64_t Offset) {
    if (auto file = FakeFiles::Instance().Find(Fd)) return ReadAt(*file, Buf, Count, Offset);
    return real::Pread(Fd, Buf, Count, Offset);
}

VDRIVE_EXPORT ssize_t write(int Fd, const void* Buf, size_t Count) {
    if (auto file = FakeFiles::Instance().Find(Fd)) return WriteNext(*file, Buf, Count);
    return real::Write(Fd, Buf, Count);
}

VDRIVE_EXPORT ssize_t pwrite(int Fd, const void* Buf, size_t Count, off_t Offset) {
    if (auto file = FakeFiles::Instance().Find(Fd)) return WriteAt(*file, Buf, Count, Offset);
    return real::Pwrite(Fd, Buf, Count, Offset);
}

VDRIVE_EXPORT ssize_t pwrite64(int Fd, const void* Buf, size_t Count, off64_t Offset) {
    if (auto file = FakeFiles::Instance().Find(Fd)) return WriteAt(*file, Buf, Count, Offset);
    return real::Pwrite(Fd, Buf, Count, Offset);
}

VDRIVE_EXPORT off_t lseek(int Fd, off_t Offset, int Whence) noexcept {
    if (auto file = FakeFiles::Instance().Find(Fd)) return Seek(*file, Offset, Whence);
    return real::Lseek(Fd, Offset, Whence);
}

VDRIVE_EXPORT off64_t lseek64(int Fd, off64_t Offset, int Whence) noexcept {
    if (auto file = FakeFiles::Instance().Find(Fd)) return Seek(*file, Offset, Whence);
    return real::Lseek(Fd, Offset, Whence);
}

// --- stat, new names ---------------------------------------------------------

VDRIVE_EXPORT int stat(const char* Path, struct stat* Buf) noexcept { return StatPath(Path, Buf, true); }
VDRIVE_EXPORT int stat64(const char* Path, struct stat64* Buf) noexcept { return StatPath(Path, Plain(Buf), true); }
VDRIVE_EXPORT int lstat(const char* Path, struct stat* Buf) noexcept { return StatPath(Path, Buf, false); }
VDRIVE_EXPORT int lstat64(const char* Path, struct stat64* Buf) noexcept { return StatPath(Path, Plain(Buf), false); }
VDRIVE_EXPORT int fstat(int Fd, struct stat* Buf) noexcept { return StatFd(Fd, Buf); }
VDRIVE_EXPORT int fstat64(int Fd, struct stat64* Buf) noexcept { return StatFd(Fd, Plain(Buf)); }
VDRIVE_EXPORT int fstatat(int DirFd, const char* Path, struct stat* Buf, int Flags) noexcept {
    return StatAt(DirFd, Path, Buf, Flags);
}
VDRIVE_EXPORT int fstatat64(int DirFd, const char* Path, struct stat64* Buf, int Flags) noexcept {
    return StatAt(DirFd, Path, Plain(Buf), Flags);
}
VDRIVE_EXPORT int statx(int DirFd, const char* Path, int Flags, unsigned Mask, struct statx* Buf) noexcept {
    return StatxAt(DirFd, Path, Flags, Mask, Buf);
}

// --- stat, the old versioned names programs built on older C libraries use ---

VDRIVE_EXPORT int __xstat(int, const char* Path, struct stat* Buf) { return StatPath(Path, Buf, true); }
VDRIVE_EXPORT int __xstat64(int, const char* Path, struct stat64* Buf) { return StatPath(Path, Plain(Buf), true); }
VDRIVE_EXPORT int __lxstat(int, const char* Path, struct stat* Buf) { return StatPath(Path, Buf, false); }
VDRIVE_EXPORT int __lxstat64(int, const char* Path, struct stat64* Buf) { return StatPath(Path, Plain(Buf), false); }
VDRIVE_EXPORT int __fxstat(int, int Fd, struct stat* Buf) { return StatFd(Fd, Buf); }
VDRIVE_EXPORT int __fxstat64(int, int Fd, struct stat64* Buf) { return StatFd(Fd, Plain(Buf)); }
VDRIVE_EXPORT int __fxstatat(int, int DirFd, const char* Path, struct stat* Buf, int Flags) {
    return StatAt(DirFd, Path, Buf, Flags);
}
VDRIVE_EXPORT int __fxstatat64(int, int DirFd, const char* Path, struct stat64* Buf, int Flags) {
    return StatAt(DirFd, Path, Plain(Buf), Flags);
}

// --- access and names ----------------------------------------------------------

VDRIVE_EXPORT int access(const char* Path, int Mode) noexcept { return AccessAt(AT_FDCWD, Path, Mode, 0); }
VDRIVE_EXPORT int faccessat(int DirFd, const char* Path, int Mode, int Flags) noexcept {
    return AccessAt(DirFd, Path, Mode, Flags);
}
VDRIVE_EXPORT int euidaccess(const char* Path, int Mode) noexcept { return AccessAt(AT_FDCWD, Path, Mode, AT_EACCESS); }
VDRIVE_EXPORT int eaccess(const char* Path, int Mode) noexcept { return AccessAt(AT_FDCWD, Path, Mode, AT_EACCESS); }

VDRIVE_EXPORT char* realpath(const char* Path, char* Resolved) noexcept {
    if (char* ours = VirtualRealPath(Path, Resolved)) return ours;
    static const auto next = reinterpret_cast<char* (*)(const char*, char*)>(dlsym(RTLD_NEXT, "realpath"));
    if (!next) {
        errno = ENOSYS;
        return nullptr;
    }
    return next(Path, Resolved);
}

// A virtual node is no symbolic link.
VDRIVE_EXPORT ssize_t readlink(const char* Path, char* Buf, size_t Size) noexcept {
    if (IsVirtualPath(Path)) return FailWith(EINVAL);
    return real::Readlink(Path, Buf, Size);
}

// Extended attributes: a virtual node has none (ls and cp ask for them).
static ssize_t NoAttributes(const char* Path, ssize_t (*Next)(const char*, const char*, void*, size_t),
                            const char* Name, void* Value, size_t Size) {
    if (IsVirtualPath(Path)) return FailWith(ENODATA);
    if (!Next) return FailWith(ENOSYS);
    return Next(Path, Name, Value, Size);
}

VDRIVE_EXPORT ssize_t getxattr(const char* Path, const char* Name, void* Value, size_t Size) noexcept {
    static const auto next =
        reinterpret_cast<ssize_t (*)(const char*, const char*, void*, size_t)>(dlsym(RTLD_NEXT, "getxattr"));
    return NoAttributes(Path, next, Name, Value, Size);
}

VDRIVE_EXPORT ssize_t lgetxattr(const char* Path, const char* Name, void* Value, size_t Size) noexcept {
    static const auto next =
        reinterpret_cast<ssize_t (*)(const char*, const char*, void*, size_t)>(dlsym(RTLD_NEXT, "lgetxattr"));
    return NoAttributes(Path, next, Name, Value, Size);
}
