// Where a new image begins on a disc: at the next writable address the drive
// reports, or, on overwritable media, right after the last ISO 9660 volume
// (on a BD-RE at the next cluster).
// A start that cannot be determined stops the burn; it is never taken as 0.
#include <array>
#include <cstring>

#include "burner/engine/EngineMessages.h"
#include "burner/engine/KestrelBurner.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

constexpr uint32_t kInvalidAddressFloor = 0xFF000000u;

}  // namespace

bool TKestrelBurner::LayoutDiscStart(TDEntry* ImportTarget) {
    mediumType_ = GetDiscType();
    if (burnLayout_ && !GetNextWritableAddress()) {
        DebugMsg(std::string(">>> ") + msgNoNextWritableAddress, mtFailure);
        discStartError_ = msgNoNextWritableAddress;
        ImageStartLBA = 0;
    }
    const int session = SessionForLayoutImport();
    if (session != 0 && !ImportDiscSession(session, ImportTarget) && burnLayout_ && discStartError_.empty())
        discStartError_ = "ERROR IMPORTING SESSION # " + std::to_string(session);
    return true;
}

bool TKestrelBurner::GetNextWritableAddress() {
    ImageStartLBA = 0;
    WaitForReady(10000, 500);
    const uint16_t type = GetDiscType();
    const bool finalize = FinalizeDisc;
    FinalizeDisc = true;
    SetWriteParameters(TestWrite, UnderrunProtection, true, type);
    FinalizeDisc = finalize;
    WaitForReady(10000, 500);

    if (type == mtDVDRAM || type == mtDVDPlusRW || type == mtBDRE) {
        const auto size = FindLastVolumeSize();
        if (!size) return false;
        // A BD is written in whole clusters: the new volume starts on one.
        const int32_t unit = type == mtBDRE ? int32_t(mmc::bd::kClusterBlocks) : 1;
        ImageStartLBA = (*size + unit - 1) / unit * unit;
        return true;
    }
    if (!ReadDiscInformation()) return false;
    const bool blank = DiscInformation.DiscStatus() == 0;
    if (type == mtDVDRWRestricted) {
        // Restricted overwrite: the drive's address for track 1, but never
        // inside the last volume already on the disc.
        const auto size = FindLastVolumeSize();
        if (!size || !ReadTrackInformation(1, TRACK_ADDRESS_TRACK)) return false;
        uint32_t address = TrackInformation.NextWritableAddressValid() ? TrackInformation.NextWritableAddress : 0;
        if (address >= kInvalidAddressFloor) address = 0;
        ImageStartLBA = std::max<int32_t>(static_cast<int32_t>(address), *size);
        return true;
    }
    // The incomplete track of the last session is where writing goes on.
    const uint32_t track = blank ? 1 : DiscInformation.LastTrackInLastSession();
    if (!ReadTrackInformation(track, TRACK_ADDRESS_TRACK)) return false;
    const uint32_t address = TrackInformation.NextWritableAddress;
    if (!TrackInformation.NextWritableAddressValid() || address >= kInvalidAddressFloor) {
        if (!blank) return false;
        ImageStartLBA = 0;
        return true;
    }
    ImageStartLBA = static_cast<int32_t>(address);
    return true;
}

std::optional<int32_t> TKestrelBurner::FindLastVolumeSize() {
    // Sectors 16 upward to the set terminator; stale descriptors that an
    // older volume left after the terminator do not count.
    std::array<uint8_t, 2048> sector{};
    int32_t size = 0;
    bool unreadable = false;
    // A blank disc answers the look-up with a failed read.
    TProbeScope probe(*this);
    for (uint32_t lba = 16; lba <= 32; ++lba) {
        sector.fill(0);
        if (!Read10(lba, 1, sector.data(), sector.size())) {
            unreadable = true;
            break;
        }
        if (std::memcmp(sector.data() + 1, "CD001", 5) != 0) break;
        if (sector[0] == 0xFF) return size;
        if (sector[0] == 1 || sector[0] == 2) {
            int32_t value = 0;
            std::memcpy(&value, sector.data() + 80, 4);  // little-endian on the disc and here
            size = std::max(size, value);
        }
    }
    if (size > 0) return size;
    if (!unreadable) return 0;
    // Unreadable sectors mean "no volume" only on a disc that is blank.
    if (ReadDiscInformation() && DiscInformation.DiscStatus() == 0) return 0;
    return std::nullopt;
}

}  // namespace kestrel
