#include "cli/SessionChoice.h"

#include <stdexcept>
#include <string>

#include "burner/device/BusyWait.h"

namespace kestrel::cli {

namespace {

[[noreturn]] void ThrowBusy(const TSCSIDevice& Device) {
    throw std::runtime_error("the drive is busy (" + DriveBusyReason(Device) +
                             "); try again once its current work has finished");
}

}  // namespace

void RequireReadyDrive(TSCSIDevice& Device) {
    if (AskWhileBusy(Device, [&] { return Device.TestUnitReady(5000); })) return;
    if (DriveBusy(Device)) ThrowBusy(Device);
    throw std::runtime_error("the drive is not ready (no disc, or the tray is open)");
}

int SessionCount(TSCSIDevice& Device) {
    const int sessions = AskWhileBusy(Device, [&] { return Device.GetSessionCount(); });
    if (sessions == 0 && DriveBusy(Device)) ThrowBusy(Device);
    return sessions;
}

int ChosenSession(TSCSIDevice& Device, int Asked) {
    const int sessions = SessionCount(Device);
    if (sessions == 0) throw std::runtime_error("the disc holds no session");
    if (Asked == -1) return sessions;
    if (Asked > sessions)
        throw std::runtime_error("there is no session " + std::to_string(Asked) + "; the disc has " +
                                 std::to_string(sessions));
    return Asked;
}

}  // namespace kestrel::cli
