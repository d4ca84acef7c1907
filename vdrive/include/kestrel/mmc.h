#pragma once
// MMC command opcodes, mode pages, sense keys and additional sense codes,
// named once for the device layer, the virtual recorder and the tests.
// Values are those of the SCSI Primary Commands and MMC standards.
#include <cstdint>

namespace mmc {

// Operation codes (CDB byte 0).
namespace op {
inline constexpr uint8_t kTestUnitReady = 0x00;
inline constexpr uint8_t kRequestSense = 0x03;
inline constexpr uint8_t kFormatUnit = 0x04;
inline constexpr uint8_t kInquiry = 0x12;
inline constexpr uint8_t kModeSelect6 = 0x15;
inline constexpr uint8_t kStartStopUnit = 0x1B;
inline constexpr uint8_t kPreventAllowRemoval = 0x1E;
inline constexpr uint8_t kReadCapacity = 0x25;
inline constexpr uint8_t kRead10 = 0x28;
inline constexpr uint8_t kWrite10 = 0x2A;
inline constexpr uint8_t kSynchronizeCache = 0x35;
inline constexpr uint8_t kReadToc = 0x43;
inline constexpr uint8_t kGetConfiguration = 0x46;
inline constexpr uint8_t kReadDiscInformation = 0x51;
inline constexpr uint8_t kReadTrackInformation = 0x52;
inline constexpr uint8_t kReserveTrack = 0x53;
inline constexpr uint8_t kSendOpc = 0x54;
inline constexpr uint8_t kModeSelect10 = 0x55;
inline constexpr uint8_t kModeSense10 = 0x5A;
inline constexpr uint8_t kCloseTrackSession = 0x5B;
inline constexpr uint8_t kBlank = 0xA1;
inline constexpr uint8_t kSetCdSpeed = 0xBB;
}  // namespace op

// Mode page codes.
namespace page {
inline constexpr uint8_t kWriteParameters = 0x05;
inline constexpr uint8_t kCapabilities = 0x2A;
}  // namespace page

// Sense keys (fixed-format sense byte 2, low nibble).
namespace key {
inline constexpr uint8_t kNoSense = 0x0;
inline constexpr uint8_t kNotReady = 0x2;
inline constexpr uint8_t kMediumError = 0x3;
inline constexpr uint8_t kHardwareError = 0x4;
inline constexpr uint8_t kIllegalRequest = 0x5;
inline constexpr uint8_t kUnitAttention = 0x6;
}  // namespace key

// Additional sense codes (sense byte 12) and qualifiers (byte 13).
namespace asc {
inline constexpr uint8_t kNotReady = 0x04;  // with a qualifier naming the operation in progress
inline constexpr uint8_t kUnrecoveredReadError = 0x11;  // with key::kMediumError: the block cannot be read
inline constexpr uint8_t kAddressOutOfRange = 0x21;  // 00h out of range, 02h invalid address for write
inline constexpr uint8_t kInvalidFieldInCdb = 0x24;
inline constexpr uint8_t kInvalidFieldInParameterList = 0x26;
inline constexpr uint8_t kMediumNotPresent = 0x3A;
}  // namespace asc

namespace ascq {
inline constexpr uint8_t kInvalidAddressForWrite = 0x02;  // with asc::kAddressOutOfRange
}  // namespace ascq

}  // namespace mmc
