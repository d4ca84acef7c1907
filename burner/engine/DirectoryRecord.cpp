#include "burner/engine/DirectoryRecord.h"

#include <cstring>

#include "burner/iso/DateTime.h"
#include "burner/iso/DirRecordLayout.h"

namespace kestrel {

namespace {

bool IsLeapYear(int Year) { return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0; }

int DaysInMonth(int Year, int Month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return Month == 2 && IsLeapYear(Year) ? 29 : days[Month - 1];
}

}  // namespace

uint32_t LittleEndian32(const uint8_t* Bytes) {
    return uint32_t(Bytes[0]) | uint32_t(Bytes[1]) << 8 | uint32_t(Bytes[2]) << 16 | uint32_t(Bytes[3]) << 24;
}

std::string SectorText(uint64_t First, uint64_t Count) {
    if (Count <= 1) return "SECTOR " + std::to_string(First);
    return "SECTORS " + std::to_string(First) + ".." + std::to_string(First + Count - 1);
}

TRecordParse ParseDirRecord(const uint8_t* Sector, size_t Offset, size_t Limit, TDirRecord& Record) {
    using namespace iso::record;
    if (Offset >= Limit) return TRecordParse::EndOfSector;
    const uint8_t length = Sector[Offset + LengthAt];
    if (length == 0) return TRecordParse::EndOfSector;
    if (length < FixedBytes + 1) return TRecordParse::TooShort;
    if (Offset + length > Limit) return TRecordParse::PastLimit;
    const uint8_t* r = Sector + Offset;
    if (FixedBytes + size_t(r[IdLengthAt]) > length) return TRecordParse::NameOutside;
    Record.Length = length;
    Record.Extent = LittleEndian32(r + ExtentAt);
    Record.DataLength = LittleEndian32(r + DataLengthAt);
    Record.Date = RecordingDateTime(r + DateAt);
    Record.Flags = r[FlagsAt];
    Record.NameLength = r[IdLengthAt];
    Record.Name = r + IdAt;
    const size_t systemUseAt = SystemUseAt(Record.NameLength);
    Record.SystemUse = systemUseAt < length ? r + systemUseAt : nullptr;
    Record.SystemUseLength = systemUseAt < length ? length - systemUseAt : 0;
    return TRecordParse::Ok;
}

bool LooksLikeXaField(const uint8_t* Sector, size_t Offset, size_t Limit) {
    if (Offset + 14 > Limit) return false;
    const uint8_t* f = Sector + Offset;
    return f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 0 && f[5] == 0x55 && f[6] == 'X' && f[7] == 'A';
}

TDateTime RecordingDateTime(const uint8_t* Bytes) {
    const int year = 1900 + Bytes[0];
    const int month = Bytes[1], day = Bytes[2];
    const int hour = Bytes[3], minute = Bytes[4], second = Bytes[5];
    const bool timeValid = hour < 24 && minute < 60 && second < 60;
    const double timeOfDay = timeValid ? (hour * 3600 + minute * 60 + second) / 86400.0 : 0.0;
    const bool dateValid = month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
    if (!dateValid) return timeOfDay;
    TDateParts parts;
    parts.Year = year;
    parts.Month = month;
    parts.Day = day;
    return EncodeDateTime(parts) + timeOfDay;
}

uint8_t DescriptorType(const uint8_t* Sector) {
    if (std::memcmp(Sector + 1, "CD001", 5) != 0) return 0;
    return Sector[0];
}

bool IsJolietDescriptor(const uint8_t* Sector) {
    if (DescriptorType(Sector) != 2) return false;
    const uint8_t* escape = Sector + 88;
    return escape[0] == '%' && escape[1] == '/' && (escape[2] == '@' || escape[2] == 'C' || escape[2] == 'E');
}

TVolumeRoot DescriptorRoot(const uint8_t* Sector) {
    // The root's directory record starts at byte 156 of the descriptor.
    const uint8_t* root = Sector + 156;
    return {root[iso::record::LengthAt], LittleEndian32(root + iso::record::ExtentAt),
            LittleEndian32(root + iso::record::DataLengthAt)};
}

}  // namespace kestrel
