#pragma once
// A fresh virtual recorder for one test: its own state folder, drives set
// up through the recorder's model, and a device component on the layer the
// test program is registered for (the library, or the pass-through layer on
// the recorder's SG_IO interposer; never a real drive).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "burner/device/LibraryLayer.h"
#include "burner/device/PassThroughLayer.h"
#include "burner/device/SCSIDevice.h"
#include "model/StateDriveSet.h"
#include "support/TestSupport.h"

namespace kestrel::test {

// "library" or "passthrough": the layer the program was built to test.
const char* ExpectedDeviceLayer();

inline bool ExpectsPassThrough() { return std::string(ExpectedDeviceLayer()) == "passthrough"; }

// Checks that Device runs on the expected layer: the pass-through layer,
// with the interposer's /dev/srN as the node of the selected drive, or the
// recorder's library.
inline void ExpectExpectedLayer(const TSCSIDevice& Device) {
    if (!ExpectsPassThrough()) {
        EXPECT_EQ(Device.AccessLayerName(), DEFAULT_ACCESS_LIBRARY);
        return;
    }
    EXPECT_EQ(Device.AccessLayerName(), PASS_THROUGH_LAYER_NAME);
    if (!Device.CurrentDevice().empty()) {
        EXPECT_TRUE(std::regex_match(Device.GetDriveLetter(), std::regex(R"(/dev/sr\d+)"))) << Device.GetDriveLetter();
    }
}

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

    static bool PassThrough() { return ExpectsPassThrough(); }

private:
    // The layer of the program's registration. The pass-through layer is
    // only ever used on the interposer's drives: without the interposer the
    // test fails and keeps to the library, so no test reaches a real drive.
    static std::string Layer() {
        if (!ExpectsPassThrough()) return "library";
        if (InterposerLoaded()) return "passthrough";
        ADD_FAILURE() << "registered for the pass-through layer, but the SG_IO interposer is not loaded";
        return "library";
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
    ExpectExpectedLayer(*device);
    return device;
}

}  // namespace kestrel::test
