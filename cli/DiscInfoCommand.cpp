// kestrel-cli disc-info: the medium, its state, sessions and space.
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

#include "cli/CliCommand.h"
#include "cli/DiscState.h"
#include "cli/DriveSelection.h"

namespace kestrel::cli {

namespace {

const char* DiscStatusName(uint8_t Status) {
    static const char* const names[] = {"empty", "appendable", "complete", "other"};
    return names[Status & 3];
}

const char* SessionStateName(uint8_t State) {
    static const char* const names[] = {"empty", "incomplete", "reserved or damaged", "complete"};
    return names[State & 3];
}

// Blocks of 2,048 bytes as "#,##0.00" megabytes.
std::string Megabytes(uint32_t Blocks) {
    const uint64_t hundredths = (uint64_t(Blocks) * 2048 * 100 + 524288) / 1048576;
    const std::string whole = std::to_string(hundredths / 100);
    std::string grouped;
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
        grouped += whole[i];
    }
    char fraction[4];
    std::snprintf(fraction, sizeof fraction, "%02u", unsigned(hundredths % 100));
    return grouped + "." + fraction;
}

std::string JsonText(const std::string& Text) {
    std::string out = "\"";
    for (unsigned char c : Text) {
        if (c == '"' || c == '\\') out += '\\', out += char(c);
        else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else out += char(c);
    }
    return out + "\"";
}

struct TDiscReport {
    TDisc Disc;
    uint16_t Sessions = 0;
    uint32_t Used = 0, Free = 0, Capacity = 0;
    std::optional<TUnfinishedSession> Unfinished;
    // An overwritable disc without a file system is shown empty; what the
    // drive reported is kept beside it.
    bool NoFileSystem = false;
    uint8_t DriveStatus = 0, DriveLastSessionState = 0;
    uint16_t DriveSessions = 0;
};

// Shows an overwritable disc that holds no file system as the empty disc it
// is, keeping the drive's own report.
void ShowAsEmpty(TDiscReport& R) {
    R.NoFileSystem = true;
    R.DriveStatus = R.Disc.DiscStatus;
    R.DriveLastSessionState = R.Disc.LastSessionState;
    R.DriveSessions = R.Sessions;
    R.Disc.DiscStatus = 0;
    R.Disc.LastSessionState = 0;
    R.Sessions = 0;
    R.Used = 0;
}

void PrintText(const TDiscReport& R) {
    auto space = [](const char* Label, uint32_t Blocks) {
        std::cout << Label << Blocks << " blocks (" << Megabytes(Blocks) << " MB)\n";
    };
    std::cout << "Medium:       " << R.Disc.MediumName << "\n"
              << "Status:       " << DiscStatusName(R.Disc.DiscStatus)
              << (R.NoFileSystem ? std::string(" (") + kNoFileSystemText + ")" : "") << "\n"
              << "Last session: " << SessionStateName(R.Disc.LastSessionState) << "\n"
              << "Sessions:     " << R.Sessions << "\n";
    if (R.Unfinished)
        std::cout << "Unfinished:   " << UnfinishedSessionText(*R.Unfinished) << "; " << CloseUnfinishedHint() << "\n";
    std::cout << "Erasable:     " << (R.Disc.Erasable ? "yes" : "no") << "\n";
    space("Used:         ", R.Used);
    space("Free:         ", R.Free);
    space("Capacity:     ", R.Capacity);
    if (R.NoFileSystem)
        std::cout << "Drive report: " << DiscStatusName(R.DriveStatus) << " disc, last session "
                  << SessionStateName(R.DriveLastSessionState) << ", " << R.DriveSessions << " session(s)\n";
}

void PrintJson(const TDiscReport& R) {
    std::ostringstream out;
    out << "{\"medium\":" << JsonText(R.Disc.MediumName) << ",\"profile\":" << R.Disc.Profile
        << ",\"status\":" << JsonText(DiscStatusName(R.Disc.DiscStatus))
        << ",\"lastSessionState\":" << JsonText(SessionStateName(R.Disc.LastSessionState))
        << ",\"sessions\":" << R.Sessions << ",\"erasable\":" << (R.Disc.Erasable ? "true" : "false");
    if (R.Unfinished)
        out << ",\"unfinishedSession\":{\"session\":" << R.Unfinished->Session << ",\"start\":" << R.Unfinished->Start
            << ",\"blocks\":" << R.Unfinished->RecordedBlocks << "}";
    if (R.NoFileSystem)
        out << ",\"noFileSystem\":true,\"driveReport\":{\"status\":" << JsonText(DiscStatusName(R.DriveStatus))
            << ",\"lastSessionState\":" << JsonText(SessionStateName(R.DriveLastSessionState))
            << ",\"sessions\":" << R.DriveSessions << "}";
    auto space = [&](const char* Name, uint32_t Blocks) {
        std::string mb = Megabytes(Blocks);
        std::erase(mb, ',');
        out << ",\"" << Name << "Blocks\":" << Blocks << ",\"" << Name << "MB\":" << mb;
    };
    space("used", R.Used);
    space("free", R.Free);
    space("capacity", R.Capacity);
    out << "}";
    std::cout << out.str() << "\n";
}

int RunDiscInfo(const TParsedArgs& Args) {
    TSCSIDevice device;
    OpenDrive(device, Args);
    TDiscReport report;
    device.GetDiscInformation(report.Disc);
    if (!report.Disc.Ready) return Fail("the drive is not ready (no disc, or the tray is open)");
    report.Sessions = device.GetSessionCount();
    report.Used = device.GetUsedBlocks();
    report.Free = device.GetFreeBlocks();
    report.Capacity = device.GetDiscCapacity();
    report.Unfinished = device.FindUnfinishedSession();
    if (device.HoldsNoFileSystem()) ShowAsEmpty(report);
    if (Args.Has("--json")) PrintJson(report);
    else PrintText(report);
    return 0;
}

std::vector<TOptionSpec> DiscInfoOptions() {
    auto options = DriveOptions();
    options.push_back({"--json", false, ""});
    return options;
}

const TCliRegistration discInfo({"disc-info", "disc-info [--drive N] [--device-layer L] [--json]",
                                 "Shows the disc's medium, status, sessions and used/free/capacity.",
                                 DiscInfoOptions(), RunDiscInfo});

}  // namespace
}  // namespace kestrel::cli
