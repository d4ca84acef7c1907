#include "app/DiscSpace.h"

#include <QLocale>

#include <algorithm>
#include <array>

#include "burner/device/SCSIDevice.h"

namespace kestrel::app {

namespace {

constexpr int64_t kBlockBytes = 2048;
constexpr int64_t kMB = 1048576;
constexpr int64_t kGB = 1073741824;
constexpr int kReadyTimeoutMs = 5000;
constexpr uint8_t kSenseUnitAttention = 6;
// Disc status of READ DISC INFORMATION.
constexpr int16_t kStatusBlank = 0;
constexpr int16_t kStatusAppendable = 1;

bool HasDrive(const TSCSIDevice& Device) { return Device.ASPIInitialized() && Device.HaId != NO_DEVICE_ID; }

// A disc just inserted (or changed) answers its first command with UNIT
// ATTENTION; that is a disc, not the lack of one.
bool DiscPresent(TSCSIDevice& Device) {
    if (Device.TestUnitReady(kReadyTimeoutMs)) return true;
    if ((Device.LastSense[2] & 0x0F) != kSenseUnitAttention) return false;
    return Device.TestUnitReady(kReadyTimeoutMs);
}

TDiscSpace::TState StateOf(uint8_t Type, int16_t Status, int64_t Free, int64_t Capacity) {
    using TState = TDiscSpace::TState;
    if (IsPressedType(Type)) return TState::Closed;
    if (IsOverwritableType(Type)) return Free > 0 && Free >= Capacity ? TState::Blank : TState::HoldsData;
    if (Status == kStatusBlank) return TState::Blank;
    if (Status == kStatusAppendable) return TState::Appendable;
    return TState::Closed;
}

QString TypeName(uint8_t Type) {
    return Type == mtUnknown ? QStringLiteral("Unknown disc") : QString::fromStdString(MediumTypeName(Type));
}

}  // namespace

TDiscSpace ReadDiscSpace(TSCSIDevice& Device) {
    TDiscSpace disc;
    if (!HasDrive(Device)) return disc;
    disc.State = TDiscSpace::TState::NoDisc;
    if (!DiscPresent(Device)) return disc;
    disc.Type = Device.GetDiscType();
    const int16_t status = Device.GetDiscStatus();
    disc.Sessions = Device.GetSessionCount();
    disc.CapacityBytes = int64_t{Device.GetDiscCapacity()} * kBlockBytes;
    disc.FreeBytes = int64_t{Device.GetFreeBlocks()} * kBlockBytes;
    disc.State = StateOf(disc.Type, status, disc.FreeBytes, disc.CapacityBytes);
    disc.Erasable = Device.DiscIsErasable();
    switch (disc.State) {
        case TDiscSpace::TState::Closed: disc.FreeBytes = 0; break;
        // A blank disc offers its whole medium.
        case TDiscSpace::TState::Blank: disc.FreeBytes = std::max(disc.FreeBytes, disc.CapacityBytes); break;
        default: break;
    }
    return disc;
}

QString SpaceText(int64_t Bytes) {
    const QLocale c = QLocale::c();
    if (Bytes >= kGB) return c.toString(double(Bytes) / kGB, 'f', 2) + QStringLiteral(" GB");
    return c.toString(double(Bytes) / kMB, 'f', 2) + QStringLiteral(" MB");
}

QString DescribeDisc(const TDiscSpace& Disc) {
    using TState = TDiscSpace::TState;
    const QString free = SpaceText(Disc.FreeBytes) + QStringLiteral(" free");
    switch (Disc.State) {
        case TState::NoDrive: return QStringLiteral("No drive");
        case TState::NoDisc: return QStringLiteral("No disc");
        case TState::Blank: return QStringLiteral("%1, blank, %2").arg(TypeName(Disc.Type), free);
        case TState::Appendable:
            return QStringLiteral("%1, appendable, %2 %3, %4")
                .arg(TypeName(Disc.Type))
                .arg(Disc.Sessions)
                .arg(Disc.Sessions == 1 ? QStringLiteral("session") : QStringLiteral("sessions"), free);
        case TState::HoldsData: return QStringLiteral("%1, holds data, %2").arg(TypeName(Disc.Type), free);
        case TState::Closed: return QStringLiteral("%1, closed, no space").arg(TypeName(Disc.Type));
    }
    return {};
}

std::optional<TDriveLook> LookAtDrive(TSCSIDevice& Device) {
    if (!HasDrive(Device)) return std::nullopt;
    TDriveLook look;
    look.Present = DiscPresent(Device);
    if (!look.Present) return look;
    alignas(8) std::array<uint8_t, 8> header{};
    if (Device.GetConfiguration(1, 0, header.data(), uint16_t(header.size())))
        look.Profile = uint16_t(header[6] << 8 | header[7]);
    if (Device.ReadDiscInformation()) {
        const auto& bytes = Device.DiscInformation.Bytes;
        look.DiscInfo = uint32_t(bytes[2]) << 24 | uint32_t(bytes[4]) << 16 | uint32_t(bytes[6]) << 8 | bytes[11];
    }
    return look;
}

}  // namespace kestrel::app
