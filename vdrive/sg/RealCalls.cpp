#include "RealCalls.h"

#include <dlfcn.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace vdrive::sg::real {
namespace {

template <typename Fn>
Fn Next(const char* Name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, Name));
}

}  // namespace

// Resolves the next definition once; without one the call fails with ENOSYS.
#define VDRIVE_NEXT_OR(type, name, failed)          \
    static const auto fn = Next<type>(name);        \
    if (!fn) {                                      \
        errno = ENOSYS;                             \
        return failed;                              \
    }
#define VDRIVE_NEXT(type, name) VDRIVE_NEXT_OR(type, name, -1)

int Open(const char* Path, int Flags, mode_t Mode) {
    VDRIVE_NEXT(int (*)(const char*, int, ...), "open64");
    return fn(Path, Flags, Mode);
}

int OpenAt(int DirFd, const char* Path, int Flags, mode_t Mode) {
    VDRIVE_NEXT(int (*)(int, const char*, int, ...), "openat64");
    return fn(DirFd, Path, Flags, Mode);
}

int Close(int Fd) {
    VDRIVE_NEXT(int (*)(int), "close");
    return fn(Fd);
}

int Dup(int Fd) {
    VDRIVE_NEXT(int (*)(int), "dup");
    return fn(Fd);
}

int Dup2(int Fd, int Fd2) {
    VDRIVE_NEXT(int (*)(int, int), "dup2");
    return fn(Fd, Fd2);
}

int Dup3(int Fd, int Fd2, int Flags) {
    VDRIVE_NEXT(int (*)(int, int, int), "dup3");
    return fn(Fd, Fd2, Flags);
}

int Fcntl(int Fd, int Cmd, void* Arg) {
    VDRIVE_NEXT(int (*)(int, int, ...), "fcntl64");
    return fn(Fd, Cmd, Arg);
}

int Ioctl(int Fd, unsigned long Request, void* Arg) {
    VDRIVE_NEXT(int (*)(int, unsigned long, ...), "ioctl");
    return fn(Fd, Request, Arg);
}

ssize_t Read(int Fd, void* Buf, size_t Count) {
    VDRIVE_NEXT(ssize_t (*)(int, void*, size_t), "read");
    return fn(Fd, Buf, Count);
}

ssize_t Pread(int Fd, void* Buf, size_t Count, off_t Offset) {
    VDRIVE_NEXT(ssize_t (*)(int, void*, size_t, off_t), "pread64");
    return fn(Fd, Buf, Count, Offset);
}

ssize_t Write(int Fd, const void* Buf, size_t Count) {
    VDRIVE_NEXT(ssize_t (*)(int, const void*, size_t), "write");
    return fn(Fd, Buf, Count);
}

ssize_t Pwrite(int Fd, const void* Buf, size_t Count, off_t Offset) {
    VDRIVE_NEXT(ssize_t (*)(int, const void*, size_t, off_t), "pwrite64");
    return fn(Fd, Buf, Count, Offset);
}

off_t Lseek(int Fd, off_t Offset, int Whence) {
    VDRIVE_NEXT(off_t (*)(int, off_t, int), "lseek64");
    return fn(Fd, Offset, Whence);
}

int Stat(const char* Path, struct stat* Buf) {
    VDRIVE_NEXT(int (*)(const char*, struct stat*), "stat");
    return fn(Path, Buf);
}

int Lstat(const char* Path, struct stat* Buf) {
    VDRIVE_NEXT(int (*)(const char*, struct stat*), "lstat");
    return fn(Path, Buf);
}

int Fstat(int Fd, struct stat* Buf) {
    VDRIVE_NEXT(int (*)(int, struct stat*), "fstat");
    return fn(Fd, Buf);
}

int FstatAt(int DirFd, const char* Path, struct stat* Buf, int Flags) {
    VDRIVE_NEXT(int (*)(int, const char*, struct stat*, int), "fstatat");
    return fn(DirFd, Path, Buf, Flags);
}

int Statx(int DirFd, const char* Path, int Flags, unsigned Mask, struct statx* Buf) {
    VDRIVE_NEXT(int (*)(int, const char*, int, unsigned, struct statx*), "statx");
    return fn(DirFd, Path, Flags, Mask, Buf);
}

int Access(const char* Path, int Mode) {
    VDRIVE_NEXT(int (*)(const char*, int), "access");
    return fn(Path, Mode);
}

int FaccessAt(int DirFd, const char* Path, int Mode, int Flags) {
    VDRIVE_NEXT(int (*)(int, const char*, int, int), "faccessat");
    return fn(DirFd, Path, Mode, Flags);
}

ssize_t Readlink(const char* Path, char* Buf, size_t Size) {
    VDRIVE_NEXT(ssize_t (*)(const char*, char*, size_t), "readlink");
    return fn(Path, Buf, Size);
}

DIR* OpenDir(const char* Path) {
    VDRIVE_NEXT_OR(DIR* (*)(const char*), "opendir", nullptr);
    return fn(Path);
}

struct dirent* ReadDir(DIR* Dir) {
    VDRIVE_NEXT_OR(struct dirent* (*)(DIR*), "readdir", nullptr);
    return fn(Dir);
}

struct dirent64* ReadDir64(DIR* Dir) {
    VDRIVE_NEXT_OR(struct dirent64* (*)(DIR*), "readdir64", nullptr);
    return fn(Dir);
}

}  // namespace vdrive::sg::real
