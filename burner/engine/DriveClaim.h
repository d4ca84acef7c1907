#pragma once
// Keeping a drive to one write: a drive whose disc is mounted is refused,
// and a drive claimed by a running write in this process cannot be claimed
// by another.
#include <string>

namespace kestrel {

// True when Node (a device node such as /dev/sr0) is the source of a mount
// listed in MountsFile (the format of /proc/self/mounts).
bool IsDeviceMounted(const std::string& Node, const std::string& MountsFile = "/proc/self/mounts");

// Claims the drive named Key for this process; false when already claimed.
bool ClaimDrive(const std::string& Key);
void ReleaseDriveClaim(const std::string& Key);

}  // namespace kestrel
