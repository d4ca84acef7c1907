// A session that a failed or interrupted burn left open at the end of a
// write-once or sequential disc. The drive's next writable address lies
// inside it, so a new image written there would belong to the broken
// session, whose start (and volume) readers look at. A burn is refused on
// such a disc, or, at the user's request, closes the session first and
// writes the new one behind it.
#include "burner/engine/KestrelBurner.h"

namespace kestrel {
namespace {

// Close functions of CLOSE TRACK/SESSION.
constexpr uint8_t kCloseTrackFunction = 1;
constexpr uint8_t kCloseSessionFunction = 2;
constexpr int kCloseBudgetMs = 240000;
constexpr int kClosePollMs = 5000;

std::string Describe(const TUnfinishedSession& Session) {
    return "A BURN FAILED OR WAS INTERRUPTED AND LEFT SESSION " + std::to_string(Session.Session) +
           " OF THE DISC UNFINISHED (" + std::to_string(Session.RecordedBlocks) + " SECTORS WRITTEN FROM SECTOR " +
           std::to_string(Session.Start) + ")";
}

}  // namespace

std::string TKestrelBurner::CheckUnfinishedSession(bool ForImage) {
    closedUnfinishedSession_ = 0;
    const auto unfinished = FindUnfinishedSession();
    if (!unfinished) return {};
    const std::string what = Describe(*unfinished);
    if (ForImage) return what + ": AN IMAGE IS WRITTEN ONLY ONTO A BLANK DISC";
    if (!CloseUnfinishedSession) return what + ": IT MUST BE CLOSED BEFORE A NEW SESSION CAN FOLLOW";
    if (TestWrite) return what + ": A TEST WRITE DOES NOT CLOSE IT";
    return CloseUnfinished(*unfinished);
}

std::string TKestrelBurner::CloseUnfinished(const TUnfinishedSession& Session) {
    const std::string number = std::to_string(Session.Session);
    DebugMsg(">>> CLOSING THE UNFINISHED SESSION # " + number, mtFailure);
    const uint16_t type = GetDiscType();
    // Closed so that the new session can follow, whatever FinalizeDisc says.
    const bool finalize = FinalizeDisc;
    FinalizeDisc = false;
    const bool parametersSet = SetWriteParameters(false, UnderrunProtection, false, type);
    FinalizeDisc = finalize;
    if (!parametersSet) return "CAN'T SET THE WRITE PARAMETERS FOR CLOSING [" + LastError + "]";
    if (!CloseUnfinishedTracks(Session)) return "CAN'T CLOSE THE UNFINISHED TRACK [" + LastError + "]";
    const bool closed = IsCDMedium(type) ? CloseCDSession() : CloseTrackSessionEx(false, kCloseSessionFunction, 0, 0, 0);
    if (!closed) return "CAN'T CLOSE THE UNFINISHED SESSION # " + number + " [" + LastError + "]";
    WaitForReady(kCloseBudgetMs, kClosePollMs);
    if (FindUnfinishedSession()) return "THE UNFINISHED SESSION # " + number + " IS STILL OPEN AFTER CLOSING";
    if (GetDiscStatus() != DISC_STATUS_INCOMPLETE) return "CLOSING THE UNFINISHED SESSION # " + number + " LEFT NO ROOM ON THE DISC";
    closedUnfinishedSession_ = Session.Session;
    DebugMsg(">>> SESSION # " + number + " CLOSED: ONLY ITS FIRST " + std::to_string(Session.RecordedBlocks) +
                 " SECTORS WERE WRITTEN; ITS FILES BEYOND THEM ARE NOT ON THE DISC",
             mtFailure);
    return {};
}

// Every track of the session that is still open; a reserved track is padded
// to its size by the drive.
bool TKestrelBurner::CloseUnfinishedTracks(const TUnfinishedSession& Session) {
    for (uint32_t track = Session.FirstTrack; track <= Session.LastTrack; ++track) {
        if (!ReadTrackInformation(track, TRACK_ADDRESS_TRACK)) return false;
        if (!TrackInformation.NextWritableAddressValid()) continue;  // closed already
        if (!CloseTrackSessionEx(false, kCloseTrackFunction, 0, uint8_t(track >> 8), uint8_t(track))) return false;
        WaitForReady(kCloseBudgetMs, kClosePollMs);
    }
    return true;
}

int TKestrelBurner::SessionForLayoutImport() const {
    // "The last session" is the one before the unfinished session closed by
    // this burn: the failed burn's tree is no basis for the new one.
    if (SessionToImport == -1 && closedUnfinishedSession_ != 0) return closedUnfinishedSession_ - 1;
    return SessionToImport;
}

}  // namespace kestrel
