#pragma once
// Conversions of TDateTime (days since 1899-12-30 local time) and the local
// zone's offset from UTC, as written into directory-record dates.
#include <cstdint>
#include <ctime>

#include "burner/iso/Entries.h"

namespace kestrel {

// Broken-down local date and time of a TDateTime.
struct TDateParts {
    int Year = 1899;  // full year
    int Month = 12;   // 1..12
    int Day = 30;     // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
};

TDateTime EncodeDateTime(const TDateParts& Parts);
TDateParts DecodeDateTime(TDateTime Value);

// A POSIX time (seconds since the epoch, UTC) as local TDateTime; a time
// the platform cannot break down gives the current time.
TDateTime UnixToDateTime(time_t Seconds);
// The local TDateTime back to POSIX seconds (-1 when it cannot be converted).
time_t DateTimeToUnix(TDateTime Value);
TDateTime NowDateTime();

// Offset of the local zone from UTC now, in 15-minute units (east positive).
int16_t LocalGMTOffset();
// Offset of the local zone from UTC at the local time Value, in 15-minute
// units (east positive), so a date in summer time carries the summer offset;
// the offset now when Value cannot be converted.
int16_t LocalGMTOffsetAt(TDateTime Value);

}  // namespace kestrel
