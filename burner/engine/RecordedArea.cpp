#include "burner/engine/RecordedArea.h"

#include <algorithm>

namespace kestrel {

namespace {

// Bounds the walk over a drive that reports absurd track numbers.
constexpr uint32_t kMaxTracks = 4096;

}  // namespace

TRecordedArea TRecordedArea::Read(TSCSIDevice& Device, uint32_t UpToSession) {
    TRecordedArea area;
    const uint8_t type = Device.GetDiscType();
    if (type == mtUnknown || IsOverwritableType(type) || !Device.ReadDiscInformation()) return area;
    const uint32_t last = std::min<uint32_t>(Device.DiscInformation.LastTrackInLastSession(), kMaxTracks);
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    for (uint32_t number = 1; number <= last; ++number) {
        if (!Device.ReadTrackInformation(number, TRACK_ADDRESS_TRACK)) return area;
        const TTrackRecord& track = Device.TrackInformation;
        if (track.SessionNumber() > UpToSession) break;
        if (const uint32_t blocks = track.RecordedBlocks())
            ranges.emplace_back(track.TrackStart, uint64_t(track.TrackStart) + blocks);
    }
    // Tracks that follow each other directly hold one stretch of data.
    std::sort(ranges.begin(), ranges.end());
    for (const auto& range : ranges) {
        if (!area.ranges_.empty() && range.first <= area.ranges_.back().second)
            area.ranges_.back().second = std::max(area.ranges_.back().second, range.second);
        else
            area.ranges_.push_back(range);
    }
    area.everything_ = false;
    return area;
}

bool TRecordedArea::Holds(uint32_t Start, uint32_t Sectors) const {
    if (everything_ || Sectors == 0) return true;
    const uint64_t end = uint64_t(Start) + Sectors;
    return std::any_of(ranges_.begin(), ranges_.end(),
                       [&](const auto& Range) { return Start >= Range.first && end <= Range.second; });
}

}  // namespace kestrel
