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
inline constexpr uint8_t kReadFormatCapacities = 0x23;
inline constexpr uint8_t kGetPerformance = 0xAC;
inline constexpr uint8_t kReadDiscStructure = 0xAD;
inline constexpr uint8_t kSetStreaming = 0xB6;
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

// Current profiles of GET CONFIGURATION (reply bytes 6..7) and the profile list.
namespace profile {
inline constexpr uint16_t kBdRom = 0x0040;
inline constexpr uint16_t kBdRSequential = 0x0041;  // BD-R, sequential recording mode
inline constexpr uint16_t kBdRRandom = 0x0042;      // BD-R, random recording mode
inline constexpr uint16_t kBdRe = 0x0043;
}  // namespace profile

// Feature codes of GET CONFIGURATION.
namespace feature {
inline constexpr uint16_t kRandomReadable = 0x0010;
inline constexpr uint16_t kRandomWritable = 0x0020;
inline constexpr uint16_t kFormattable = 0x0023;
inline constexpr uint16_t kDefectManagement = 0x0024;
inline constexpr uint16_t kBdRead = 0x0040;
inline constexpr uint16_t kBdWrite = 0x0041;
}  // namespace feature

// Format types of FORMAT UNIT and READ FORMAT CAPACITIES (descriptor byte 4,
// bits 7..2). In FORMAT UNIT the low two bits of that byte carry a subtype.
namespace format {
inline constexpr uint8_t kFull = 0x00;
inline constexpr uint8_t kDvdPlusRw = 0x26;
inline constexpr uint8_t kBdReWithSpare = 0x30;
inline constexpr uint8_t kBdReWithoutSpare = 0x31;
inline constexpr uint8_t kBdRWithSpare = 0x32;
// Subtypes of kBdReWithSpare.
inline constexpr uint8_t kQuickReformat = 0;
inline constexpr uint8_t kNoCertification = 1;
inline constexpr uint8_t kFullCertification = 2;
inline constexpr uint8_t kQuickCertification = 3;
// Subtype of kBdRWithSpare: sequential recording with pseudo-overwrite.
inline constexpr uint8_t kSequentialWithSpare = 0;
// FORMAT UNIT: CDB byte 1 with a parameter list (FmtData, format code 1),
// and the list header's byte 1 (format options valid, immediate).
inline constexpr uint8_t kWithParameterList = 0x11;
inline constexpr uint8_t kOptionsImmediate = 0x82;
// READ FORMAT CAPACITIES, current descriptor type (byte 8, bits 1..0).
inline constexpr uint8_t kUnformattedMedium = 0x01;
inline constexpr uint8_t kFormattedMedium = 0x02;
}  // namespace format

// CLOSE TRACK/SESSION close functions (CDB byte 2, bits 2..0).
namespace close {
inline constexpr uint8_t kTrack = 1;
inline constexpr uint8_t kSession = 2;
inline constexpr uint8_t kFinalize = 6;  // close the session and the disc
}  // namespace close

// Blu-ray facts the recorder and the writer share.
namespace bd {
inline constexpr uint32_t kClusterBlocks = 32;  // the unit a BD is recorded in
inline constexpr double kOneXKBs = 4495.5;      // KB/s (1,000 bytes) at 1x
inline constexpr uint8_t kDiscStructureMediaType = 0x01;  // READ DISC STRUCTURE byte 1
}  // namespace bd

}  // namespace mmc
