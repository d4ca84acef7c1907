#pragma once
// Which session of the disc a command works on. A number the disc does not
// have is refused (never quietly taken for the last session), and a drive
// busy with a long operation is waited for a while, then reported busy,
// not taken for an empty disc.
#include "burner/device/SCSIDevice.h"

namespace kestrel::cli {

// Throws std::runtime_error when the drive has no disc ready or stays busy.
void RequireReadyDrive(TSCSIDevice& Device);
// The number of sessions on the disc; throws when the drive stays busy.
int SessionCount(TSCSIDevice& Device);
// The session Asked names (-1: the last one); throws "there is no session
// N; the disc has M" for a number past the last, and when the disc holds
// no session at all.
int ChosenSession(TSCSIDevice& Device, int Asked);

}  // namespace kestrel::cli
