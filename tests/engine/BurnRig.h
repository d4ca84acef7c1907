#pragma once
// A burner on a fresh virtual recorder: its own state folder, the drive's
// medium and knobs set through the recorder's model, the commands the drive
// saw, and its disc dumped to a file for the peers.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "burner/device/PassThroughLayer.h"
#include "model/StateDriveSet.h"

namespace kestrel::test {

// One command of the drive's trace.
struct TTracedCommand {
    std::vector<uint8_t> Cdb;
    uint8_t Status = 0;
    uint8_t Opcode() const { return Cdb.empty() ? 0 : Cdb[0]; }
    uint32_t Lba() const { return uint32_t(Cdb[2]) << 24 | uint32_t(Cdb[3]) << 16 | uint32_t(Cdb[4]) << 8 | Cdb[5]; }
    uint16_t Blocks() const { return uint16_t(Cdb[7] << 8 | Cdb[8]); }
};

class TBurnRig {
public:
    static constexpr int kDrive = 0;  // the DVD writer with every capability

    // The rig's drive is the DVD writer, or a drive of the model preset
    // AddedModel added after the standard ones ("bd-writer").
    explicit TBurnRig(const std::string& AddedModel = {})
        : stateEnv_("KESTREL_VDRIVE_DIR", state_.Path().string()),
          layerEnv_("KESTREL_DEVICE_LAYER", "library"),
          drives_(std::make_unique<vdrive::StateDriveSet>(state_.Path().string())) {
        if (!AddedModel.empty()) drive_ = drives_->AddDrive(*vdrive::DriveModel::Preset(AddedModel));
        burner.DoDebug = true;
        burner.OnDebugMessage = [this](TDebugLog*, const std::string& Line, uint8_t) {
            std::lock_guard lock(logLock_);
            log_.push_back(Line);
        };
        burner.SetCacheSize(2097152);
    }

    vdrive::Drive& Drive() { return drives_->At(drive_); }
    int DriveIndex() const { return drive_; }
    void Insert(vdrive::MediaKind Kind) { Drive().Insert(vdrive::Medium::Blank(Kind)); }
    void InsertImage(vdrive::MediaKind Kind, const std::string& Image, bool Appendable) {
        const auto blocks = static_cast<uint32_t>((std::filesystem::file_size(Image) + 2047) / 2048);
        Drive().Insert(vdrive::Medium::WithImage(Kind, blocks, Appendable), Image);
    }
    void SetKnob(const std::string& Key, const std::string& Value) {
        auto knobs = Drive().CurrentKnobs();
        knobs.Set(Key, Value);
        Drive().SetKnobs(knobs);
    }

    // Loads the library layer and selects the drive.
    bool Open() {
        if (!burner.InitializeASPI(false, {})) return false;
        const auto devices = burner.Devices();
        if (devices.size() <= size_t(drive_)) return false;
        burner.SelectDevice(devices[size_t(drive_)]);
        return !burner.CurrentDevice().empty();
    }

    // Loads the pass-through layer, which the SG_IO interposer shows the
    // drive to as /dev/sr0, selects the drive and checks both.
    void OpenThroughPassThrough() {
        TScopedEnv layer("KESTREL_DEVICE_LAYER", "passthrough");
        ASSERT_TRUE(burner.InitializeASPI(true, {}));
        const auto devices = burner.Devices();
        ASSERT_FALSE(devices.empty());
        burner.SelectDevice(devices.front());
        ASSERT_EQ(burner.AccessLayerName(), PASS_THROUGH_LAYER_NAME) << "the pass-through layer";
        ASSERT_EQ(burner.GetDriveLetter(), "/dev/sr0");
    }

    // Fills the compilation with the files of Source.
    void Fill(const std::string& Source) {
        burner.ClearAll(65535, 8191);
        ASSERT_EQ(burner.InsertDir(burner.RootDir, Source, "*.*", 63, true, false, false), 1);
    }

    // Burns the compilation and returns the Error of OnWriteDone.
    std::string Burn() {
        TWriteDoneWatch watch(burner);
        if (!burner.BurnCD()) return "<not started>";
        const std::string error = watch.Wait(120);
        EXPECT_EQ(watch.Count(), 1u);
        return error;
    }
    std::string BurnImage(const std::string& Image) {
        TWriteDoneWatch watch(burner);
        if (!burner.BurnISOImage(Image)) return "<not started>";
        return watch.Wait(120);
    }

    std::vector<TTracedCommand> Trace() {
        std::vector<TTracedCommand> commands;
        for (const auto& entry : Drive().Trace())
            commands.push_back({std::vector<uint8_t>(entry.cdb, entry.cdb + entry.cdbLen), entry.status});
        return commands;
    }
    std::vector<TTracedCommand> Commands(uint8_t Opcode) {
        std::vector<TTracedCommand> found;
        for (auto& command : Trace())
            if (command.Opcode() == Opcode) found.push_back(command);
        return found;
    }
    void ClearTrace() { Drive().ClearTrace(); }

    std::string Dump() {
        const std::string path = state_ / ("dump-" + std::to_string(dumps_++) + ".iso");
        Drive().Dump(path);
        return path;
    }
    std::vector<std::string> Log() {
        std::lock_guard lock(logLock_);
        return log_;
    }
    bool Logged(const std::string& Part) {
        for (const auto& line : Log())
            if (line.find(Part) != std::string::npos) return true;
        return false;
    }

    TTempDir files;
    TKestrelBurner burner;

private:
    TTempDir state_;
    TScopedEnv stateEnv_;
    TScopedEnv layerEnv_;
    std::unique_ptr<vdrive::StateDriveSet> drives_;
    int drive_ = kDrive;
    std::mutex logLock_;
    std::vector<std::string> log_;
    int dumps_ = 0;
};

}  // namespace kestrel::test
