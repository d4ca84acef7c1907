#include "burner/device/AccessLayer.h"

#include <cstdlib>
#include <mutex>

#include "burner/device/PassThroughLayer.h"

namespace kestrel {

std::optional<TLayerChoice> ParseLayerChoice(const std::string& Text) {
    if (Text.empty() || Text == "auto") return TLayerChoice::Auto;
    if (Text == "passthrough") return TLayerChoice::PassThrough;
    if (Text == "library") return TLayerChoice::Library;
    return std::nullopt;
}

TAccessLayer& TAccessLayer::Instance() {
    static TAccessLayer layer;
    return layer;
}

TAccessLayer::~TAccessLayer() {
    std::unique_lock lock(Guard);
    DropLocked();
}

bool TAccessLayer::Initialize(bool Prefer, const std::string& LibraryPath, const TLayerLog& Log) {
    try {
        const char* env = std::getenv("KESTREL_DEVICE_LAYER");
        const auto choice = ParseLayerChoice(env ? env : "");
        if (!choice) {
            if (Log) Log("KESTREL_DEVICE_LAYER MUST BE auto, passthrough OR library, NOT \"" + std::string(env) + "\"");
            return false;
        }
        std::unique_lock lock(Guard);
        const bool loaded = LoadByChoice(*choice, Prefer, LibraryPath, Log);
        PreferPassThrough = Prefer;
        if (loaded && !PassThrough) Library.SupportInfo();  // the library's own initialisation
        if (loaded && PassThrough) PassThroughGetASPI32SupportInfo();
        return Loaded;
    } catch (...) {
        return false;
    }
}

bool TAccessLayer::LoadByChoice(TLayerChoice Choice, bool Prefer, const std::string& LibraryPath,
                                const TLayerLog& Log) {
    switch (Choice) {
        case TLayerChoice::PassThrough: return Loaded || LoadPassThrough(Log);
        case TLayerChoice::Library: return Loaded || LoadLibrary(LibraryPath, Log);
        case TLayerChoice::Auto: break;
    }
    if (Prefer && !Loaded) LoadPassThrough(Log);
    if (!Loaded) LoadLibrary(LibraryPath, Log);
    if (!Loaded) LoadPassThrough(Log);
    return Loaded;
}

bool TAccessLayer::LoadPassThrough(const TLayerLog& Log) {
    auto& layer = TPassThroughLayer::Instance();
    layer.Initialize(Log);
    if (layer.AdapterCount() == 0) return false;
    Loaded = true;
    PassThrough = true;
    return true;
}

bool TAccessLayer::LoadLibrary(const std::string& LibraryPath, const TLayerLog& Log) {
    if (!Library.Load(LibraryPath, Log)) return false;
    Loaded = true;
    PassThrough = false;
    return true;
}

bool TAccessLayer::Reinitialize(const TLayerLog& Log) {
    bool prefer;
    {
        std::unique_lock lock(Guard);
        DropLocked();
        prefer = PreferPassThrough;
    }
    Initialize(prefer, {}, Log);
    return true;
}

void TAccessLayer::Shutdown() {
    std::unique_lock lock(Guard);
    DropLocked();
}

void TAccessLayer::DropLocked() {
    TPassThroughLayer::Instance().Shutdown();
    Library.Unload();
    Loaded = false;
    PassThrough = false;
}

bool TAccessLayer::Initialized() const {
    std::shared_lock lock(Guard);
    return Loaded;
}

std::string TAccessLayer::Name() const {
    std::shared_lock lock(Guard);
    if (!Loaded) return {};
    return PassThrough ? PASS_THROUGH_LAYER_NAME : Library.FileName();
}

bool TAccessLayer::IsPassThrough() const {
    std::shared_lock lock(Guard);
    return Loaded && PassThrough;
}

uint32_t TAccessLayer::SendASPI32Command(void* Srb, int TimeoutMs) const {
    std::shared_lock lock(Guard);
    if (!Loaded) return SS_NO_ASPI;
    if (!PassThrough) return Library.Send(Srb);
    TPassThroughLayer::SetCommandTimeout(TimeoutMs);
    return PassThroughSendASPI32Command(Srb);
}

uint32_t TAccessLayer::GetASPI32SupportInfo() const {
    std::shared_lock lock(Guard);
    if (!Loaded) return uint32_t(SS_NO_ASPI) << 8;
    return PassThrough ? PassThroughGetASPI32SupportInfo() : Library.SupportInfo();
}

std::string TAccessLayer::PassThroughDriveNode(uint8_t HaId, uint8_t Target, uint8_t Lun) const {
    return TPassThroughLayer::Instance().DriveNode(HaId, Target, Lun);
}

std::string TAccessLayer::DriveName(uint8_t HaId, uint8_t Target, uint8_t Lun) const {
    std::shared_lock lock(Guard);
    if (!Loaded) return {};
    return PassThrough ? TPassThroughLayer::Instance().DriveNode(HaId, Target, Lun)
                       : Library.DriveName(HaId, Target, Lun);
}

void TAccessLayer::SetCloseAfterCommand(bool Value) { TPassThroughLayer::Instance().SetCloseAfterCommand(Value); }

bool TAccessLayer::CloseAfterCommand() const { return TPassThroughLayer::Instance().CloseAfterCommand(); }

std::string TAccessLayer::HoldDriveExclusive(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    std::shared_lock lock(Guard);
    if (!Loaded) return {};
    if (!PassThrough) return Library.HoldDrive(HaId, Target, Lun);
    return TPassThroughLayer::Instance().HoldExclusive(HaId, Target, Lun);
}

void TAccessLayer::ReleaseDriveExclusive(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    // Released whatever layer is loaded now, so a hold never outlives a layer
    // switch (dropping a layer gives back its holds too).
    TPassThroughLayer::Instance().ReleaseExclusive(HaId, Target, Lun);
    std::shared_lock lock(Guard);
    Library.ReleaseDrive(HaId, Target, Lun);
}

}  // namespace kestrel
