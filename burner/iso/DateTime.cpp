#include "burner/iso/DateTime.h"

#include <cmath>

namespace kestrel {

namespace {

// Day 0 of TDateTime is 1899-12-30; days_from_civil counts from 1970-01-01.
constexpr int64_t EpochOffsetDays = 25569;
constexpr double SecondsPerDay = 86400.0;

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& Year, int& Month, int& Day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    Year = static_cast<int>(yoe + era * 400 + (Month <= 2));
}

}  // namespace

TDateTime EncodeDateTime(const TDateParts& Parts) {
    const int64_t days = DaysFromCivil(Parts.Year, static_cast<unsigned>(Parts.Month),
                                       static_cast<unsigned>(Parts.Day)) + EpochOffsetDays;
    const int seconds = Parts.Hour * 3600 + Parts.Minute * 60 + Parts.Second;
    return static_cast<double>(days) + seconds / SecondsPerDay;
}

TDateParts DecodeDateTime(TDateTime Value) {
    // A value no calendar holds (not finite, or beyond the years 0..9999)
    // decodes as day 0 rather than overflowing.
    if (!std::isfinite(Value) || std::fabs(Value) > 3e6) Value = 0;
    // Whole seconds, rounded, so that an encoded time decodes to itself.
    const int64_t total = std::llround(Value * SecondsPerDay);
    int64_t days = total / 86400;
    int64_t secs = total % 86400;
    if (secs < 0) secs += 86400, --days;
    TDateParts parts;
    CivilFromDays(days - EpochOffsetDays, parts.Year, parts.Month, parts.Day);
    parts.Hour = static_cast<int>(secs / 3600);
    parts.Minute = static_cast<int>(secs / 60 % 60);
    parts.Second = static_cast<int>(secs % 60);
    return parts;
}

TDateTime UnixToDateTime(time_t Seconds) {
    tm local{};
    if (!localtime_r(&Seconds, &local)) return NowDateTime();
    return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                           local.tm_min, local.tm_sec});
}

time_t DateTimeToUnix(TDateTime Value) {
    if (!std::isfinite(Value)) return -1;
    const TDateParts parts = DecodeDateTime(Value);
    tm local{};
    local.tm_year = parts.Year - 1900;
    local.tm_mon = parts.Month - 1;
    local.tm_mday = parts.Day;
    local.tm_hour = parts.Hour;
    local.tm_min = parts.Minute;
    local.tm_sec = parts.Second;
    local.tm_isdst = -1;
    return mktime(&local);
}

TDateTime NowDateTime() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                           local.tm_min, local.tm_sec});
}

namespace {

// ISO 9660 dates hold offsets from -12:00 (-48) to +13:00 (+52).
int16_t OffsetUnits(time_t When) {
    tm local{};
    if (!localtime_r(&When, &local)) return 0;
    const long units = local.tm_gmtoff / (15 * 60);
    return static_cast<int16_t>(units < -48 ? -48 : units > 52 ? 52 : units);
}

}  // namespace

int16_t LocalGMTOffset() { return OffsetUnits(time(nullptr)); }

int16_t LocalGMTOffsetAt(TDateTime Value) {
    const time_t when = DateTimeToUnix(Value);
    return when == -1 ? LocalGMTOffset() : OffsetUnits(when);
}

}  // namespace kestrel
