#pragma once
// What a write needs to know of the drive and its disc before the user is
// asked about it: the disc's space and state, whether a write would replace
// files it shows, a session a failed burn left unfinished, and where the
// desktop mounted it. Read on the drive worker.
#include <functional>
#include <optional>
#include <string>

#include "app/DiscSpace.h"
#include "burner/device/SCSIDevice.h"

namespace kestrel::app {

struct TDiscReport {
    TDiscSpace Space;
    // An overwritable disc with a file system: a write replaces what it shows.
    bool HoldsFiles = false;
    std::optional<TUnfinishedSession> Unfinished;
    std::string Node;                       // the drive's device node (or the library's name for it)
    std::optional<std::string> MountPoint;  // where its disc is mounted
};

// Where the disc of the drive at Node is mounted; nothing when it is not.
using TMountLookup = std::function<std::optional<std::string>(const std::string& Node)>;

// Reads the disc in Drive's selected drive through a device object of its
// own, so that neither its lines nor its failures reach Drive's log. Sends
// only queries.
TDiscReport ReadDiscReport(const TSCSIDevice& Drive, const TMountLookup& MountPointOf);

}  // namespace kestrel::app
