#include "cli/DriveSelection.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <stdexcept>

#include "burner/common/Clock.h"

namespace kestrel::cli {

std::vector<TOptionSpec> DriveOptions() {
    return {{"--drive", true, ""}, {"--device-layer", true, ""}, {"--verbose", false, "-v"}};
}

namespace {

void SelectLayer(const TParsedArgs& Args) {
    const auto layer = Args.Optional("--device-layer");
    if (!layer) return;
    if (*layer != "auto" && *layer != "passthrough" && *layer != "library")
        throw TUsageError("--device-layer takes auto, passthrough or library, not \"" + *layer + "\"");
    setenv("KESTREL_DEVICE_LAYER", layer->c_str(), 1);
}

void RouteLog(TSCSIDevice& Device, bool Verbose) {
    Device.DoDebug = Verbose;
    Device.OnDebugMessage = [Verbose](TDebugLog*, const std::string& Message, uint8_t Type) {
        if (!ShowLogLine(Type, Verbose)) return;
        static std::mutex lock;
        std::lock_guard guard(lock);
        std::cerr << Message << "\n";
    };
}

}  // namespace

bool ShowLogLine(uint8_t Type, bool Verbose) { return Verbose || (Type != mtInfo && Type != mtDevice); }

void InitializeLayer(TSCSIDevice& Device, const TParsedArgs& Args) {
    SelectLayer(Args);
    RouteLog(Device, Args.Has("--verbose"));
    if (!Device.InitializeASPI(true, {}))
        throw std::runtime_error("no device access layer could be loaded (no drive and no drive library found)");
}

void OpenDrive(TSCSIDevice& Device, const TParsedArgs& Args) {
    const long long index = Args.Integer("--drive", 0);
    InitializeLayer(Device, Args);
    const auto devices = Device.Devices();
    if (devices.empty()) throw std::runtime_error("no CD/DVD drive found");
    if (index < 0 || index >= (long long)devices.size())
        throw std::runtime_error("there is no drive " + std::to_string(index) + " (" + std::to_string(devices.size()) +
                                 " found; see \"kestrel-cli drives\")");
    Device.SelectDevice(devices[size_t(index)]);
    if (Device.CurrentDevice().empty())
        throw std::runtime_error("drive " + std::to_string(index) + " could not be selected: " + devices[size_t(index)]);
}

std::shared_ptr<TQueueDispatcher> UseQueueDispatcher(TSCSIDevice& Device) {
    auto queue = std::make_shared<TQueueDispatcher>();
    Device.SetDispatcher(queue);
    return queue;
}

bool WaitForEvent(TQueueDispatcher& Queue, const std::function<bool()>& Done, int64_t BudgetMs,
                  const std::function<void()>& Tick, int TickMs) {
    const auto deadline = DeadlineAfterMs(BudgetMs);
    while (!Done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Queue.RunPending(TickMs);
        if (Tick && !Done()) Tick();
    }
    return true;
}

uint16_t ParseSpeed(const std::string& Text) {
    if (Text == "max") return 0;
    char* end = nullptr;
    const long value = std::strtol(Text.c_str(), &end, 10);
    if (Text.empty() || *end != '\0' || value < 1 || value > 65535)
        throw TUsageError("--speed takes KB/s from 1 to 65535 or \"max\", not \"" + Text + "\"");
    return uint16_t(value);
}

}  // namespace kestrel::cli
