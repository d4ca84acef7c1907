#pragma once
// What every drive command of kestrel-cli shares: the --drive,
// --device-layer and --verbose options, loading the access layer, selecting
// the drive, and waiting on the main thread for the burner's events.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "burner/common/Dispatcher.h"
#include "burner/device/SCSIDevice.h"
#include "cli/CliArgs.h"

namespace kestrel::cli {

// --drive N (index in the device list, default 0), --device-layer
// auto|passthrough|library, --verbose (information lines of the log).
std::vector<TOptionSpec> DriveOptions();

// Whether a log line of this type is shown: failures always, information
// lines and device-level lines (failed commands in full) with --verbose.
bool ShowLogLine(uint8_t Type, bool Verbose);

// Sends the device's log to stderr and loads the access layer the options
// ask for. Throws std::runtime_error when none can be loaded.
void InitializeLayer(TSCSIDevice& Device, const TParsedArgs& Args);

// Sends the device's log to stderr (as ShowLogLine says), loads the access layer and selects the drive the options name.
// Throws std::runtime_error with a clear text when no drive can be selected.
void OpenDrive(TSCSIDevice& Device, const TParsedArgs& Args);

// Makes the device raise its completion events into a queue that
// WaitForEvent drains on the calling (main) thread.
std::shared_ptr<TQueueDispatcher> UseQueueDispatcher(TSCSIDevice& Device);

// Runs posted events until Done() is true or BudgetMs (scaled like every
// wait) has passed; Tick runs about every TickMs in between. False on time-out.
bool WaitForEvent(TQueueDispatcher& Queue, const std::function<bool()>& Done, int64_t BudgetMs,
                  const std::function<void()>& Tick = {}, int TickMs = 500);

// "--speed KBPS|max": KB/s, 0 for the maximum. Throws TUsageError when malformed.
uint16_t ParseSpeed(const std::string& Text);

}  // namespace kestrel::cli
