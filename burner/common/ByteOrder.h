#pragma once
// Fixed-order fields: big-endian ones of MMC command blocks and replies and
// of ISO 9660 structures, and the little-endian halves of the latter.
#include <cstdint>

namespace kestrel {

inline uint16_t GetBig16(const uint8_t* P) { return uint16_t(P[0] << 8 | P[1]); }
inline uint32_t GetBig24(const uint8_t* P) { return uint32_t(P[0]) << 16 | uint32_t(P[1]) << 8 | uint32_t(P[2]); }
inline uint32_t GetBig32(const uint8_t* P) {
    return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | uint32_t(P[3]);
}
inline void PutBig16(uint8_t* P, uint16_t Value) {
    P[0] = uint8_t(Value >> 8);
    P[1] = uint8_t(Value);
}
inline void PutBig32(uint8_t* P, uint32_t Value) {
    P[0] = uint8_t(Value >> 24);
    P[1] = uint8_t(Value >> 16);
    P[2] = uint8_t(Value >> 8);
    P[3] = uint8_t(Value);
}

inline void PutLittle16(uint8_t* P, uint16_t Value) {
    P[0] = uint8_t(Value);
    P[1] = uint8_t(Value >> 8);
}
inline void PutLittle32(uint8_t* P, uint32_t Value) {
    P[0] = uint8_t(Value);
    P[1] = uint8_t(Value >> 8);
    P[2] = uint8_t(Value >> 16);
    P[3] = uint8_t(Value >> 24);
}

}  // namespace kestrel
