#pragma once
// A fresh virtual recorder for one test: its own state folder, drives set
// up through the recorder's model, and a device component on the layer the
// test environment names (the library unless told otherwise; never a real
// drive).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "burner/device/SCSIDevice.h"
#include "model/StateDriveSet.h"
#include "support/TestSupport.h"

namespace kestrel::test {

class TVirtualRecorder {
public:
    TVirtualRecorder()
        : stateEnv_("KESTREL_VDRIVE_DIR", dir_.Path().string()),
          layerEnv_("KESTREL_DEVICE_LAYER", Layer()),
          set_(std::make_unique<vdrive::StateDriveSet>(dir_.Path().string())) {}

    // Drive 0 is a DVD writer holding a blank DVD+RW, drive 1 a CD writer
    // holding a blank CD-R.
    vdrive::StateDriveSet& Drives() { return *set_; }
    vdrive::Drive& Drive(int Index) { return set_->At(Index); }

    int AddDrive(const std::string& Preset, const std::vector<std::pair<std::string, std::string>>& Settings = {}) {
        auto model = *vdrive::DriveModel::Preset(Preset);
        for (const auto& [key, value] : Settings) model.Set(key, value);
        return set_->AddDrive(model);
    }
    void Insert(int Index, vdrive::MediaKind Kind) { Drive(Index).Insert(vdrive::Medium::Blank(Kind)); }
    void InsertRecorded(int Index, vdrive::MediaKind Kind, uint32_t Blocks, bool Appendable,
                        const std::string& Image = "") {
        Drive(Index).Insert(vdrive::Medium::WithImage(Kind, Blocks, Appendable), Image);
    }

    static bool PassThrough() {
        const char* layer = std::getenv("KESTREL_DEVICE_LAYER");
        return layer && std::string(layer) == "passthrough";
    }

private:
    // Keeps the layer the test run chose; a bare run uses the library so
    // that no test ever reaches a real drive.
    static std::string Layer() {
        const char* layer = std::getenv("KESTREL_DEVICE_LAYER");
        return layer && *layer ? layer : "library";
    }

    TTempDir dir_;
    TScopedEnv stateEnv_;
    TScopedEnv layerEnv_;
    std::unique_ptr<vdrive::StateDriveSet> set_;
};

// A device component with its log collected.
class TLoggedDevice : public TSCSIDevice {
public:
    TLoggedDevice() {
        DoDebug = true;
        OnDebugMessage = [this](TDebugLog*, const std::string& Line, uint8_t Type) {
            std::lock_guard lock(logLock_);
            lines_.push_back({Line, Type});
        };
    }
    struct TLine {
        std::string Text;
        uint8_t Type;
    };
    std::vector<TLine> Log() const {
        std::lock_guard lock(logLock_);
        return lines_;
    }
    int CountLines(const std::string& Text) const {
        int n = 0;
        for (const auto& line : Log()) n += line.Text == Text;
        return n;
    }
    void ClearLog() {
        std::lock_guard lock(logLock_);
        lines_.clear();
    }

private:
    mutable std::mutex logLock_;
    std::vector<TLine> lines_;
};

// Loads the layer and selects drive Index of the list.
inline std::unique_ptr<TLoggedDevice> OpenDevice(int Index) {
    auto device = std::make_unique<TLoggedDevice>();
    EXPECT_TRUE(device->InitializeASPI(true, {}));
    const auto devices = device->Devices();
    if (Index < int(devices.size())) device->SelectDevice(devices[size_t(Index)]);
    EXPECT_FALSE(device->CurrentDevice().empty()) << "drive " << Index << " of " << devices.size();
    return device;
}

// Polls Condition until it holds or Seconds of real time have passed.
template <typename F>
bool WaitUntil(F Condition, double Seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    while (!Condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace kestrel::test
