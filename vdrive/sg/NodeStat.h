#pragma once
// What stat reports for a virtual node: a block device of the SCSI CD-ROM
// major with the drive number as minor, owned by the caller so that access
// checks pass.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "DeviceNodes.h"

namespace vdrive::sg {

constexpr mode_t NodeMode = S_IFBLK | 0660;

template <typename StatT>
void FillNodeStat(int Drive, StatT* St) {
    std::memset(St, 0, sizeof *St);
    St->st_dev = makedev(0, 5);
    St->st_ino = 0x4B00 + Drive;
    St->st_mode = NodeMode;
    St->st_nlink = 1;
    St->st_uid = getuid();
    St->st_gid = getgid();
    St->st_rdev = makedev(CdromMajor, Drive);
    St->st_blksize = 2048;
    const time_t now = time(nullptr);
    St->st_atime = St->st_mtime = St->st_ctime = now;
}

inline void FillNodeStatx(int Drive, struct statx* Stx) {
    std::memset(Stx, 0, sizeof *Stx);
    Stx->stx_mask = STATX_BASIC_STATS;
    Stx->stx_blksize = 2048;
    Stx->stx_nlink = 1;
    Stx->stx_uid = getuid();
    Stx->stx_gid = getgid();
    Stx->stx_mode = NodeMode;
    Stx->stx_ino = 0x4B00 + Drive;
    const time_t now = time(nullptr);
    Stx->stx_atime.tv_sec = Stx->stx_mtime.tv_sec = Stx->stx_ctime.tv_sec = now;
    Stx->stx_rdev_major = CdromMajor;
    Stx->stx_rdev_minor = Drive;
    Stx->stx_dev_major = 0;
    Stx->stx_dev_minor = 5;
}

}  // namespace vdrive::sg
