#pragma once
// The access library loaded at run time: a shared library exporting
// GetASPI32SupportInfo and SendASPI32Command (by default the virtual
// recorder's libkestrel-vdrive.so). It is looked for where the program was
// installed, never in the current directory.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kestrel/aspi_srb.h"

namespace kestrel {

using TLayerLog = std::function<void(const std::string& Line)>;

// File name of the library loaded when no path is given.
constexpr const char* DEFAULT_ACCESS_LIBRARY = "libkestrel-vdrive.so";

class TLibraryLayer {
public:
    TLibraryLayer() = default;
    ~TLibraryLayer();
    TLibraryLayer(const TLibraryLayer&) = delete;
    TLibraryLayer& operator=(const TLibraryLayer&) = delete;

    // Where the library is looked for, in order: LibraryPath (a file, or a
    // folder holding the default library), the folder of the running program,
    // the installed library folder, and the system search by file name.
    static std::vector<std::string> Candidates(const std::string& LibraryPath);

    // Loads the first candidate that opens. False when none opens or the
    // library lacks one of the two entry points (then it is unloaded again);
    // the reason goes to Log.
    bool Load(const std::string& LibraryPath, const TLayerLog& Log);
    void Unload();
    bool Loaded() const { return Handle != nullptr; }

    // The loaded library's file name ("libkestrel-vdrive.so").
    const std::string& FileName() const { return Name; }
    uint32_t Send(void* Srb) const { return SendCommand ? SendCommand(Srb) : uint32_t(SS_NO_ASPI); }
    uint32_t SupportInfo() const { return GetSupportInfo ? GetSupportInfo() : uint32_t(SS_NO_ADAPTERS) << 8; }
    // The library's own name of the drive, when it exports one; else empty.
    std::string DriveName(uint8_t HaId, uint8_t Target, uint8_t Lun) const;

    // Holds the drive exclusively until ReleaseDrive, through the library's
    // hold export: the same hold as an O_EXCL open of the drive's node, so
    // other programs stay off whichever way they reach the drive. A library
    // without the export holds nothing. Empty when held, else the reason.
    std::string HoldDrive(uint8_t HaId, uint8_t Target, uint8_t Lun);
    void ReleaseDrive(uint8_t HaId, uint8_t Target, uint8_t Lun);

private:
    bool TakeEntryPoints(const std::string& Path, const TLayerLog& Log);
    std::string DisplayName(uint8_t HaId, uint8_t Target, uint8_t Lun) const;
    void ReleaseAllHolds();

    void* Handle = nullptr;
    std::string Name;
    PFN_SendASPI32Command SendCommand = nullptr;
    PFN_GetASPI32SupportInfo GetSupportInfo = nullptr;
    PFN_KestrelDriveName GetDriveName = nullptr;
    PFN_KestrelHoldDrive HoldEntry = nullptr;
    PFN_KestrelReleaseDrive ReleaseEntry = nullptr;

    std::mutex HoldGuard;
    std::map<uint32_t, uint64_t> Holds;  // hold token by drive address
};

}  // namespace kestrel
