#pragma once
// Fingerprints of the data a burn sent to the drive, one per range of
// sectors, kept while the burn runs. Reading the disc back then needs
// nothing else to tell whether it holds what was sent: no second read of
// the sources and no copy of the image, eight bytes per range.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel {

// Sectors of one range: the blocks the disc is read back in.
inline constexpr uint32_t kDigestRangeSectors = 32;

// The fingerprint of Sectors whole sectors at Data (a range, or the shorter
// last one), as TWriteDigest computes it while the data goes out.
uint64_t RangeDigest(const uint8_t* Data, uint32_t Sectors);

class TWriteDigest {
public:
    // Starts over for a stream of Sectors sectors.
    void Start(int64_t Sectors);
    // Adds the next Bytes (whole sectors) of the stream as they were sent;
    // sectors past the stream's end (the padding of a last block) are left
    // out.
    void Add(const uint8_t* Data, size_t Bytes);

    int64_t StreamSectors() const { return total_; }
    // Every sector of the stream was added.
    bool Complete() const { return added_ == total_; }
    size_t Ranges() const { return ranges_.size(); }
    uint64_t Range(size_t Index) const { return ranges_[Index]; }

private:
    void CloseRange();

    int64_t total_ = 0;
    int64_t added_ = 0;
    uint64_t current_ = 0;
    uint32_t inCurrent_ = 0;
    std::vector<uint64_t> ranges_;
};

}  // namespace kestrel
