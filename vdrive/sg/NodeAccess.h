#pragma once
// Opening and stat-ing paths and descriptors on behalf of the interposed
// calls: virtual nodes are answered here, hidden names give ENOENT, and
// whatever the real call reaches is checked once more so that real optical
// hardware stays out of reach under any other name.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

namespace vdrive::sg {

int OpenPath(int DirFd, const char* Path, int Flags, mode_t Mode);
// fopen: a virtual node gets a stream on a virtual-drive descriptor, so that
// reads through fileno() reach the disc.
FILE* OpenStream(const char* Path, const char* Mode);

int StatPath(const char* Path, struct stat* Buf, bool FollowLinks);
int StatFd(int Fd, struct stat* Buf);
int StatAt(int DirFd, const char* Path, struct stat* Buf, int Flags);
int StatxAt(int DirFd, const char* Path, int Flags, unsigned Mask, struct statx* Buf);
int AccessAt(int DirFd, const char* Path, int Mode, int Flags);
// True for the name of an existing virtual node (/dev/srN, /dev/scdN).
bool IsVirtualPath(const char* Path);
// Canonical name of a virtual node, or nullptr when Path is not one.
char* VirtualRealPath(const char* Path, char* Resolved);

}  // namespace vdrive::sg
