#include "app/Formats.h"

#include <cmath>
#include <cstdlib>

#include "burner/device/MediumTables.h"
#include "kestrel/mmc.h"

namespace kestrel::app {

namespace {

std::string GroupThousands(const std::string& Digits) {
    std::string out;
    const size_t n = Digits.size();
    for (size_t i = 0; i < n; ++i) {
        out += Digits[i];
        const size_t left = n - i - 1;
        if (left > 0 && left % 3 == 0) out += ',';
    }
    return out;
}

}  // namespace

std::string FormatGrouped(double Value, int Decimals) {
    const double scale = std::pow(10.0, Decimals);
    const bool negative = Value < 0;
    // Half away from zero, as the program's number formats round.
    const double scaled = std::floor(std::fabs(Value) * scale + 0.5);
    const auto whole = static_cast<long long>(std::floor(scaled / scale));
    const auto fraction = static_cast<long long>(scaled - static_cast<double>(whole) * scale);
    std::string text = GroupThousands(std::to_string(whole));
    if (Decimals > 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, static_cast<size_t>(Decimals) - std::min(digits.size(), static_cast<size_t>(Decimals)), '0');
        text += "." + digits;
    }
    if (negative && scaled > 0) text.insert(0, "-");
    return text;
}

std::string FormatMB(int64_t Bytes) {
    return FormatGrouped(static_cast<double>(Bytes) / 1048576.0, 2);
}

std::string FormatSizeCell(int64_t Bytes) {
    return Bytes == 0 ? std::string() : FormatGrouped(static_cast<double>(Bytes), 0);
}

TSpeedUnit SpeedUnitOf(unsigned MediumType) {
    if (IsCDMedium(MediumType)) return TSpeedUnit::CD;
    return IsBDMedium(MediumType) ? TSpeedUnit::BD : TSpeedUnit::DVD;
}

namespace {

double OneX(TSpeedUnit Unit) {
    switch (Unit) {
        case TSpeedUnit::CD: return 176.4;
        case TSpeedUnit::BD: return mmc::bd::kOneXKBs;
        default: return 1385.0;
    }
}

}  // namespace

std::string SpeedEntry(int KBps, TSpeedUnit Unit) {
    const double factor = KBps / OneX(Unit);
    const std::string head = FormatGrouped(factor, Unit == TSpeedUnit::CD ? 0 : 1);
    return head + "X (" + FormatGrouped(KBps, 0) + " KB/s)";
}

uint16_t SpeedFromText(const std::string& Entry, TSpeedUnit Unit) {
    if (Entry.empty() || Entry == "Max") return 0;
    std::string number = Entry.substr(0, Entry.find('X'));
    std::erase(number, ',');
    char* end = nullptr;
    const double factor = std::strtod(number.c_str(), &end);
    if (end == number.c_str() || factor <= 0) return 0;
    const double kbps = std::round(factor * (Unit == TSpeedUnit::CD ? 177.0 : OneX(Unit)));
    return kbps >= 65535.0 ? 65535 : static_cast<uint16_t>(kbps);
}

int SpeedListStep(TSpeedUnit Unit) {
    switch (Unit) {
        case TSpeedUnit::CD: return 176;
        case TSpeedUnit::BD: return 2248;  // half of 1x
        default: return 700;
    }
}

}  // namespace kestrel::app
