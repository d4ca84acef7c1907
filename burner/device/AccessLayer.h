#pragma once
// The process-wide access layer: which back end carries request blocks (the
// pass-through layer or a run-time loaded library) and the two entry points
// through which every request goes.
#include <cstdint>
#include <functional>
#include <optional>
#include <shared_mutex>
#include <string>

#include "burner/device/LibraryLayer.h"

namespace kestrel {

// Which back ends InitializeASPI may use. The environment variable
// KESTREL_DEVICE_LAYER (auto, passthrough, library) sets it.
enum class TLayerChoice { Auto, PassThrough, Library };

// The choice named by Text, or nothing for an unknown name.
std::optional<TLayerChoice> ParseLayerChoice(const std::string& Text);

class TAccessLayer {
public:
    static TAccessLayer& Instance();

    // Loads a layer: the pass-through layer first when PreferPassThrough,
    // else the library, else the pass-through layer. True when one is loaded.
    bool Initialize(bool PreferPassThrough, const std::string& LibraryPath, const TLayerLog& Log);
    // Drops the layer and loads one again with the remembered preference.
    bool Reinitialize(const TLayerLog& Log);
    // Drops the layer (pass-through descriptors closed, library unloaded).
    void Shutdown();

    bool Initialized() const;
    std::string Name() const;
    bool IsPassThrough() const;

    // Sends a request; TimeoutMs is the pass-through layer's SG_IO time limit.
    uint32_t SendASPI32Command(void* Srb, int TimeoutMs = 120000) const;
    uint32_t GetASPI32SupportInfo() const;

    std::string PassThroughDriveNode(uint8_t HaId, uint8_t Target, uint8_t Lun) const;
    std::string DriveName(uint8_t HaId, uint8_t Target, uint8_t Lun) const;
    void SetCloseAfterCommand(bool Value);
    bool CloseAfterCommand() const;

    // Keeps other programs off the drive until ReleaseDriveExclusive: the
    // pass-through layer holds the node with O_EXCL, the library takes its
    // own exclusive hold of the drive (the same hold, on the virtual
    // recorder). Empty when held, else why not.
    std::string HoldDriveExclusive(uint8_t HaId, uint8_t Target, uint8_t Lun);
    void ReleaseDriveExclusive(uint8_t HaId, uint8_t Target, uint8_t Lun);

private:
    TAccessLayer() = default;
    ~TAccessLayer();
    bool LoadPassThrough(const TLayerLog& Log);
    bool LoadLibrary(const std::string& LibraryPath, const TLayerLog& Log);
    bool LoadByChoice(TLayerChoice Choice, bool PreferPassThrough, const std::string& LibraryPath,
                      const TLayerLog& Log);
    void DropLocked();

    mutable std::shared_mutex Guard;
    TLibraryLayer Library;
    bool Loaded = false;
    bool PassThrough = false;
    bool PreferPassThrough = true;
};

}  // namespace kestrel
