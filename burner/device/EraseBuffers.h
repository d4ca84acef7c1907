#pragma once
// Data the erase and the burn's formats send: the zero blocks and the
// FORMAT UNIT parameter lists.
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

// Immediate, one descriptor: Blocks, the format type with its subtype in
// the low two bits, and the type's 24-bit parameter.
constexpr std::array<uint8_t, 12> ImmediateFormatList(uint32_t Blocks, uint8_t Type, uint8_t Subtype,
                                                      uint32_t Parameter) {
    return {0x00,
            mmc::format::kOptionsImmediate,
            0x00,
            0x08,
            uint8_t(Blocks >> 24),
            uint8_t(Blocks >> 16),
            uint8_t(Blocks >> 8),
            uint8_t(Blocks),
            uint8_t(Type << 2 | (Subtype & 0x03)),
            uint8_t(Parameter >> 16),
            uint8_t(Parameter >> 8),
            uint8_t(Parameter)};
}

// Format type 30h (BD-RE with spare areas) with the given subtype; 0 blocks
// lets the drive pick its usual spare (or keep the disc's on a quick
// reformat).
constexpr std::array<uint8_t, 12> BDREFormatList(uint32_t Blocks, uint8_t Subtype) {
    return ImmediateFormatList(Blocks, mmc::format::kBdReWithSpare, Subtype, 0);
}

}  // namespace kestrel
