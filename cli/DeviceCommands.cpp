// kestrel-cli drives, capabilities, load, eject, ready.
#include <cstdio>
#include <iostream>

#include "cli/CliCommand.h"
#include "cli/DriveSelection.h"

namespace kestrel::cli {

namespace {

std::string Reason(const TSCSIDevice& Device) { return Device.LastError.empty() ? "" : ": " + Device.LastError; }

int RunDrives(const TParsedArgs& Args) {
    TSCSIDevice device;
    InitializeLayer(device, Args);
    const auto devices = device.Devices();
    if (devices.empty()) return Fail("no CD/DVD drive found");
    for (size_t i = 0; i < devices.size(); ++i) std::cout << i << "  " << devices[i] << "\n";
    return 0;
}

struct TNamedFlag {
    const char* Name;
    uint32_t Bit;
};

constexpr TNamedFlag kFlags[] = {
    {"ReadCDR", cap::ReadCDR}, {"ReadCDRW", cap::ReadCDRW}, {"ReadMethod2", cap::ReadMethod2},
    {"ReadDVD", cap::ReadDVD}, {"ReadDVDR", cap::ReadDVDR}, {"ReadDVDRW", cap::ReadDVDRW},
    {"ReadDVDRAM", cap::ReadDVDRAM}, {"ReadDVDPR", cap::ReadDVDPR}, {"ReadDVDPRDL", cap::ReadDVDPRDL},
    {"ReadDVDPRW", cap::ReadDVDPRW}, {"WriteCDR", cap::WriteCDR}, {"WriteCDRW", cap::WriteCDRW},
    {"WriteTest", cap::WriteTest}, {"WriteDVDR", cap::WriteDVDR}, {"WriteDVDRW", cap::WriteDVDRW},
    {"WriteDVDRAM", cap::WriteDVDRAM}, {"WriteDVDPR", cap::WriteDVDPR}, {"WriteDVDPRDL", cap::WriteDVDPRDL},
    {"WriteDVDPRW", cap::WriteDVDPRW}, {"ReadBD", cap::ReadBD}, {"ReadBDR", cap::ReadBDR},
    {"ReadBDRE", cap::ReadBDRE}, {"WriteBDR", cap::WriteBDR}, {"WriteBDRE", cap::WriteBDRE},
    {"UnderrunProtection", cap::UnderrunProtection},
};

std::string WriteModeNames(uint8_t Modes) {
    std::string names;
    auto add = [&](uint8_t Bit, const char* Name) {
        if (Modes & Bit) names += (names.empty() ? "" : ", ") + std::string(Name);
    };
    add(1, "raw");
    add(2, "session at once");
    add(4, "track at once");
    return names.empty() ? "none" : names;
}

int RunCapabilities(const TParsedArgs& Args) {
    TSCSIDevice device;
    OpenDrive(device, Args);
    if (!device.ReadCapabilities()) return Fail("the drive did not report its capabilities" + Reason(device));
    std::cout << "Drive: " << device.CurrentDevice() << "\n";
    for (const auto& flag : kFlags)
        std::cout << "  " << flag.Name << ": " << ((device.Capabilities() & flag.Bit) ? "yes" : "no") << "\n";
    std::cout << "Maximum read speed: " << device.DeviceMaxReadSpeed() << " KB/s\n"
              << "Maximum write speed: " << device.DeviceMaxWriteSpeed() << " KB/s\n"
              << "Current write speed: " << device.CapabilitiesPage().CurrentWriteSpeed << " KB/s\n"
              << "Buffer size: " << device.CapabilitiesPage().BufferSize << " KB\n"
              << "Write modes: " << WriteModeNames(device.WriteModes()) << "\n";
    return 0;
}

int RunLoadEject(const TParsedArgs& Args, bool Eject) {
    TSCSIDevice device;
    OpenDrive(device, Args);
    if (!device.LoadEject(Eject)) return Fail(std::string(Eject ? "eject" : "load") + " failed" + Reason(device));
    std::cout << (Eject ? "Ejected" : "Loaded") << "\n";
    return 0;
}

int RunReady(const TParsedArgs& Args) {
    TSCSIDevice device;
    OpenDrive(device, Args);
    if (!device.TestUnitReady(5000)) return Fail("the drive is not ready" + Reason(device));
    std::cout << "Ready\n";
    return 0;
}

const TCliRegistration drives({"drives", "drives [--device-layer auto|passthrough|library] [--verbose]",
                               "Lists the CD/DVD/BD drives; the number in front is the --drive index.",
                               DriveOptions(), RunDrives});
const TCliRegistration capabilities({"capabilities", "capabilities [--drive N] [--device-layer L]",
                                     "Shows what the drive can read and write and how fast.", DriveOptions(),
                                     RunCapabilities});
const TCliRegistration load({"load", "load [--drive N] [--device-layer L]", "Closes the drive's tray.",
                             DriveOptions(), [](const TParsedArgs& A) { return RunLoadEject(A, false); }});
const TCliRegistration eject({"eject", "eject [--drive N] [--device-layer L]", "Opens the drive's tray.",
                              DriveOptions(), [](const TParsedArgs& A) { return RunLoadEject(A, true); }});
const TCliRegistration ready({"ready", "ready [--drive N] [--device-layer L]",
                              "Tells whether the drive is ready; fails when it is not.", DriveOptions(), RunReady});

}  // namespace
}  // namespace kestrel::cli
