#pragma once
// Which paths the interposer answers itself. /dev/srN and /dev/scdN name
// virtual drive N; every other name of an optical or generic SCSI device is
// hidden, so that a program under the interposer never reaches real
// hardware. /dev/fd/N and /proc/self/fd/N re-open descriptor N.
#include <sys/stat.h>

namespace vdrive::sg {

enum class NodeKind {
    Other,        // not ours: passed on
    VirtualNode,  // /dev/srN or /dev/scdN (a drive only when N < drive count)
    Hidden,       // a device name that may lead to real hardware: ENOENT
    FdAlias,      // /dev/fd/N, /proc/self/fd/N: descriptor N opened again
};

struct NodeRef {
    NodeKind Kind = NodeKind::Other;
    int Number = -1;  // the drive (VirtualNode) or the descriptor (FdAlias)
};

NodeRef Classify(const char* Path);

// True for what real optical hardware looks like from stat: the SCSI CD-ROM
// block major and the generic SCSI character major.
bool IsOpticalHardware(const struct stat& St);
bool IsOpticalHardware(unsigned Mode, unsigned RdevMajor);

constexpr unsigned CdromMajor = 11;

}  // namespace vdrive::sg
