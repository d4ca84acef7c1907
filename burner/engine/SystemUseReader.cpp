#include "burner/engine/SystemUseReader.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "burner/engine/DirectoryRecord.h"
#include "burner/iso/SuspLayout.h"

namespace kestrel {

namespace {

using namespace iso;

struct TAreaPlace {
    uint32_t Block = 0;
    uint32_t Offset = 0;
    uint32_t Length = 0;
};

// Appends the entries of one area to Out and notes the continuation it
// names; returns why the area cannot be read, empty when it can. A zero
// byte where an entry would start is padding: the area ends there.
std::string TakeArea(const uint8_t* Area, size_t Length, std::vector<uint8_t>& Out, std::optional<TAreaPlace>& Next) {
    size_t at = 0;
    while (at + susp::HeaderBytes <= Length && Area[at] != 0) {
        const uint8_t* e = Area + at;
        const size_t length = e[susp::LengthAt];
        if (length < susp::HeaderBytes || at + length > Length)
            return "SYSTEM-USE ENTRY OF A BROKEN LENGTH (" + std::to_string(length) + " BYTES)";
        const uint16_t signature = susp::Signature(char(e[0]), char(e[1]));
        if (signature == susp::Signature('S', 'T')) break;
        if (signature == susp::Signature('C', 'E')) {
            if (length < susp::ce::Bytes) return "CONTINUATION ENTRY SHORTER THAN 28 BYTES";
            Next = TAreaPlace{LittleEndian32(e + susp::ce::BlockAt), LittleEndian32(e + susp::ce::OffsetAt),
                              LittleEndian32(e + susp::ce::LengthAt)};
        } else {
            if (Out.size() + length > kMaxSystemUseBytes)
                return "MORE THAN " + std::to_string(kMaxSystemUseBytes / 1024) + " KB OF SYSTEM-USE ENTRIES";
            Out.insert(Out.end(), e, e + length);
        }
        at += length;
    }
    return {};
}

}  // namespace

void TSystemUse::ForEach(const std::function<void(const TSuspEntry&)>& Visit) const {
    // The entries were checked when they were collected.
    for (size_t at = 0; at < bytes_.size(); at += bytes_[at + susp::LengthAt]) {
        const uint8_t* e = bytes_.data() + at;
        Visit({susp::Signature(char(e[0]), char(e[1])), e, e[susp::LengthAt]});
    }
}

TSystemUse ReadSystemUse(const uint8_t* Area, size_t Length, const TAreaReader& ReadArea) {
    TSystemUse result;
    std::optional<TAreaPlace> next;
    result.Problem = TakeArea(Area, Length, result.bytes_, next);
    std::vector<std::pair<uint32_t, uint32_t>> seen;
    std::vector<uint8_t> area;
    while (result.Problem.empty() && next) {
        const TAreaPlace place = *next;
        next.reset();
        if (seen.size() >= size_t(kMaxContinuationAreas)) {
            result.Problem = "MORE THAN " + std::to_string(kMaxContinuationAreas) + " CONTINUATION AREAS";
            break;
        }
        const std::pair<uint32_t, uint32_t> key{place.Block, place.Offset};
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
            result.Problem = "CONTINUATION AREAS IN A LOOP (SECTOR " + std::to_string(place.Block) + ")";
            break;
        }
        seen.push_back(key);
        if (!ReadArea(place.Block, place.Offset, place.Length, area, result.Problem)) break;
        result.Problem = TakeArea(area.data(), area.size(), result.bytes_, next);
    }
    return result;
}

}  // namespace kestrel
