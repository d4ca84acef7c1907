#pragma once
// What a drive can read and write: the capability flags learnt from mode
// page 2Ah and three configuration features, the decoded page itself, and
// the drive models that need special treatment.
#include <array>
#include <cstdint>
#include <string>

#include "burner/device/ReplyBytes.h"

namespace kestrel {

// Bits of TSCSIDevice::Capabilities(); the names are those of the
// capabilities dialog's check boxes.
namespace cap {
constexpr uint32_t ReadCDR = 0x00000001;
constexpr uint32_t ReadCDRW = 0x00000002;
constexpr uint32_t ReadMethod2 = 0x00000004;
constexpr uint32_t ReadDVD = 0x00000008;
constexpr uint32_t ReadDVDR = 0x00000010;
constexpr uint32_t ReadDVDRW = 0x00000020;
constexpr uint32_t ReadDVDRAM = 0x00000040;
constexpr uint32_t ReadDVDPR = 0x00000080;
constexpr uint32_t ReadDVDPRDL = 0x00000100;
constexpr uint32_t ReadDVDPRW = 0x00000200;
constexpr uint32_t WriteCDR = 0x00000400;
constexpr uint32_t WriteCDRW = 0x00000800;
constexpr uint32_t WriteTest = 0x00001000;
constexpr uint32_t WriteDVDR = 0x00002000;
constexpr uint32_t WriteDVDRW = 0x00004000;
constexpr uint32_t WriteDVDRAM = 0x00008000;
constexpr uint32_t WriteDVDPR = 0x00010000;
constexpr uint32_t WriteDVDPRDL = 0x00020000;
constexpr uint32_t WriteDVDPRW = 0x00040000;
constexpr uint32_t UnderrunProtection = 0x00100000;
// Blu-ray, from the BD read (40h) and BD write (41h) features.
constexpr uint32_t ReadBD = 0x00200000;  // BD-ROM
constexpr uint32_t ReadBDR = 0x00400000;
constexpr uint32_t ReadBDRE = 0x00800000;
constexpr uint32_t WriteBDR = 0x01000000;
constexpr uint32_t WriteBDRE = 0x02000000;
}  // namespace cap

// Mode page 2Ah as kept by ReadCapabilities: the raw bytes (page code at
// byte 0) and its speed and buffer fields in host order.
struct TCapabilitiesPage {
    static constexpr size_t kSize = 516;
    std::array<uint8_t, kSize> Bytes{};
    uint16_t MaxReadSpeed = 0;       // KB/s, bytes 8..9
    uint16_t BufferSize = 0;         // KB, bytes 12..13
    uint16_t CurrentReadSpeed = 0;   // bytes 14..15
    uint16_t MaxWriteSpeed = 0;      // bytes 18..19
    uint16_t CurrentWriteSpeed = 0;  // bytes 20..21

    // Copies the page found at Offset of a MODE SENSE reply (never past the
    // reply) and decodes its fields.
    void Assign(const TReply& Reply, size_t Offset);
    void Clear() { *this = TCapabilitiesPage(); }
    bool ReportsBufferUnderrunFree() const { return Bytes[4] & 0x80; }
};

// The flags mode page 2Ah (bytes 2, 3, 4) sets.
uint32_t CapabilityFlagsFromPage(const TCapabilitiesPage& Page);

// Flags set by a GET CONFIGURATION reply for one of the features 2Ah, 3Bh,
// 2Fh: those for the feature's presence, and, when its first data byte is
// exactly 01h, those for writing too. For the BD features 40h and 41h, the
// media whose class 0 version bitmap is not empty. 0 when the reply names
// another feature.
uint32_t CapabilityFlagsFromFeature(uint16_t Feature, const TReply& Reply);

// Drive models with special treatment, from their INQUIRY texts.
struct TDriveQuirks {
    bool ForceUnderrunProtection = false;
    bool SetLinkSizeValid = false;
    bool SlowReadyDrive = false;
    bool PollReadyFirst = false;
    bool ImmediateClose = false;  // close the session with the immediate bit
};

// Vendor: the 8 INQUIRY characters; Product: the 16 characters, untrimmed.
TDriveQuirks EvaluateQuirks(const std::string& Vendor, const std::string& Product);

}  // namespace kestrel
