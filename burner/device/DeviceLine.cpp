#include "burner/device/DeviceLine.h"

namespace kestrel {

std::string FormatDeviceLine(const TDeviceAddress& Address, const std::string& Name, const uint8_t* Inquiry28,
                             bool WriteOnce) {
    std::string line = std::to_string(Address.HaId) + ":" + std::to_string(Address.Target) + ":" +
                       std::to_string(Address.Lun) + "," + (Name.empty() ? std::string("?:") : Name) + " ";
    for (int i = 0; i < 28; ++i) line += Inquiry28[i] < 0x20 ? ' ' : char(Inquiry28[i]);
    if (WriteOnce) line += " (not supported)";
    return line;
}

std::optional<TDeviceAddress> ParseDeviceAddress(const std::string& Line) {
    uint8_t parts[3] = {};
    size_t at = 0;
    const char separators[3] = {':', ':', ','};
    for (int n = 0; n < 3; ++n) {
        unsigned value = 0;
        size_t digits = 0;
        while (at < Line.size() && Line[at] >= '0' && Line[at] <= '9') {
            value = value * 10 + unsigned(Line[at++] - '0');
            if (++digits > 3 || value > 255) return std::nullopt;
        }
        if (digits == 0 || at >= Line.size() || Line[at] != separators[n]) return std::nullopt;
        ++at;
        parts[n] = uint8_t(value);
    }
    return TDeviceAddress{parts[0], parts[1], parts[2]};
}

}  // namespace kestrel
