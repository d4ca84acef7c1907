#pragma once
// The persistent state of one drive besides its sector data: the tray, the
// medium in it and a long operation (blank, format, close) that may still be
// running. Saved as text in state.conf (temp file + rename); generation
// numbers tell other processes that they must reload it.
#include <cstdint>
#include <optional>
#include <string>

#include "model/Medium.h"

namespace vdrive {

enum class LongOp : uint8_t { None, Blank, Format, Close };

struct DriveState {
    bool trayOpen = false;
    std::optional<Medium> medium;
    LongOp op = LongOp::None;
    int64_t opStartMs = 0;  // wall clock, so other processes see the same
    int64_t opEndMs = 0;
    uint64_t generation = 0;
    uint64_t mediaEvents = 0;  // counts medium changes (event notification)

    bool MediumPresent() const { return medium && !trayOpen; }
    std::string ToText() const;
    static DriveState FromText(const std::string& Text);  // throws std::runtime_error
};

// Milliseconds since the epoch: when long operations start and end (all
// processes see the same) and when hand edits are looked for. A test of the
// model may stand a clock of its own in for the system's, for the whole
// process; SetTestClock(nullptr) gives the system's back.
int64_t WallClockMs();
using TestClock = int64_t (*)();
void SetTestClock(TestClock Clock);

}  // namespace vdrive
