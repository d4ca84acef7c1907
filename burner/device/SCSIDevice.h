#pragma once
// The device layer as the burner sees it: one selected drive with its
// discovery, capabilities, disc information, unit control, erasing and
// write parameters, on top of command execution.
#include <memory>

#include "burner/common/Dispatcher.h"
#include "burner/device/SCSICommands.h"

namespace kestrel {

class TSCSIDevice : public TSCSICommands {
public:
    TSCSIDevice() = default;
    ~TSCSIDevice() override = default;

    // Where OnEraseDone and OnWriteDone are raised: the program's main thread.
    void SetDispatcher(std::shared_ptr<TMainThreadDispatcher> D) { Dispatcher = std::move(D); }
    std::shared_ptr<TMainThreadDispatcher> Dispatcher = std::make_shared<TDirectDispatcher>();
};

}  // namespace kestrel
