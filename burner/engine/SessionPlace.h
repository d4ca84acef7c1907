#pragma once
// Where a session lies on the disc: the start of its own first track and
// the blocks of its tracks. Sessions are found by their session number, not
// by taking the session number for a track number, so discs whose sessions
// hold several tracks are read right.
#include <cstdint>
#include <optional>

#include "burner/device/SCSICommands.h"

namespace kestrel {

struct TSessionPlace {
    uint32_t FirstTrack = 0;
    uint32_t Start = 0;   // LBA of the first track
    uint32_t Blocks = 0;  // sum of the session's track sizes
};

// Asks the drive for the first track of session Number (READ TRACK
// INFORMATION by session number); a drive that refuses that form is asked
// track by track. Nothing when the session cannot be found.
std::optional<TSessionPlace> LocateSession(TSCSICommands& Device, uint16_t Number);

// One past the last readable block of the disc (READ CAPACITY); nothing
// when the drive does not say.
std::optional<uint32_t> ReadableEnd(TSCSICommands& Device);

}  // namespace kestrel
