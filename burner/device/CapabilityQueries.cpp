// Reading the drive's capabilities and speeds (mode page 2Ah and features).
#include <algorithm>
#include <array>

#include "burner/device/SCSIDevice.h"
#include "kestrel/mmc.h"

namespace kestrel {

namespace {

constexpr uint8_t kCapabilitiesPage = 0x2A;
constexpr uint8_t kVendorPage = 0x30;
constexpr uint16_t kFeatures[] = {0x2A, 0x3B, 0x2F, mmc::feature::kBdRead, mmc::feature::kBdWrite};
constexpr uint16_t kDefaultWriteSpeed = 1385;

// A MODE SENSE (10) reply, narrowed to what the drive said it returned.
TReply ModeSenseReply(const uint8_t* Buffer, size_t Allocation) {
    const TReply whole(Buffer, Allocation);
    return whole.Prefix(size_t(whole.U16BE(0)) + 2);
}

}  // namespace

bool TSCSIDevice::VendorPageTest() {
    alignas(8) std::array<uint8_t, 128> reply{};
    if (!ModeSense10(kVendorPage, false, reply.data(), uint16_t(reply.size()))) return false;
    const TReply r = ModeSenseReply(reply.data(), reply.size());
    return ModePageOffset(r, kVendorPage, 0) != 0;
}

bool TSCSIDevice::ReadCapabilities() {
    capabilities_ = 0;
    deviceMaxWriteSpeed_ = 0;
    deviceMaxReadSpeed_ = 0;
    capsPage_.Clear();
    size_t offset = 15;

    alignas(8) std::array<uint8_t, 255> first{};
    if (ModeSense10(kCapabilitiesPage, true, first.data(), uint16_t(first.size()))) {
        const TReply reply = ModeSenseReply(first.data(), first.size());
        offset = ModePageOffset(reply, kCapabilitiesPage, 8);
        capsPage_.Assign(reply, offset);
        capabilities_ = CapabilityFlagsFromPage(capsPage_);
        if (VendorPageTest() || quirks_.ForceUnderrunProtection) capabilities_ |= cap::UnderrunProtection;
        const bool ramWriter = capsPage_.Bytes[3] & 0x20;
        deviceMaxWriteSpeed_ = capsPage_.MaxWriteSpeed ? capsPage_.MaxWriteSpeed : (ramWriter ? 1 : 0);
        deviceMaxReadSpeed_ = capsPage_.MaxReadSpeed ? capsPage_.MaxReadSpeed : (ramWriter ? 1 : 0);
    }

    for (uint16_t feature : kFeatures) {
        alignas(8) std::array<uint8_t, 114> reply{};
        if (GetConfiguration(2, feature, reply.data(), uint16_t(reply.size())))
            capabilities_ |= CapabilityFlagsFromFeature(feature, TReply(reply.data(), reply.size()));
    }

    alignas(8) std::array<uint8_t, 128> second{};
    if (!ModeSense10(kCapabilitiesPage, false, second.data(), uint16_t(second.size()))) return false;
    const TReply reply = ModeSenseReply(second.data(), second.size());
    capsPage_.Assign(reply, ModePageOffset(reply, kCapabilitiesPage, offset));
    if (capsPage_.MaxWriteSpeed == 0) capsPage_.MaxWriteSpeed = kDefaultWriteSpeed;
    if (capsPage_.CurrentWriteSpeed == 0) capsPage_.CurrentWriteSpeed = kDefaultWriteSpeed;
    deviceMaxWriteSpeed_ = std::max(deviceMaxWriteSpeed_, capsPage_.MaxWriteSpeed);
    deviceMaxReadSpeed_ = std::max(deviceMaxReadSpeed_, capsPage_.MaxReadSpeed);
    return true;
}

uint16_t TSCSIDevice::GetMaxWriteSpeed() { return ReadCapabilities() ? capsPage_.MaxWriteSpeed : 0; }
uint16_t TSCSIDevice::GetMaxReadSpeed() { return ReadCapabilities() ? capsPage_.MaxReadSpeed : 0; }
uint16_t TSCSIDevice::GetCurrentWriteSpeed() { return ReadCapabilities() ? capsPage_.CurrentWriteSpeed : 0; }

void TSCSIDevice::SetWriteSpeed(uint16_t Value) {
    SetCDSpeed(ReadSpeed, Value);
    writeSpeed_ = Value;
}

}  // namespace kestrel
