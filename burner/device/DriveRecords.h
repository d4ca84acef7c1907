#pragma once
// Replies of READ DISC INFORMATION and READ TRACK INFORMATION as the
// component keeps them: the bytes the drive returned (zero beyond what it
// returned) and the fields the other layers read, in host order.
#include <array>
#include <cstdint>

namespace kestrel {

// Address types of READ TRACK INFORMATION (CDB byte 1).
enum : uint8_t {
    TRACK_ADDRESS_LBA = 0,
    TRACK_ADDRESS_TRACK = 1,
    TRACK_ADDRESS_SESSION = 2,
};

// Disc status of READ DISC INFORMATION (byte 2, bits 0..1).
enum : uint8_t {
    DISC_STATUS_EMPTY = 0,
    DISC_STATUS_INCOMPLETE = 1,  // appendable
    DISC_STATUS_COMPLETE = 2,
};

constexpr int DISC_INFO_SIZE = 56;
constexpr int TRACK_INFO_SIZE = 40;

struct TDiscInfoRecord {
    alignas(8) std::array<uint8_t, DISC_INFO_SIZE> Bytes{};
    uint16_t DataLength = 0;  // bytes 0..1, host order

    bool Erasable() const { return Bytes[2] & 0x10; }
    // 0 empty, 1 incomplete, 2 reserved or damaged, 3 complete.
    uint8_t LastSessionState() const { return (Bytes[2] >> 2) & 3; }
    // 0 empty, 1 incomplete (appendable), 2 complete, 3 other.
    uint8_t DiscStatus() const { return Bytes[2] & 3; }
    uint16_t Sessions() const { return uint16_t(Bytes[9] << 8 | Bytes[4]); }
    uint16_t FirstTrackInLastSession() const { return uint16_t(Bytes[10] << 8 | Bytes[5]); }
    uint16_t LastTrackInLastSession() const { return uint16_t(Bytes[11] << 8 | Bytes[6]); }
};

struct TTrackRecord {
    alignas(8) std::array<uint8_t, TRACK_INFO_SIZE> Bytes{};  // as returned (big-endian)
    uint16_t DataLength = 0;
    uint32_t TrackStart = 0;           // byte 8
    uint32_t NextWritableAddress = 0;  // byte 12
    uint32_t FreeBlocks = 0;           // byte 16
    uint32_t FixedPacketSize = 0;      // byte 20
    uint32_t TrackSize = 0;            // byte 24
    uint32_t LastRecordedAddress = 0;  // byte 28

    uint16_t TrackNumber() const { return uint16_t(Bytes[32] << 8 | Bytes[2]); }
    uint16_t SessionNumber() const { return uint16_t(Bytes[33] << 8 | Bytes[3]); }
    bool NextWritableAddressValid() const { return Bytes[7] & 1; }
    // Byte 6: the track is reserved (RT), or holds no recorded block (Blank).
    bool Reserved() const { return Bytes[6] & 0x80; }
    bool Blank() const { return Bytes[6] & 0x40; }
    // Blocks the drive holds as written: up to the next writable address
    // while the track is open, its whole size once it is closed.
    uint32_t RecordedBlocks() const {
        if (Blank()) return 0;
        if (!NextWritableAddressValid()) return TrackSize;
        return NextWritableAddress > TrackStart ? NextWritableAddress - TrackStart : 0;
    }
};

// One format a drive offers in READ FORMAT CAPACITIES: the block count it
// gives, the format type (descriptor byte 4, bits 7..2) and the type's
// parameter (bytes 5..7), which a FORMAT UNIT of that type sends back.
struct TFormatDescriptor {
    uint32_t Blocks = 0;
    uint8_t Type = 0;
    uint32_t Parameter = 0;
};

}  // namespace kestrel
