#pragma once
// Data the erase sends: the zero blocks and the FORMAT UNIT parameter lists.
#include <array>
#include <cstdint>

#include "kestrel/mmc.h"

namespace kestrel {

// 32 blocks of zeros, never written to: erases of different drives may
// share it, and nothing else uses it as scratch space.
inline const std::array<uint8_t, 65536>& ZeroBlocks() {
    static const std::array<uint8_t, 65536> zeros{};
    return zeros;
}

// Immediate, one 8-byte descriptor: 2,236,704 blocks of 2,048 bytes.
constexpr std::array<uint8_t, 12> kDVDRAMFormatList{0x00, 0x82, 0x00, 0x08, 0x00, 0x22, 0x21, 0x20,
                                                    0x00, 0x00, 0x08, 0x00};
// Immediate, one 8-byte descriptor: 2,295,104 blocks, format type 26h.
constexpr std::array<uint8_t, 12> kDVDPlusRWFormatList{0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05, 0x40,
                                                       0x98, 0x00, 0x00, 0x00};

// Immediate, one descriptor of format type 30h (BD-RE with spare areas) and
// the given subtype; 0 blocks lets the drive pick its usual spare (or keep
// the disc's on a quick reformat).
inline std::array<uint8_t, 12> BDREFormatList(uint32_t Blocks, uint8_t Subtype) {
    return {0x00,
            0x82,
            0x00,
            0x08,
            uint8_t(Blocks >> 24),
            uint8_t(Blocks >> 16),
            uint8_t(Blocks >> 8),
            uint8_t(Blocks),
            uint8_t(mmc::format::kBdReWithSpare << 2 | Subtype),
            0x00,
            0x00,
            0x00};
}

}  // namespace kestrel
