#pragma once
// The byte stream of a write read again from its sources, a few sectors at
// a time: the image head kept in memory, the files at their places, zeros
// for gaps and padding; laid out exactly as the read-ahead cache streamed
// it. A read-back that found a range differing from what was written uses
// it to tell which of the range's sectors differ.
#include <cstdint>
#include <string>
#include <vector>

#include "burner/engine/CacheThread.h"

namespace kestrel {

class TStreamSources {
public:
    // Job must outlive this object (it is the cache's own job).
    explicit TStreamSources(const TCacheJob& Job);

    // Fills Dest with Count sectors of the stream from its sector First.
    // Empty, or why a source could not be read.
    std::string Read(int64_t First, uint32_t Count, uint8_t* Dest) const;

private:
    // Copies Length bytes of Path from its byte From into Dest; what lies
    // past its laid-out FileBytes (or its end) stays zero.
    std::string ReadFile(const std::string& Path, int64_t FileBytes, int64_t From, int64_t Length, uint8_t* Dest) const;

    const TCacheJob& job_;
    int64_t headBytes_ = 0;
    // Where each of job_.Files begins in the stream.
    std::vector<int64_t> offsets_;
};

}  // namespace kestrel
