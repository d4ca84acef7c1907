#include "burner/iso/IsoFormat.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "burner/iso/DateTime.h"
#include "burner/iso/NameLimits.h"
#include "burner/iso/Names.h"

namespace kestrel::iso {

namespace {

const std::string VersionSuffix = ";1";
// The longest identifiers fill a record; one byte more would not fit.
static_assert(RecordSize(int(MaxIsoIdBytes)) <= MaxRecordSize && RecordSize(int(MaxIsoIdBytes) + 1) > MaxRecordSize);
static_assert(RecordSize(int(MaxJolietIdBytes)) <= MaxRecordSize &&
              RecordSize(int(MaxJolietIdBytes) + 2) > MaxRecordSize);

bool IsHighSurrogateByte(char C) {
    const auto b = static_cast<unsigned char>(C);
    return b >= 0xD8 && b <= 0xDB;
}

// Cuts UTF-16BE bytes to at most Max bytes without splitting a surrogate
// pair, keeping an extension (from the last ".") of at most half of Max.
std::string ShortenUtf16BE(const std::string& Name, size_t Max) {
    size_t dot = std::string::npos;
    for (size_t i = Name.size(); i >= 2; i -= 2)
        if (Name[i - 2] == 0 && Name[i - 1] == '.') {
            dot = i - 2;
            break;
        }
    std::string ext;
    if (dot != std::string::npos && dot > 0 && Name.size() - dot <= Max / 2) ext = Name.substr(dot);
    std::string base = Name.substr(0, Name.size() - ext.size());
    size_t keep = Max - ext.size();
    if (keep < base.size()) {
        if (keep >= 2 && IsHighSurrogateByte(base[keep - 2])) keep -= 2;
        base.resize(keep);
    }
    return base + ext;
}

TIdentifier DotIdentifier(const std::string& Name) {
    return {std::string(1, Name == "." ? '\0' : '\1'), false};
}

TIdentifier IsoName(const std::string& Name, bool IsFile, size_t MaxBytes) {
    const size_t room = MaxBytes - (IsFile ? VersionSuffix.size() : 0);
    TIdentifier id;
    id.Bytes = Name;
    if (id.Bytes.size() > room) {
        id.Bytes = FitShortName(Name, room, IsFile);
        id.Shortened = true;
    }
    if (IsFile) id.Bytes += VersionSuffix;
    return id;
}

TIdentifier JolietName(const std::string& Name, bool IsFile) {
    const size_t room = MaxJolietIdBytes - (IsFile ? 2 * VersionSuffix.size() : 0);
    TIdentifier id;
    id.Bytes = Utf8ToUtf16BE(Name);
    if (id.Bytes.size() > room) {
        id.Bytes = ShortenUtf16BE(id.Bytes, room);
        id.Shortened = true;
    }
    if (IsFile) id.Bytes += std::string("\0;\0" "1", 4);
    return id;
}

bool IsDirectoryEntry(const TFEntry& Entry) { return Entry.Dir != nullptr || (Entry.Attr & faDirectory) != 0; }

}  // namespace

uint32_t FitU32(int64_t Value, const char* What) {
    if (Value < 0 || Value > int64_t(UINT32_MAX))
        throw std::range_error(std::string(What) + " " + std::to_string(Value) + " does not fit in 32 bits");
    return static_cast<uint32_t>(Value);
}

int32_t FitLBA(int64_t Value, const char* What) {
    if (Value < 0 || Value > INT32_MAX)
        throw std::range_error(std::string(What) + " " + std::to_string(Value) + " is outside the 32-bit sector range");
    return static_cast<int32_t>(Value);
}

uint16_t FitU16(int64_t Value, const char* What) {
    if (Value < 0 || Value > int64_t(UINT16_MAX))
        throw std::range_error(std::string(What) + " " + std::to_string(Value) + " does not fit in 16 bits");
    return static_cast<uint16_t>(Value);
}

TIdentifier IsoIdentifier(const TFEntry& Entry, size_t MaxBytes) {
    if (IsDotName(Entry.ShortName)) return DotIdentifier(Entry.ShortName);
    return IsoName(Entry.ShortName, !IsDirectoryEntry(Entry), MaxBytes);
}

TIdentifier JolietIdentifier(const TFEntry& Entry) {
    if (IsDotName(Entry.LongName)) return DotIdentifier(Entry.LongName);
    return JolietName(JolietNameOf(Entry), !IsDirectoryEntry(Entry));
}

TIdentifier IsoDirIdentifier(const TDEntry& Dir, size_t MaxBytes) { return IsoName(Dir.ShortName, false, MaxBytes); }
TIdentifier JolietDirIdentifier(const TDEntry& Dir) { return JolietName(JolietNameOf(Dir), false); }

void PutRecordDate(uint8_t* P, TDateTime When, int16_t GMTOffset) {
    const TDateParts d = DecodeDateTime(std::isfinite(When) ? When : 0);
    const int years = d.Year - 1900;
    P[0] = uint8_t(years < 0 ? 0 : years > 255 ? 255 : years);
    P[1] = uint8_t(d.Month);
    P[2] = uint8_t(d.Day);
    P[3] = uint8_t(d.Hour);
    P[4] = uint8_t(d.Minute);
    P[5] = uint8_t(d.Second);
    P[6] = uint8_t(int8_t(GMTOffset));
}

void PutDescriptorDate(uint8_t* P, TDateTime When, int16_t GMTOffset) {
    if (!std::isfinite(When)) When = 0;
    // Whole seconds and the milliseconds apart, so rounding never moves a second.
    const int64_t totalMs = std::llround(When * 86400000.0);
    const int64_t ms = ((totalMs % 1000) + 1000) % 1000;
    const TDateParts d = DecodeDateTime(double((totalMs - ms) / 1000) / 86400.0);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%02d", d.Year, d.Month, d.Day, d.Hour, d.Minute,
                  d.Second, int(ms));
    std::string s(text);
    s.resize(16, ' ');
    std::memcpy(P, s.data(), 16);
    P[16] = uint8_t(int8_t(GMTOffset));
}

TDateTime NowWithMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    const int64_t localMs = (int64_t(ts.tv_sec) + local.tm_gmtoff) * 1000 + ts.tv_nsec / 1000000;
    return double(localMs) / 86400000.0 + 25569.0;
}

}  // namespace kestrel::iso
