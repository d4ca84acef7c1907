#pragma once
// Where the disc of a drive is mounted, read from the kernel's mount table,
// so that a refusal to write a mounted disc can name the folder.
#include <optional>
#include <string>

namespace kestrel {

// The folder where Node (a device node such as /dev/sr0, or a link to it)
// is mounted according to MountsFile (the format of /proc/self/mounts),
// unescaped; nothing when it is not mounted or Node is not a path.
std::optional<std::string> FindMountPoint(const std::string& Node,
                                          const std::string& MountsFile = "/proc/self/mounts");

// "THE DISC IN /dev/sr0 IS MOUNTED ON /media/me/DISC: UNMOUNT IT BEFORE
// WRITING (umount /media/me/DISC)".
std::string MountedDiscText(const std::string& Node, const std::string& MountPoint);

}  // namespace kestrel
