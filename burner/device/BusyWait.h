#pragma once
// A drive busy with a long operation (another program's write, a format, a
// close) answers BUSY, or NOT READY with an operation in progress. Such an
// answer says nothing about the disc: the command is asked again within a
// bounded wait, and a drive that stays busy is reported as busy instead of
// its failure being read as the answer ("no session", "no volume").
#include <string>

#include "burner/common/Clock.h"
#include "burner/device/SCSICommands.h"

namespace kestrel {

// Sense key NOT READY with ASC 04h: the logical unit is not ready, and the
// ASCQ says why. These reasons pass by themselves.
inline constexpr uint8_t kSenseKeyNotReady = 0x02;
inline constexpr uint8_t kAscNotReady = 0x04;
inline constexpr uint8_t kAscqBecomingReady = 0x01;
inline constexpr uint8_t kAscqFormatInProgress = 0x04;
inline constexpr uint8_t kAscqOperationInProgress = 0x07;
inline constexpr uint8_t kAscqLongWriteInProgress = 0x08;

// How often a command is asked while the drive stays busy, and the pause
// between two attempts: about half a minute in all.
inline constexpr int kBusyAttempts = 60;
inline constexpr int kBusyPauseMs = 500;

// True when the last command failed because the drive is busy.
bool DriveBusy(const TSCSICommands& Device);
// What the drive said, from the last command's failure: "TARGET BUSY", or
// the sense text ("LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS").
std::string DriveBusyReason(const TSCSICommands& Device);
// "THE DRIVE IS BUSY: " and the reason, for the log.
std::string DriveBusyText(const TSCSICommands& Device);

// Runs Command, whose result tests false on failure, again while it fails
// because the drive is busy (kBusyAttempts times at most). The result of
// the last attempt is returned; DriveBusy then tells whether the drive
// stayed busy.
template <class TCommand>
auto AskWhileBusy(const TSCSICommands& Device, TCommand&& Command) {
    auto result = Command();
    for (int attempt = 1; attempt < kBusyAttempts && !result && DriveBusy(Device); ++attempt) {
        SleepMs(kBusyPauseMs);
        result = Command();
    }
    return result;
}

}  // namespace kestrel
