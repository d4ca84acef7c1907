#pragma once
// Check conditions raised inside the drive model. A command handler throws a
// CheckCondition; the drive turns it into status 02h with fixed-format sense.
#include <cstdint>
#include <stdexcept>

namespace vdrive {

struct SenseCode {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

class CheckCondition : public std::runtime_error {
public:
    CheckCondition(uint8_t Key, uint8_t Asc, uint8_t Ascq, uint16_t Progress = 0, bool ProgressValid = false)
        : std::runtime_error("check condition"), code{Key, Asc, Ascq}, progress(Progress),
          progressValid(ProgressValid) {}
    SenseCode code;
    uint16_t progress;  // sense-key specific bytes 16..17 (0..65535)
    bool progressValid;
};

namespace sense {
inline constexpr uint8_t kNoSense = 0x0, kNotReady = 0x2, kMediumError = 0x3, kIllegalRequest = 0x5,
                         kUnitAttention = 0x6, kDataProtect = 0x7, kBlankCheck = 0x8;

[[noreturn]] inline void Illegal(uint8_t Asc, uint8_t Ascq = 0) { throw CheckCondition(kIllegalRequest, Asc, Ascq); }
[[noreturn]] inline void InvalidOpcode() { Illegal(0x20); }
[[noreturn]] inline void InvalidField() { Illegal(0x24); }
[[noreturn]] inline void InvalidParameter() { Illegal(0x26); }
[[noreturn]] inline void ParameterLength() { Illegal(0x1A); }
[[noreturn]] inline void OutOfRange() { Illegal(0x21); }
[[noreturn]] inline void InvalidWriteAddress() { Illegal(0x21, 0x02); }
[[noreturn]] inline void SequenceError() { Illegal(0x2C); }
[[noreturn]] inline void IllegalModeForTrack() { Illegal(0x64); }
[[noreturn]] inline void CannotWriteMedium() { Illegal(0x30, 0x05); }
[[noreturn]] inline void CannotReadMedium() { Illegal(0x30, 0x02); }
[[noreturn]] inline void CannotFormatMedium() { Illegal(0x30, 0x06); }
[[noreturn]] inline void MediumNotFormatted() { Illegal(0x30, 0x10); }
}  // namespace sense

}  // namespace vdrive
