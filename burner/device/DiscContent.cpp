// What the disc holds beyond the drive's own summary: a session that a
// failed write left unfinished, and overwritable discs without a file system.
#include <algorithm>
#include <array>
#include <cstring>

#include "burner/device/SCSIDevice.h"

namespace kestrel {

namespace {

// More tracks than one session of any medium holds in practice; bounds the
// walk over a drive that reports absurd track numbers.
constexpr uint32_t kMaxTracksLooked = 1024;
// Where every ISO 9660 and UDF volume begins: its first volume descriptor.
constexpr uint32_t kFirstDescriptorSector = 16;

// The standard identifiers a volume structure descriptor carries at bytes
// 1..5: ISO 9660 ("CD001") and the UDF recognition sequence.
bool IsVolumeDescriptor(const uint8_t* Sector) {
    for (const char* id : {"CD001", "BEA01", "NSR02", "NSR03", "TEA01", "BOOT2", "CDW02"})
        if (std::memcmp(Sector + 1, id, 5) == 0) return true;
    return false;
}

}  // namespace

std::optional<TUnfinishedSession> TSCSIDevice::FindUnfinishedSession() {
    if (!IsSequentialType(GetDiscType())) return std::nullopt;
    if (!ReadDiscInformation() || DiscInformation.DiscStatus() != DISC_STATUS_INCOMPLETE) return std::nullopt;
    const TDiscInfoRecord disc = DiscInformation;
    const uint32_t first = disc.FirstTrackInLastSession();
    const uint32_t last = std::min<uint32_t>(disc.LastTrackInLastSession(), first + kMaxTracksLooked);
    TUnfinishedSession session;
    for (uint32_t number = std::max<uint32_t>(first, 1); number <= last; ++number) {
        if (!ReadTrackInformation(number, TRACK_ADDRESS_TRACK)) continue;
        const TTrackRecord track = TrackInformation;
        // The invisible track, where a new session would begin, is no part of it.
        if (track.Blank() && !track.Reserved()) continue;
        if (session.FirstTrack == 0) {
            session.FirstTrack = static_cast<uint16_t>(number);
            session.Start = track.TrackStart;
            session.Session = track.SessionNumber() ? track.SessionNumber() : disc.Sessions();
        }
        session.LastTrack = static_cast<uint16_t>(number);
        session.RecordedBlocks += track.RecordedBlocks();
    }
    if (session.FirstTrack == 0) return std::nullopt;
    return session;
}

bool TSCSIDevice::HoldsNoFileSystem() {
    if (!IsOverwritableType(GetDiscType())) return false;
    // An unformatted disc reads as empty in the drive's own report already.
    if (!ReadDiscInformation() || DiscInformation.DiscStatus() == DISC_STATUS_EMPTY) return false;
    alignas(8) std::array<uint8_t, 2048> sector{};
    TProbeScope probe(*this);
    if (!Read10(kFirstDescriptorSector, 1, sector.data(), uint32_t(sector.size()))) return false;
    return !IsVolumeDescriptor(sector.data());
}

}  // namespace kestrel
