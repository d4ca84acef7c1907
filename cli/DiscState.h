#pragma once
// How kestrel-cli tells of a disc whose state the drive's summary hides: a
// session that a failed or interrupted burn left unfinished, and an
// overwritable disc without a file system.
#include <string>

#include "burner/device/SCSIDevice.h"

namespace kestrel::cli {

// "session N of the disc is unfinished: a burn failed or was interrupted
// after writing B sectors from sector S".
std::string UnfinishedSessionText(const TUnfinishedSession& Session);
// What closes it: the burn option that lets a new session follow.
std::string CloseUnfinishedHint();

inline constexpr const char* kNoFileSystemText = "no file system on the disc";

}  // namespace kestrel::cli
