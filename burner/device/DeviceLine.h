#pragma once
// The device-list line: "adapter:target:lun,NAME VENDOR..PRODUCT.......REV."
// with the drive's node or the library's name for it in place of NAME.
#include <cstdint>
#include <optional>
#include <string>

namespace kestrel {

struct TDeviceAddress {
    uint8_t HaId = 0;
    uint8_t Target = 0;
    uint8_t Lun = 0;
};

// Inquiry28: the 28 INQUIRY characters from byte 8 (vendor, product,
// revision). Control characters become blanks so the line stays one line.
std::string FormatDeviceLine(const TDeviceAddress& Address, const std::string& Name, const uint8_t* Inquiry28,
                             bool WriteOnce);

// Reads the three numbers before the comma; any number of digits each.
std::optional<TDeviceAddress> ParseDeviceAddress(const std::string& Line);

}  // namespace kestrel
