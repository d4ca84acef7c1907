#pragma once
// Test knobs of one drive, kept as "key=value" lines in the drive's
// knobs.conf (the control tool's `fault` command writes them):
//   fail-write-lba=N        a WRITE covering block N fails ...
//   fail-write-sense=K/AA/QQ  ... with this sense (hex; default 3/0C/00)
//   fail-write-count=N      ... this many times (default 1; -1 for ever)
//   corrupt-write-lba=N     block N is recorded with one byte changed; the
//                           write reports success
//   unreadable-lba=N        a READ covering block N fails with 3/11/00
//   busy-count=N            answer BUSY (status 08h) to the next N commands
//   long-write-count=N      answer NOT READY 04h/08h to the next N commands
//   busy-opcode=XX          limit the two above to one opcode (hex)
//   drop-medium-after=N     the medium disappears after N more written blocks
//   delay-ms=N              report each command N ms late (CommandReply.delayMs)
//   delay-opcode=XX         limit the delay to one opcode (hex)
//   throttle=yes            write at the selected speed's real rate
//   time-scale=F            factor for blank, format and close durations
// The environment can set throttle, delay and time scale for every drive:
// KESTREL_VDRIVE_THROTTLE, KESTREL_VDRIVE_DELAY_MS, KESTREL_VDRIVE_TIME_SCALE
// (then KESTREL_TIME_SCALE).
#include <cstdint>
#include <string>

#include "model/Sense.h"

namespace vdrive {

struct Knobs {
    int64_t failWriteLba = -1;
    SenseCode failWriteSense{0x3, 0x0C, 0x00};
    int64_t failWriteCount = 1;
    int64_t corruptWriteLba = -1;
    int64_t unreadableLba = -1;
    int64_t busyCount = 0;
    int64_t longWriteCount = 0;
    int busyOpcode = -1;
    int64_t dropMediumAfter = -1;
    uint32_t delayMs = 0;
    int delayOpcode = -1;
    bool throttle = false;
    double timeScale = -1;  // below 0: not set here

    std::string ToText() const;
    static Knobs FromText(const std::string& Text);  // throws std::runtime_error
    void Set(const std::string& Key, const std::string& Value);

    // Values after the environment is applied.
    double EffectiveTimeScale() const;
    bool EffectiveThrottle() const;
    uint32_t EffectiveDelayMs(uint8_t Opcode) const;
};

}  // namespace vdrive
