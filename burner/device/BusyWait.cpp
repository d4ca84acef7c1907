#include "burner/device/BusyWait.h"

#include "burner/device/MessageTable.h"

namespace kestrel {

namespace {

uint8_t SenseKey(const TSCSICommands& Device) { return Device.LastSense[2] & 0x0F; }

}  // namespace

bool DriveBusy(const TSCSICommands& Device) {
    if (Device.TargetBusy) return true;
    if (SenseKey(Device) != kSenseKeyNotReady || Device.LastASC() != kAscNotReady) return false;
    const uint8_t why = Device.LastASCQ();
    return why == kAscqBecomingReady || why == kAscqFormatInProgress || why == kAscqOperationInProgress ||
           why == kAscqLongWriteInProgress;
}

std::string DriveBusyReason(const TSCSICommands& Device) {
    if (!Device.TargetBusy)
        if (const char* text = AdditionalSenseText(Device.LastASC(), Device.LastASCQ())) return text;
    return LoadMessage(msgTargetBusy);
}

std::string DriveBusyText(const TSCSICommands& Device) { return "THE DRIVE IS BUSY: " + DriveBusyReason(Device); }

}  // namespace kestrel
