#pragma once
// The definitions the interposer stands in front of: the next ones in the
// lookup order (normally the C library's), found once with dlsym(RTLD_NEXT).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace vdrive::sg::real {

int Open(const char* Path, int Flags, mode_t Mode);
int OpenAt(int DirFd, const char* Path, int Flags, mode_t Mode);
int Close(int Fd);
int Dup(int Fd);
int Dup2(int Fd, int Fd2);
int Dup3(int Fd, int Fd2, int Flags);
int Fcntl(int Fd, int Cmd, void* Arg);
int Ioctl(int Fd, unsigned long Request, void* Arg);
ssize_t Read(int Fd, void* Buf, size_t Count);
ssize_t Pread(int Fd, void* Buf, size_t Count, off_t Offset);
ssize_t Write(int Fd, const void* Buf, size_t Count);
ssize_t Pwrite(int Fd, const void* Buf, size_t Count, off_t Offset);
off_t Lseek(int Fd, off_t Offset, int Whence);
int Stat(const char* Path, struct stat* Buf);
int Lstat(const char* Path, struct stat* Buf);
int Fstat(int Fd, struct stat* Buf);
int FstatAt(int DirFd, const char* Path, struct stat* Buf, int Flags);
int Statx(int DirFd, const char* Path, int Flags, unsigned Mask, struct statx* Buf);
int Access(const char* Path, int Mode);
int FaccessAt(int DirFd, const char* Path, int Mode, int Flags);
ssize_t Readlink(const char* Path, char* Buf, size_t Size);
DIR* OpenDir(const char* Path);
struct dirent* ReadDir(DIR* Dir);
struct dirent64* ReadDir64(DIR* Dir);

}  // namespace vdrive::sg::real
