#pragma once
// Bounded reading of drive replies. A reply is untrusted: its length
// fields may claim more than the drive sent or than the buffer holds, so
// every field read through TReply yields 0 past the end instead of reading
// beyond it.
#include <cstddef>
#include <cstdint>

#include "burner/common/ByteOrder.h"

namespace kestrel {

class TReply {
public:
    TReply(const uint8_t* Data, size_t Len) : data_(Data), len_(Data ? Len : 0) {}

    size_t Size() const { return len_; }
    bool Has(size_t Offset, size_t Count = 1) const { return Offset <= len_ && Count <= len_ - Offset; }
    uint8_t U8(size_t Offset) const { return Has(Offset) ? data_[Offset] : 0; }
    uint16_t U16BE(size_t Offset) const { return Has(Offset, 2) ? GetBig16(data_ + Offset) : 0; }
    uint32_t U32BE(size_t Offset) const { return Has(Offset, 4) ? GetBig32(data_ + Offset) : 0; }
    uint32_t U32LE(size_t Offset) const {
        if (!Has(Offset, 4)) return 0;
        return uint32_t(data_[Offset + 3]) << 24 | uint32_t(data_[Offset + 2]) << 16 |
               uint32_t(data_[Offset + 1]) << 8 | data_[Offset];
    }
    // The first Len bytes only (a length field narrows what may be read).
    TReply Prefix(size_t Len) const { return TReply(data_, Len < len_ ? Len : len_); }

private:
    const uint8_t* data_;
    size_t len_;
};

// Where a mode page starts in a MODE SENSE (10) reply: after the header and
// one block descriptor (16), after the header alone (8), or after a short
// header some drives send (7); Fallback when none of them holds the page.
inline size_t ModePageOffset(const TReply& Reply, uint8_t Page, size_t Fallback) {
    for (size_t at : {size_t(16), size_t(8), size_t(7)})
        if (Reply.Has(at) && (Reply.U8(at) & 0x3F) == Page) return at;
    return Fallback;
}

}  // namespace kestrel
