#include "burner/device/LibraryLayer.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "burner/device/DriveHoldText.h"

#ifndef KESTREL_INSTALLED_LIBDIR
#define KESTREL_INSTALLED_LIBDIR "/usr/local/lib/kestrel"
#endif
#ifndef KESTREL_LIBDIR_FROM_BINDIR
#define KESTREL_LIBDIR_FROM_BINDIR "../lib/kestrel"
#endif

namespace kestrel {
namespace {

std::string ProgramFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

bool IsFolder(const std::string& Path) {
    struct stat st {};
    return ::stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Join(const std::string& Folder, const std::string& File) {
    return (std::filesystem::path(Folder) / File).string();
}

std::string FileNameOf(const std::string& Path) { return std::filesystem::path(Path).filename().string(); }

uint32_t AddressKey(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    return uint32_t(HaId) << 16 | uint32_t(Target) << 8 | Lun;
}

}  // namespace

TLibraryLayer::~TLibraryLayer() { Unload(); }

std::vector<std::string> TLibraryLayer::Candidates(const std::string& LibraryPath) {
    std::vector<std::string> paths;
    if (!LibraryPath.empty()) {
        if (IsFolder(LibraryPath)) paths.push_back(Join(LibraryPath, DEFAULT_ACCESS_LIBRARY));
        else paths.push_back(LibraryPath);
    }
    if (auto folder = ProgramFolder(); !folder.empty()) {
        paths.push_back(Join(folder, DEFAULT_ACCESS_LIBRARY));
        // An installed program: its library folder relative to its own.
        paths.push_back(Join(Join(folder, KESTREL_LIBDIR_FROM_BINDIR), DEFAULT_ACCESS_LIBRARY));
    }
    paths.push_back(Join(KESTREL_INSTALLED_LIBDIR, DEFAULT_ACCESS_LIBRARY));
    paths.push_back(DEFAULT_ACCESS_LIBRARY);  // system search (no slash: never the current folder)
    return paths;
}

bool TLibraryLayer::Load(const std::string& LibraryPath, const TLayerLog& Log) {
    Unload();
    std::string tried;
    for (const auto& path : Candidates(LibraryPath)) {
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            if (const char* why = ::dlerror()) tried = why;
            continue;
        }
        Handle = handle;
        return TakeEntryPoints(path, Log);
    }
    if (Log && !tried.empty()) Log("ACCESS LIBRARY NOT LOADED: " + tried);
    return false;
}

bool TLibraryLayer::TakeEntryPoints(const std::string& Path, const TLayerLog& Log) {
    GetSupportInfo = reinterpret_cast<PFN_GetASPI32SupportInfo>(::dlsym(Handle, "GetASPI32SupportInfo"));
    SendCommand = reinterpret_cast<PFN_SendASPI32Command>(::dlsym(Handle, "SendASPI32Command"));
    GetDriveName = reinterpret_cast<PFN_KestrelDriveName>(::dlsym(Handle, "KestrelDriveName"));
    HoldEntry = reinterpret_cast<PFN_KestrelHoldDrive>(::dlsym(Handle, "KestrelHoldDrive"));
    ReleaseEntry = reinterpret_cast<PFN_KestrelReleaseDrive>(::dlsym(Handle, "KestrelReleaseDrive"));
    if (!HoldEntry || !ReleaseEntry) {  // a hold that cannot be given back is never taken
        HoldEntry = nullptr;
        ReleaseEntry = nullptr;
    }
    if (!GetSupportInfo || !SendCommand) {
        const char* missing = !GetSupportInfo ? "GetASPI32SupportInfo" : "SendASPI32Command";
        if (Log) Log("ACCESS LIBRARY " + Path + " DOES NOT EXPORT " + missing);
        Unload();
        return false;
    }
    Name = FileNameOf(Path);
    return true;
}

void TLibraryLayer::Unload() {
    ReleaseAllHolds();
    if (Handle) ::dlclose(Handle);
    Handle = nullptr;
    Name.clear();
    SendCommand = nullptr;
    GetSupportInfo = nullptr;
    GetDriveName = nullptr;
    HoldEntry = nullptr;
    ReleaseEntry = nullptr;
}

std::string TLibraryLayer::DriveName(uint8_t HaId, uint8_t Target, uint8_t Lun) const {
    if (!GetDriveName) return {};
    char name[256] = {};
    const int length = GetDriveName(HaId, Target, Lun, name, int(sizeof name));
    if (length < 0) return {};
    name[sizeof name - 1] = '\0';
    return name;
}

std::string TLibraryLayer::DisplayName(uint8_t HaId, uint8_t Target, uint8_t Lun) const {
    const std::string name = DriveName(HaId, Target, Lun);
    if (!name.empty()) return name;
    return std::to_string(HaId) + ":" + std::to_string(Target) + ":" + std::to_string(Lun);
}

std::string TLibraryLayer::HoldDrive(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    if (!HoldEntry) return {};
    std::lock_guard lock(HoldGuard);
    const uint32_t key = AddressKey(HaId, Target, Lun);
    if (Holds.count(key)) return DriveBusyHereText(DisplayName(HaId, Target, Lun));
    uint64_t token = 0;
    switch (HoldEntry(HaId, Target, Lun, &token)) {
        case KESTREL_HOLD_TAKEN: Holds[key] = token; return {};
        case KESTREL_HOLD_BUSY: return DriveInUseText(DisplayName(HaId, Target, Lun));
        default:
            return "NO DRIVE AT " + std::to_string(HaId) + ":" + std::to_string(Target) + ":" + std::to_string(Lun);
    }
}

void TLibraryLayer::ReleaseDrive(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    std::lock_guard lock(HoldGuard);
    const auto held = Holds.find(AddressKey(HaId, Target, Lun));
    if (held == Holds.end()) return;
    if (ReleaseEntry) ReleaseEntry(HaId, Target, Lun, held->second);
    Holds.erase(held);
}

void TLibraryLayer::ReleaseAllHolds() {
    std::lock_guard lock(HoldGuard);
    for (const auto& [key, token] : Holds)
        if (ReleaseEntry) ReleaseEntry(uint8_t(key >> 16), uint8_t(key >> 8), uint8_t(key), token);
    Holds.clear();
}

}  // namespace kestrel
