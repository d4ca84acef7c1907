// The disc write from the drive's preparation to its reset: data, flush,
// the copy of the volume descriptors at LBA 0 on overwritable media,
// closing the track and session as the medium needs, and the reset for
// reading. Any failure skips what follows the flush.
#include <array>
#include <cstring>

#include "burner/common/Clock.h"
#include "burner/engine/EngineMessages.h"
#include "burner/engine/KestrelBurner.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

constexpr int kFlushTimeoutMs = 1800000;
constexpr int kSyncTimeoutMs = 120000;

bool IsIncrementalDVD(unsigned Type) {
    return Type == mtDVDR || Type == mtDVDRWRestricted || Type == mtDVDRWSequential;
}

// Random-access media hold no tracks or sessions to close.
bool ClosesNothing(unsigned Type) { return Type == mtDVDRAM || Type == mtBDRE; }

}  // namespace

std::string TKestrelBurner::WriteDisc() {
    std::string error = PrepareDrive();
    if (!error.empty()) return error;
    error = WriteDiscData();
    const std::string flushError = FlushDrive();
    if (error.empty()) error = flushError;
    if (error.empty()) error = WriteVolumeDescriptorCopy();
    if (error.empty()) error = CloseSession();
    if (error.empty()) ResetDriveForReading();
    if (error.empty()) error = VerifyWrittenData();
    SetCloseAfterCommand(true);
    return error;
}

std::string TKestrelBurner::FlushDrive() {
    const unsigned type = mediumType_;
    SetWritePhase(TWritePhase::Flushing);
    if (type != mtDVDRAM) QueryDeviceBuffer();
    std::string error;
    if (IsIncrementalDVD(type)) {
        if (!SynchronizeCache(true, kFlushTimeoutMs)) {
            error = "CAN'T FLUSH THE DRIVE'S CACHE [" + LastError + "]";
        } else {
            // The drive answers again once its buffer is written; the gauge
            // runs down meanwhile.
            const uint32_t size = deviceBufferBytes_;
            deviceFreeBufferBytes_ = size;
            const auto deadline = DeadlineAfterMs(kFlushTimeoutMs);
            while (!ReadDiscInformation()) {
                if (std::chrono::steady_clock::now() > deadline) {
                    error = "THE DRIVE DID NOT FINISH WRITING ITS CACHE";
                    break;
                }
                const uint32_t free = deviceFreeBufferBytes_;
                deviceFreeBufferBytes_ = free > size / 960 ? free - size / 960 : 0;
                SleepMs(1000);
            }
        }
    } else if (!SynchronizeCache(false, kSyncTimeoutMs) && !SynchronizeCache(true, kSyncTimeoutMs)) {
        error = "CAN'T FLUSH THE DRIVE'S CACHE [" + LastError + "]";
    }
    deviceBufferBytes_ = 0;
    deviceFreeBufferBytes_ = 0;
    return error;
}

std::string TKestrelBurner::WriteVolumeDescriptorCopy() {
    // Readers of overwritable media look for the volume at sector 16. The
    // copy goes there only after all data is on the disc, so a failed or
    // aborted burn leaves the old volume readable.
    if (job_.SourceIsImageFile || TestWrite || ImageStartLBA == 0 || !IsOverwritableMedium()) return {};
    size_t sectors = 0;
    for (size_t lba = 16; (lba + 1) * 2048 <= head_.size() && lba < 32; ++lba) {
        const uint8_t* sector = head_.data() + lba * 2048;
        if (std::memcmp(sector + 1, "CD001", 5) != 0) break;
        if (sector[0] == 0xFF) {
            sectors = lba + 1;
            break;
        }
    }
    if (sectors == 0) return msgInternalError0005;
    std::memcpy(dataBuffer_.data(), head_.data(), sectors * 2048);
    // A BD is written in whole clusters: the rest of the first one is read
    // from the disc and written back as it was.
    if (IsBDMedium(mediumType_)) {
        const size_t cluster = mmc::bd::kClusterBlocks;
        if (!Read10(static_cast<uint32_t>(sectors), static_cast<uint16_t>(cluster - sectors),
                    dataBuffer_.data() + sectors * 2048, static_cast<uint32_t>((cluster - sectors) * 2048)))
            return "CAN'T READ THE START OF THE DISC BACK [" + LastError + "]";
        sectors = cluster;
    }
    std::string error = SendBlock(0, dataBuffer_.data(), static_cast<uint32_t>(sectors * 2048));
    if (!error.empty()) return error;
    descriptorCopySectors_ = static_cast<uint32_t>(sectors);
    if (!SynchronizeCache(false, kFlushTimeoutMs)) return "CAN'T FLUSH THE DRIVE'S CACHE [" + LastError + "]";
    return {};
}

std::string TKestrelBurner::CloseSession() {
    const unsigned type = mediumType_;
    if (!TestWrite && !ClosesNothing(type) && FinalizeTrack) {
        // Only a write that really closes its track says so: a failed, aborted
        // or test write never gets here.
        SetWritePhase(TWritePhase::Closing);
        if (OnFinalizingTrack) OnFinalizingTrack(this);
        // The caller's FinalizeDisc now decides whether another session may
        // follow (on the media written without the page, the close command does).
        if (type != mtDVDR && !SetWriteParameters(TestWrite, UnderrunProtection, FinalizeDisc, type)) {
            if (!WritesWithoutParametersPage(type))
                return "CAN'T SET THE WRITE PARAMETERS FOR CLOSING [" + LastError + "]";
            LogInfo(">>> THE DRIVE REFUSED THE WRITE PARAMETERS FOR CLOSING [" + LastError + "]; " +
                    MediumTypeName(type) + " IS CLOSED WITHOUT THEM");
        }
        if (!SendCloseCommands()) return "CAN'T CLOSE THE SESSION [" + LastError + "]";
    }
    if (!WaitForReady(240000, 5000)) DebugMsg(">>> THE DRIVE IS STILL BUSY AFTER CLOSING", mtFailure);
    if (type != mtDVDRAM) QueryDeviceBuffer();
    return {};
}

bool TKestrelBurner::SendCloseCommands() {
    const auto track = static_cast<uint8_t>(trackNumber_);
    switch (mediumType_) {
        case mtDVDPlusR:
            return CloseTrackSessionEx(false, 1, 0, 0, track) && CloseTrackSessionEx(false, 2, 0, 0, 0xFF);
        case mtDVDPlusRDL:
            return CloseTrackSessionEx(false, 1, 0, 0, track) &&
                   (FinalizeDisc ? CloseTrackSessionEx(false, 6, 0, 0, 0) : CloseTrackSessionEx(false, 2, 0, 0, 0));
        case mtBDR: {
            // The session stays open for the next unless the disc is finalized.
            const uint8_t session = FinalizeDisc ? mmc::close::kFinalize : mmc::close::kSession;
            return CloseTrackSessionEx(false, mmc::close::kTrack, 0, uint8_t(trackNumber_ >> 8), track) &&
                   CloseTrackSessionEx(false, session, 0, 0, 0);
        }
        case mtDVDR: {
            const bool trackClosed = CloseTrackSessionEx(false, 1, 0, 0, track);
            CloseTrackSessionEx(false, 1, 0, 0, static_cast<uint8_t>(track + 1));  // the invisible track, if any
            return CloseTrackSessionEx(false, 2, 0, 0, static_cast<uint8_t>(track + 2)) && trackClosed;
        }
        case mtDVDRWRestricted:
        case mtDVDRWSequential:
            return CloseTrackSessionEx(true, 2, 0, 0, 0);
        case mtDVDPlusRW:
            return CloseTrackSessionEx(false, 3, 0, 0, 0xFF);
        default:
            return CloseCDSession();
    }
}

bool TKestrelBurner::CloseCDSession() {
    for (int retries = 0; retries < 1000; ++retries) {
        if (CloseTrackSession(false, Quirks().ImmediateClose, false)) return true;
        if (!TargetBusy && LastASC() != 0x04) return CloseTrackSession(false, Quirks().ImmediateClose, false);
        SleepMs(1000);
    }
    return false;
}

void TKestrelBurner::ResetDriveForReading() {
    SetWriteParameters(false, false, true, 0);
    SetCDSpeed(GetMaxReadSpeed(), 2);
    RezeroUnit();
    AllowMediumRemoval(true);
    LoadEject(false);
    RezeroUnit();
    TestUnitReady(5000);
}

}  // namespace kestrel
