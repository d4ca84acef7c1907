#include "NodeAccess.h"

#include <dlfcn.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "DeviceNodes.h"
#include "DriveQueries.h"
#include "Errno.h"
#include "FakeFiles.h"
#include "NodeStat.h"
#include "RealCalls.h"
#include "Trace.h"
#include "VirtualDrives.h"

namespace vdrive::sg {
namespace {

constexpr int NotOurs = 1;

bool IsAbsolute(const char* Path) { return Path && Path[0] == '/'; }

// The drive a path names: a virtual node or an alias of a virtual-drive
// descriptor; -1 for a name that must look absent; -2 when not ours.
int DriveOfPath(const char* Path) {
    const NodeRef ref = Classify(Path);
    switch (ref.Kind) {
    case NodeKind::VirtualNode: return ref.Number < VirtualDrives::Instance().Count() ? ref.Number : -1;
    case NodeKind::Hidden: return -1;
    case NodeKind::FdAlias:
        if (auto file = FakeFiles::Instance().Find(ref.Number)) return file->Drive;
        return -2;
    default: return -2;
    }
}

int OpenDrive(int Drive, int Flags) {
    if ((Flags & O_DIRECTORY) == O_DIRECTORY) return FailWith(ENOTDIR);
    if (!(Flags & O_NONBLOCK) && QueryMedium(Drive) != MediumState::Present) return FailWith(ENOMEDIUM);
    auto& drives = VirtualDrives::Instance();
    uint64_t owner = 0;
    if (Flags & O_EXCL) {
        owner = VirtualDrives::NewOwner();
        if (!drives.Claim(Drive, owner)) return FailWith(EBUSY);
    }
    const int fd = FakeFiles::Instance().Create(Drive, Flags, owner);
    if (fd < 0 && owner != 0) {
        const int error = errno;
        drives.Release(Drive, owner);
        errno = error;
    }
    return fd;
}

// A descriptor the real call opened: refused when it reached real optical
// hardware by a name the path check did not know.
int GuardOpened(int Fd) {
    if (Fd < 0) return Fd;
    struct stat st;
    if (real::Fstat(Fd, &st) == 0 && IsOpticalHardware(st)) {
        real::Close(Fd);
        TraceLine("refused a real optical device (major %u)", major(st.st_rdev));
        return FailWith(ENOENT);
    }
    return Fd;
}

int GuardStat(int Result, const struct stat* Buf) {
    return Result == 0 && IsOpticalHardware(*Buf) ? FailWith(ENOENT) : Result;
}

int StatOfPath(const char* Path, struct stat* Buf) {
    const int drive = DriveOfPath(Path);
    if (drive == -2) return NotOurs;
    if (drive < 0) return FailWith(ENOENT);
    FillNodeStat(drive, Buf);
    return 0;
}

}  // namespace

int OpenPath(int DirFd, const char* Path, int Flags, mode_t Mode) {
    if (IsAbsolute(Path)) {
        const int drive = DriveOfPath(Path);
        if (drive == -1) return FailWith(ENOENT);
        if (drive >= 0) {
            const int fd = OpenDrive(drive, Flags);
            TraceLine("open %s flags %#x -> %d (%s)", Path, Flags, fd, fd < 0 ? std::strerror(errno) : "vdrive");
            return fd;
        }
    }
    const int fd = DirFd == AT_FDCWD ? real::Open(Path, Flags, Mode) : real::OpenAt(DirFd, Path, Flags, Mode);
    return GuardOpened(fd);
}

namespace {

int StreamFlags(const char* Mode) {
    int flags = 0;
    switch (Mode[0]) {
    case 'r': flags = O_RDONLY; break;
    case 'w': flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case 'a': flags = O_WRONLY | O_CREAT | O_APPEND; break;
    default: return -1;
    }
    for (const char* m = Mode + 1; *m; ++m) {
        if (*m == '+') flags = (flags & ~O_ACCMODE) | O_RDWR;
        if (*m == 'e') flags |= O_CLOEXEC;
        if (*m == 'x') flags |= O_EXCL;
    }
    return flags;
}

}  // namespace

FILE* OpenStream(const char* Path, const char* Mode) {
    static const auto next = reinterpret_cast<FILE* (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "fopen64"));
    const int flags = Mode ? StreamFlags(Mode) : -1;
    const int drive = IsAbsolute(Path) ? DriveOfPath(Path) : -2;
    if (drive == -1) {
        errno = ENOENT;
        return nullptr;
    }
    if (drive >= 0 && flags >= 0) {
        const int fd = OpenPath(AT_FDCWD, Path, flags, 0);
        if (fd < 0) return nullptr;
        FILE* stream = fdopen(fd, Mode);
        if (!stream) real::Close(fd);
        return stream;
    }
    if (!next) {
        errno = ENOSYS;
        return nullptr;
    }
    FILE* stream = next(Path, Mode);
    struct stat st;
    if (stream && real::Fstat(fileno(stream), &st) == 0 && IsOpticalHardware(st)) {
        fclose(stream);
        errno = ENOENT;
        return nullptr;
    }
    return stream;
}

int StatPath(const char* Path, struct stat* Buf, bool FollowLinks) {
    if (IsAbsolute(Path)) {
        const int ours = StatOfPath(Path, Buf);
        if (ours != NotOurs) return ours;
    }
    return GuardStat(FollowLinks ? real::Stat(Path, Buf) : real::Lstat(Path, Buf), Buf);
}

int StatFd(int Fd, struct stat* Buf) {
    if (auto file = FakeFiles::Instance().Find(Fd)) {
        FillNodeStat(file->Drive, Buf);
        return 0;
    }
    return GuardStat(real::Fstat(Fd, Buf), Buf);
}

int StatAt(int DirFd, const char* Path, struct stat* Buf, int Flags) {
    if ((Flags & AT_EMPTY_PATH) && Path && Path[0] == '\0') return StatFd(DirFd, Buf);
    if (IsAbsolute(Path)) {
        const int ours = StatOfPath(Path, Buf);
        if (ours != NotOurs) return ours;
    }
    return GuardStat(real::FstatAt(DirFd, Path, Buf, Flags), Buf);
}

int StatxAt(int DirFd, const char* Path, int Flags, unsigned Mask, struct statx* Buf) {
    int drive = -2;
    if ((Flags & AT_EMPTY_PATH) && Path && Path[0] == '\0') {
        if (auto file = FakeFiles::Instance().Find(DirFd)) drive = file->Drive;
    } else if (IsAbsolute(Path)) {
        drive = DriveOfPath(Path);
    }
    if (drive == -1) return FailWith(ENOENT);
    if (drive >= 0) {
        FillNodeStatx(drive, Buf);
        return 0;
    }
    const int result = real::Statx(DirFd, Path, Flags, Mask, Buf);
    if (result == 0 && IsOpticalHardware(Buf->stx_mode, Buf->stx_rdev_major)) return FailWith(ENOENT);
    return result;
}

int AccessAt(int DirFd, const char* Path, int Mode, int Flags) {
    if (IsAbsolute(Path)) {
        const int drive = DriveOfPath(Path);
        if (drive != -2) TraceLine("access %s mode %#x -> drive %d", Path, Mode, drive);
        if (drive == -1) return FailWith(ENOENT);
        if (drive >= 0) return (Mode & X_OK) ? FailWith(EACCES) : 0;
    }
    return DirFd == AT_FDCWD && Flags == 0 ? real::Access(Path, Mode) : real::FaccessAt(DirFd, Path, Mode, Flags);
}

bool IsVirtualPath(const char* Path) {
    return IsAbsolute(Path) && Classify(Path).Kind == NodeKind::VirtualNode && DriveOfPath(Path) >= 0;
}

char* VirtualRealPath(const char* Path, char* Resolved) {
    if (!IsVirtualPath(Path)) return nullptr;
    if (Resolved) return std::strcpy(Resolved, Path);
    return strdup(Path);
}

}  // namespace vdrive::sg
