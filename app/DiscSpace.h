#pragma once
// The disc in the drive as the fill meter shows it: its type, its state and
// the space a burn can still use, read with the same queries the disc
// information dialog uses; and a cheap look at the drive that tells when
// that reading is out of date.
#include <QString>

#include <cstdint>
#include <optional>

namespace kestrel {
class TSCSIDevice;
}

namespace kestrel::app {

struct TDiscSpace {
    enum class TState { NoDrive, NoDisc, Blank, Appendable, HoldsData, Closed };
    TState State = TState::NoDrive;
    uint8_t Type = 0;          // medium type code (0 unknown, 1 CD-ROM, ...)
    uint16_t Sessions = 0;     // closed sessions on the disc
    int64_t FreeBytes = 0;     // what a burn can still write
    int64_t CapacityBytes = 0; // the whole medium
    bool Erasable = false;     // a rewritable disc the drive can blank or format

    bool HasDisc() const { return State != TState::NoDrive && State != TState::NoDisc; }
    bool operator==(const TDiscSpace&) const = default;
};

// Reads the disc in Device's selected drive. Sends only queries (and the
// write parameters page the space queries need); never writes to the disc.
TDiscSpace ReadDiscSpace(TSCSIDevice& Device);

// "DVD+RW, blank, 4.38 GB free", "CD-R, appendable, 1 session, 512.00 MB
// free", "DVD-ROM, closed, no space", "No disc".
QString DescribeDisc(const TDiscSpace& Disc);

// A byte count the way the meter words it: GB (of 1,073,741,824 bytes) from
// one GB up, else MB (of 1,048,576 bytes), with two decimals.
QString SpaceText(int64_t Bytes);

// What a cheap look at the drive sees: whether a disc is there, its profile
// and the first bytes of its disc information. A change means the disc was
// changed (or written) and must be read again.
struct TDriveLook {
    bool Present = false;
    uint16_t Profile = 0;
    uint32_t DiscInfo = 0;  // status, sessions and last track, packed

    bool operator==(const TDriveLook&) const = default;
};

// Looks at the drive with one or three short queries (TEST UNIT READY, and
// when a disc is there GET CONFIGURATION and READ DISC INFORMATION).
// Nothing when no drive answers.
std::optional<TDriveLook> LookAtDrive(TSCSIDevice& Device);

}  // namespace kestrel::app
