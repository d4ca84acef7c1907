#pragma once
// The blocks of a disc that hold written data, as the drive reports its
// tracks. A session's directories may name extents that were never written
// (a burn that failed after writing its directories, or blocks past the end
// of an unfinished track): files there are not handed out.
#include <cstdint>
#include <utility>
#include <vector>

#include "burner/device/SCSIDevice.h"

namespace kestrel {

class TRecordedArea {
public:
    // The written blocks of the tracks of sessions 1..UpToSession. On
    // overwritable media, and when the drive does not describe its tracks,
    // every block counts as written (other checks still apply).
    static TRecordedArea Read(TSCSIDevice& Device, uint32_t UpToSession);

    // True when the Sectors blocks from Start all hold written data.
    bool Holds(uint32_t Start, uint32_t Sectors) const;

private:
    bool everything_ = true;
    std::vector<std::pair<uint64_t, uint64_t>> ranges_;  // [first, end) per track
};

}  // namespace kestrel
