#pragma once
// The system-use entries of one directory record as the session import
// reads them: those in the record, then those of the continuation areas
// their CE entries name, one area after another. A disc is untrusted: each
// entry's length is checked against its area, the areas themselves are
// checked by whoever reads them from the disc, and a chain of areas is
// bounded (an area met twice is a loop).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrel {

// Continuation areas one record may chain at most, and the bytes of all its
// entries together.
inline constexpr int kMaxContinuationAreas = 32;
inline constexpr size_t kMaxSystemUseBytes = 64 * 1024;

// Reads a continuation area: Length bytes from byte Offset of sector Block
// into Out. False with Problem set (upper case, for the log) when the area
// must not or cannot be read.
using TAreaReader = std::function<bool(uint32_t Block, uint32_t Offset, uint32_t Length, std::vector<uint8_t>& Out,
                                       std::string& Problem)>;

// One entry, pointing into the bytes it was collected in.
struct TSuspEntry {
    uint16_t Signature = 0;  // susp::Signature('P','X') ...
    const uint8_t* Bytes = nullptr;  // the whole entry, its header included
    size_t Length = 0;
};

// The entries of one record, back to back, without the CE, ST and padding
// that joined them.
class TSystemUse {
public:
    // Every entry, in order.
    void ForEach(const std::function<void(const TSuspEntry&)>& Visit) const;
    bool Empty() const { return bytes_.empty(); }

    std::string Problem;  // why not every entry could be read; empty when all were

private:
    friend TSystemUse ReadSystemUse(const uint8_t*, size_t, const TAreaReader&);
    std::vector<uint8_t> bytes_;
};

// Collects the entries of a record's system-use area (Area, Length bytes,
// the skip of the volume already applied) and of its continuation areas.
TSystemUse ReadSystemUse(const uint8_t* Area, size_t Length, const TAreaReader& ReadArea);

}  // namespace kestrel
