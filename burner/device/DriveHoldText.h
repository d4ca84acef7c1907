#pragma once
// Why a drive could not be held for a write or an erase, in the same words
// whichever access layer tried.
#include <string>

namespace kestrel {

// Another program (or another holder in this one, through the other layer)
// has the drive.
inline std::string DriveInUseText(const std::string& Drive) {
    return "THE DRIVE " + Drive + " IS IN USE BY ANOTHER PROGRAM";
}

// This process holds the drive already for another write or erase.
inline std::string DriveBusyHereText(const std::string& Drive) {
    return "THE DRIVE " + Drive + " IS BUSY WITH ANOTHER WRITE OR ERASE";
}

}  // namespace kestrel
