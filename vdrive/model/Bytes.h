#pragma once
// Big-endian field access for CDBs and replies, and the copy of a reply into
// the caller's buffer cut to the allocation length.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "model/Drive.h"

namespace vdrive {

inline uint16_t Get16(const uint8_t* P) { return uint16_t(P[0] << 8 | P[1]); }
inline uint32_t Get24(const uint8_t* P) { return uint32_t(P[0]) << 16 | uint32_t(P[1]) << 8 | P[2]; }
inline uint32_t Get32(const uint8_t* P) {
    return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | P[3];
}
inline void Put16(uint8_t* P, uint32_t V) {
    P[0] = uint8_t(V >> 8);
    P[1] = uint8_t(V);
}
inline void Put24(uint8_t* P, uint32_t V) {
    P[0] = uint8_t(V >> 16);
    P[1] = uint8_t(V >> 8);
    P[2] = uint8_t(V);
}
inline void Put32(uint8_t* P, uint32_t V) {
    P[0] = uint8_t(V >> 24);
    P[1] = uint8_t(V >> 16);
    P[2] = uint8_t(V >> 8);
    P[3] = uint8_t(V);
}

// CD addresses: LBA 0 is MSF 00:02:00; negative LBAs (lead-in) wrap below
// 100 minutes as MMC describes.
struct Msf {
    uint8_t m, s, f;
};
inline Msf LbaToMsf(int64_t Lba) {
    int64_t v = Lba >= -150 ? Lba + 150 : Lba + 450150;
    return Msf{uint8_t(v / 4500), uint8_t(v / 75 % 60), uint8_t(v % 75)};
}
inline void PutMsf(uint8_t* P, int64_t Lba) {
    Msf t = LbaToMsf(Lba);
    P[0] = 0;
    P[1] = t.m;
    P[2] = t.s;
    P[3] = t.f;
}

// Copies a reply into the data buffer, no more than the allocation length
// and the buffer hold. Returns the bytes transferred.
inline size_t SendReply(const CommandBuffer& Cmd, const std::vector<uint8_t>& Reply, size_t Allocation) {
    size_t n = std::min({Reply.size(), Allocation, Cmd.dataLen});
    if (n && Cmd.data) std::memcpy(Cmd.data, Reply.data(), n);
    return n;
}

}  // namespace vdrive
