#include "burner/engine/SessionPlace.h"

#include <algorithm>
#include <cstdint>

namespace kestrel {

namespace {

// More tracks than a CD can hold; bounds the walks over a disc that
// answers every track number.
constexpr uint32_t kMaxTracks = 256;

bool ReadTrack(TSCSICommands& Device, uint32_t Number) {
    return Device.ReadTrackInformation(Number, TRACK_ADDRESS_TRACK);
}

std::optional<uint32_t> FirstTrackOfSession(TSCSICommands& Device, uint16_t Number) {
    if (Device.ReadTrackInformation(Number, TRACK_ADDRESS_SESSION) &&
        Device.TrackInformation.SessionNumber() == Number && Device.TrackInformation.TrackNumber() != 0)
        return Device.TrackInformation.TrackNumber();
    if (!Device.ReadDiscInformation()) return std::nullopt;
    const uint32_t last = std::min<uint32_t>(Device.DiscInformation.LastTrackInLastSession(), kMaxTracks);
    for (uint32_t track = 1; track <= last; ++track)
        if (ReadTrack(Device, track) && Device.TrackInformation.SessionNumber() == Number) return track;
    return std::nullopt;
}

}  // namespace

std::optional<TSessionPlace> LocateSession(TSCSICommands& Device, uint16_t Number) {
    const auto first = FirstTrackOfSession(Device, Number);
    if (!first || !ReadTrack(Device, *first)) return std::nullopt;
    TSessionPlace place;
    place.FirstTrack = *first;
    place.Start = Device.TrackInformation.TrackStart;
    uint64_t blocks = Device.TrackInformation.TrackSize;
    // Later tracks of the same session, while the drive knows them.
    const uint32_t last = Device.ReadDiscInformation() ? Device.DiscInformation.LastTrackInLastSession() : 0;
    for (uint32_t track = *first + 1; track <= last && track < *first + kMaxTracks; ++track) {
        if (!ReadTrack(Device, track) || Device.TrackInformation.SessionNumber() != Number) break;
        blocks += Device.TrackInformation.TrackSize;
    }
    place.Blocks = static_cast<uint32_t>(std::min<uint64_t>(blocks, UINT32_MAX));
    return place;
}

std::optional<uint32_t> ReadableEnd(TSCSICommands& Device) {
    uint32_t lastLBA = 0, blockLength = 0;
    if (!Device.ReadCapacity(lastLBA, blockLength) || lastLBA >= 0x7F000000u) return std::nullopt;
    return lastLBA + 1;
}

}  // namespace kestrel
