// What kind of disc is in the drive, its sessions, and its space in blocks.
#include <array>
#include <algorithm>
#include <cstring>
#include <optional>

#include "burner/device/SCSIDevice.h"

namespace kestrel {

namespace {

constexpr uint32_t kNoValue = 0xFFFFFFFF;
constexpr uint32_t kUnformattedCount = 0xFFFD0001;

// READ TOC format 4 (ATIP): byte 6 tells CD-R from CD-RW, bytes 12..14 hold
// the last possible lead-out start as minutes, seconds, frames.
struct TAtip {
    alignas(8) std::array<uint8_t, 26> Bytes{};
    bool Valid(size_t Needed) const {
        const TReply reply(Bytes.data(), Bytes.size());
        return reply.Prefix(size_t(reply.U16BE(0)) + 2).Has(Needed);
    }
};

}  // namespace

bool TSCSIDevice::ReadAtip(std::array<uint8_t, 26>& Atip, size_t Needed) {
    TAtip atip;
    const bool ok = ReadTOC(true, 4, 0, atip.Bytes.data(), uint16_t(atip.Bytes.size())) && atip.Valid(Needed);
    Atip = atip.Bytes;
    return ok;
}

uint8_t TSCSIDevice::GetDiscType() {
    alignas(8) std::array<uint8_t, 114> config{};
    uint8_t type = mtUnknown;
    if (GetConfiguration(2, 0, config.data(), uint16_t(config.size())))
        type = MediumTypeFromProfile(TReply(config.data(), config.size()).U16BE(6));
    if (type == mtUnknown) {
        alignas(8) std::array<uint8_t, 26> atip{};
        if (ReadAtip(atip, 6)) {
            const uint8_t kind = atip[6];
            type = !(kind & 0x80) ? mtCDROM : (kind & 0x40) ? mtCDRW : mtCDR;
        }
    }
    if (type == mtUnknown && ReadDiscInformation()) type = DiscInformation.Erasable() ? mtCDRW : mtCDR;
    if (type == mtUnknown && TestUnitReady(5000)) type = mtCDROM;
    return type;
}

bool TSCSIDevice::DiscIsErasable() {
    if (ReadDiscInformation()) return DiscInformation.Erasable();
    LastDiscType = GetDiscType();
    return LastDiscType == mtDVDRAM || LastDiscType == mtDVDRWRestricted || LastDiscType == mtDVDRWSequential ||
           LastDiscType == mtDVDPlusRW || LastDiscType == mtBDRE;
}

int16_t TSCSIDevice::GetDiscStatus() { return ReadDiscInformation() ? DiscInformation.DiscStatus() : -1; }

uint16_t TSCSIDevice::GetSessionCount() {
    if (!ReadDiscInformation() || DiscInformation.DiscStatus() == 0) return 0;
    uint16_t sessions = DiscInformation.Sessions();
    if (DiscInformation.LastSessionState() == 0 && sessions > 0) --sessions;
    return sessions;
}

// The track a new session is written into: the open (invisible or
// incomplete) track of the last session; past the last track on a closed
// disc. Session numbers are not track numbers once a session holds several
// tracks, so this comes from the disc information record.
uint32_t TSCSIDevice::TrackOfNextSession(uint32_t Session) const {
    const uint16_t last = DiscInformation.LastTrackInLastSession();
    if (last == 0) return Session;
    return DiscInformation.DiscStatus() == 2 ? uint32_t(last) + 1 : last;
}

// The last track of the last closed session.
uint32_t TSCSIDevice::LastTrackOfClosedSessions(uint32_t Session) const {
    const uint16_t last = DiscInformation.LastTrackInLastSession();
    if (last == 0) return Session;
    if (DiscInformation.LastSessionState() == 0) return DiscInformation.FirstTrackInLastSession() - 1u;
    return last;
}

void TSCSIDevice::PrepareSpaceQuery(uint8_t Type) {
    const bool finalize = FinalizeDisc;
    FinalizeDisc = true;
    SetWriteParameters(false, UnderrunProtection, true, Type);
    FinalizeDisc = finalize;
}

uint32_t TSCSIDevice::GetUsedBlocks() {
    const uint8_t type = GetDiscType();
    PrepareSpaceQuery(type);
    ReadDiscInformation();
    if (!IsCDMedium(type)) {
        if (!ReadTrackInformation(DiscInformation.LastTrackInLastSession())) return 0;
        const TTrackRecord track = TrackInformation;
        if (track.TrackSize == kNoValue) return 0;
        uint32_t blocks = 0, blockLength = 0;
        if (type == mtDVDRWRestricted || type == mtDVDRWSequential) {
            if (ReadFormatCapacities(blocks, blockLength))
                return track.TrackSize == track.FreeBlocks ? 0 : track.TrackSize;
            return track.NextWritableAddress;
        }
        if (type == mtDVDRAM || type == mtDVDPlusRW || type == mtBDRE) return GetISOVolumeSize();
        return track.NextWritableAddress;
    }

    const uint32_t session = GetSessionCount() + 1u;
    const uint32_t track = TrackOfNextSession(session);
    if (ReadTrackInformation(track)) {
        const uint32_t used = TrackInformation.NextWritableAddress != kNoValue ? TrackInformation.NextWritableAddress
                                                                               : TrackInformation.TrackSize;
        if (session == 1 || used != 0) return used;
    }
    uint32_t lastLBA = 0, blockLength = 0;
    if (!ReadCapacity(lastLBA, blockLength))
        return ReadTrackInformation(track) ? TrackInformation.FreeBlocks : 0;
    if (lastLBA < 0x7F000001) return lastLBA;
    uint32_t blocks = 0;
    return ReadFormatCapacities(blocks, blockLength) ? blocks : 0;
}

uint32_t TSCSIDevice::GetFreeBlocks() {
    const uint8_t type = GetDiscType();
    PrepareSpaceQuery(type);
    ReadDiscInformation();
    if (!IsCDMedium(type)) {
        if (!ReadTrackInformation(DiscInformation.LastTrackInLastSession())) return 0;
        const TTrackRecord track = TrackInformation;
        uint32_t blocks = 0, blockLength = 0;
        if (type == mtDVDRWRestricted) {
            if (track.NextWritableAddress != 0) return track.FreeBlocks;
            if (ReadFormatCapacities(blocks, blockLength)) {
                if (track.TrackSize == track.FreeBlocks) return track.FreeBlocks;
                return blocks > track.TrackSize ? blocks - track.TrackSize : 0;
            }
        } else if (type == mtDVDRAM || type == mtDVDPlusRW) {
            const uint32_t used = GetISOVolumeSize();
            return track.TrackSize > used ? track.TrackSize - used : 0;
        } else if (type == mtBDRE) {
            // The formatted size, or what the drive's own format would leave
            // on a disc not formatted yet.
            const uint32_t used = GetISOVolumeSize();
            if (!ReadFormatCapacities(blocks, blockLength)) blocks = track.TrackSize;
            return blocks > used ? blocks - used : 0;
        }
        if (track.TrackSize == kNoValue) return 0;
        return track.LastRecordedAddress == 0 ? track.TrackSize : track.FreeBlocks;
    }

    PrepareSpaceQuery(type);
    if (DiscInformation.DiscStatus() == 2) return 0;
    ReadDiscInformation();
    const uint32_t track = DiscInformation.LastTrackInLastSession();
    if (!ReadTrackInformation(track) && !ReadTrackInformation(track)) return 0;
    // An open track that holds data (a failed burn's) counts its written
    // blocks in its size: only what lies behind them is free.
    if (!TrackInformation.Blank() && TrackInformation.NextWritableAddressValid()) return TrackInformation.FreeBlocks;
    return std::max(TrackInformation.FreeBlocks, TrackInformation.TrackSize);
}

uint32_t TSCSIDevice::GetDiscCapacity() {
    const uint8_t type = GetDiscType();
    PrepareSpaceQuery(type);
    ReadDiscInformation();
    uint32_t blocks = 0, blockLength = 0;
    if (!IsCDMedium(type)) {
        if (!ReadTrackInformation(DiscInformation.LastTrackInLastSession())) return 0;
        const TTrackRecord track = TrackInformation;
        if ((type == mtDVDRAM || type == mtDVDRWRestricted || type == mtDVDPlusRW || type == mtBDRE) &&
            ReadFormatCapacities(blocks, blockLength))
            return blocks;
        return track.FreeBlocks + track.NextWritableAddress;
    }

    const uint32_t session = GetSessionCount();
    uint32_t capacity = 0;
    alignas(8) std::array<uint8_t, 26> atip{};
    auto trackEnd = [this](uint32_t Track) -> std::optional<uint32_t> {
        if (!ReadTrackInformation(Track)) return std::nullopt;
        return TrackInformation.FreeBlocks + TrackInformation.TrackStart;
    };
    if (ReadAtip(atip, 14)) {
        capacity = MSFToLBA(0, atip[12], atip[13], atip[14]);
        uint32_t lastLBA = 0;
        if (capacity < 20000 && ReadCapacity(lastLBA, blockLength) && lastLBA > capacity) capacity = lastLBA;
    } else if (!ReadFormatCapacities(blocks, blockLength)) {
        if (auto end = trackEnd(LastTrackOfClosedSessions(session))) capacity = *end;
        else capacity = ReadFormatCapacities(blocks, blockLength) ? blocks : 0;
    } else if (blocks == kUnformattedCount) {
        auto end = trackEnd(TrackOfNextSession(session + 1));
        if (!end) end = trackEnd(LastTrackOfClosedSessions(session));
        capacity = end.value_or(0);
    } else {
        capacity = blocks;
    }
    return capacity == kNoValue ? GetUsedBlocks() : capacity;
}

uint32_t TSCSIDevice::GetISOVolumeSize() {
    // Sectors that cannot be read (a blank disc) mean "no volume", not a fault.
    TProbeScope probe(*this);
    std::vector<uint8_t> sector(2048);
    for (uint32_t lba = 16; lba <= 32; ++lba) {
        std::fill(sector.begin(), sector.end(), uint8_t(0));
        if (!Read10(lba, 1, sector.data(), uint32_t(sector.size()))) continue;
        if (std::memcmp(&sector[1], "CD001", 5) == 0 && (sector[0] == 1 || sector[0] == 2))
            return TReply(sector.data(), sector.size()).U32LE(80);
    }
    return 0;
}

void TSCSIDevice::GetDiscInformation(TDisc& Disc) {
    TDisc disc;
    if (!TestUnitReady(5000)) {
        WaitForReady(3000, 5000);
        if (!TestUnitReady(5000)) return;
    }
    disc.Ready = true;

    alignas(8) std::array<uint8_t, 114> toc{};
    if (ReadTOC(false, 0, 0, toc.data(), uint16_t(toc.size()))) {
        const uint8_t lastTrack = toc[3];
        toc.fill(0);
        ReadTOC(false, 0, lastTrack, toc.data(), uint16_t(toc.size()));
        alignas(8) std::array<uint8_t, 4> sessions{};
        if (ReadTOC(false, 1, 0, sessions.data(), uint16_t(sessions.size()))) {
            disc.FirstSession = sessions[2];
            disc.LastSession = sessions[3];
        }
        alignas(8) std::array<uint8_t, 26> atip{};
        disc.Capacity = ReadAtip(atip, 14) ? MSFToLBA(0, atip[12], atip[13], atip[14]) : 0;
        disc.MediumName = "CD-ROM";
    }

    alignas(8) std::array<uint8_t, 114> config{};
    uint8_t type = mtUnknown;
    if (GetConfiguration(2, 0, config.data(), uint16_t(config.size()))) {
        disc.Profile = TReply(config.data(), config.size()).U16BE(6);
        disc.MediumName = ProfileMediumName(disc.Profile);
        disc.Erasable = ProfileIsErasable(disc.Profile);
        type = MediumTypeFromProfile(disc.Profile);
    }
    // The writable track: the invisible track on CD; on DVD the last track
    // of the last session (a multisession DVD-R has more than track 1).
    uint32_t track = 0xFF;
    if (!IsCDMedium(type)) track = ReadDiscInformation() && DiscInformation.LastTrackInLastSession()
                                       ? DiscInformation.LastTrackInLastSession() : 1;
    if (ReadTrackInformation(track)) {
        disc.Blocks = TrackInformation.NextWritableAddress;
        disc.Capacity = TrackInformation.NextWritableAddress + TrackInformation.FreeBlocks;
        disc.BlockSize = 2048;
    } else if (ReadFormatCapacities(disc.Blocks, disc.BlockSize) && disc.Capacity < disc.Blocks) {
        disc.Capacity = disc.Blocks;
    }
    // Asked whatever the track said: a closed disc has no writable track,
    // and its status must still read "complete".
    const bool haveDiscInfo = ReadDiscInformation();

    if (haveDiscInfo) {
        disc.DiscStatus = DiscInformation.DiscStatus();
        disc.LastSessionState = DiscInformation.LastSessionState();
        disc.Erasable = DiscInformation.Erasable();
    } else {
        ReadCapacity(disc.Blocks, disc.BlockSize);
        if (ReadTrackInformation(0)) disc.MediumName = "CD-ROM";
    }
    if (disc.Capacity < disc.Blocks) disc.Capacity = disc.Blocks;
    Disc = disc;
}

}  // namespace kestrel
