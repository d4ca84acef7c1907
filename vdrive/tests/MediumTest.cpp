// The recording rules of each medium, without a drive around them.
#include <gtest/gtest.h>

#include "model/Medium.h"
#include "model/Sense.h"

namespace vdrive::test {
namespace {

// Runs F and returns the sense it raised (key/asc/ascq packed), 0 when none.
template <class F>
uint32_t SenseOf(F&& Fn) {
    try {
        Fn();
    } catch (const CheckCondition& c) {
        return uint32_t(c.code.key) << 16 | uint32_t(c.code.asc) << 8 | c.code.ascq;
    }
    return 0;
}

void WriteAt(Medium& M, uint32_t Lba, uint32_t Count) { M.CommitWrite(M.PlanWrite(Lba, Count), Lba, Count); }

}  // namespace

TEST(MediumRules, BlankCdRTakesItsFirstTrackAtZeroOnly) {
    Medium m = Medium::Blank(MediaKind::CdR);
    EXPECT_EQ(m.capacity, 359847u);
    EXPECT_EQ(m.Status(), DiscStatus::Empty);
    EXPECT_EQ(m.SessionCount(), 1u);
    EXPECT_EQ(m.InvisibleTrackNumber(), 1u);
    EXPECT_EQ(SenseOf([&] { m.PlanWrite(16, 1); }), 0x052102u);
    WriteAt(m, 0, 27);
    WriteAt(m, 27, 27);
    EXPECT_EQ(m.tracks.size(), 1u);
    EXPECT_EQ(m.tracks[0].recorded, 54u);
    EXPECT_TRUE(m.LastIsIncomplete());
    EXPECT_EQ(m.Status(), DiscStatus::Incomplete);
    EXPECT_EQ(m.LastSessionState(), SessionState::Incomplete);
    EXPECT_EQ(SenseOf([&] { m.PlanWrite(53, 1); }), 0x052102u) << "rewriting a written block";
    EXPECT_EQ(SenseOf([&] { m.PlanWrite(60, 1); }), 0x052102u) << "leaving a gap";
}

TEST(MediumRules, CdSessionsLeaveLeadOutAndLeadInGaps) {
    Medium m = Medium::Blank(MediaKind::CdR);
    WriteAt(m, 0, 1000);
    m.CloseSession(false);
    EXPECT_EQ(m.closedSessions, 1u);
    EXPECT_FALSE(m.finalized);
    EXPECT_EQ(m.NextTrackStart(), 1000u + kFirstSessionGap);
    EXPECT_EQ(m.SessionCount(), 2u);
    EXPECT_EQ(m.LastSessionState(), SessionState::Empty);
    EXPECT_EQ(m.InvisibleTrackNumber(), 2u);
    WriteAt(m, 12400, 500);
    m.CloseSession(false);
    EXPECT_EQ(m.NextTrackStart(), 12900u + kLaterSessionGap);
    EXPECT_EQ(m.CompleteSessions(), 2u);
    EXPECT_TRUE(m.IsReadable(12899));
    EXPECT_FALSE(m.IsReadable(1000)) << "the gap between sessions holds no data";
}

TEST(MediumRules, DvdSessionsFollowEachOtherDirectly) {
    Medium m = Medium::Blank(MediaKind::DvdR);
    WriteAt(m, 0, 320);
    m.CloseSession(false);
    EXPECT_EQ(m.NextTrackStart(), 320u);
    WriteAt(m, 320, 32);
    EXPECT_EQ(m.tracks.size(), 2u);
    EXPECT_EQ(m.tracks[1].session, 2u);
}

TEST(MediumRules, FinalizedDiscRefusesEverything) {
    Medium m = Medium::Blank(MediaKind::CdR);
    WriteAt(m, 0, 300);
    m.CloseSession(true);
    EXPECT_TRUE(m.finalized);
    EXPECT_EQ(m.Status(), DiscStatus::Complete);
    EXPECT_EQ(m.SessionCount(), 1u);
    EXPECT_EQ(m.InvisibleTrackNumber(), 0u);
    EXPECT_EQ(SenseOf([&] { m.PlanWrite(300, 1); }), 0x052102u);
    EXPECT_EQ(SenseOf([&] { m.PlanWrite(300 + kFirstSessionGap, 1); }), 0x052102u);
    EXPECT_EQ(SenseOf([&] { m.ReserveTrack(10); }), 0x052C00u);
    EXPECT_EQ(SenseOf([&] { m.CloseSession(false); }), 0x052C00u);
    EXPECT_EQ(SenseOf([&] { m.BlankDisc(BlankType::Minimal); }), 0x053005u) << "a CD-R cannot be erased";
}

TEST(MediumRules, WritesPastTheEndAreOutOfRange) {
    Medium m = Medium::Blank(MediaKind::CdR);
    EXPECT_EQ(SenseOf([&] { m.PlanWrite(0, m.capacity + 1); }), 0x052100u);
    Medium rw = Medium::Blank(MediaKind::DvdRam);
    EXPECT_EQ(SenseOf([&] { rw.PlanWrite(rw.capacity - 1, 2); }), 0x052100u);
    EXPECT_EQ(SenseOf([&] { rw.PlanWrite(rw.capacity - 1, 1); }), 0u);
}

TEST(MediumRules, ReservedTrackAsARecorderWritesDvdR) {
    // Reserve, fill, close the track, close the empty invisible track, close
    // the session: the order the recording engine uses on DVD-R.
    Medium m = Medium::Blank(MediaKind::DvdR);
    m.ReserveTrack(1024);
    EXPECT_EQ(m.tracks[0].reserved, 1024u);
    EXPECT_EQ(m.NextTrackStart(), 1024u);
    EXPECT_EQ(m.InvisibleTrackNumber(), 2u);
    WriteAt(m, 0, 992);
    EXPECT_EQ(SenseOf([&] { m.PlanWrite(992, 64); }), 0x052102u) << "beyond the reservation";
    WriteAt(m, 992, 32);
    m.CloseTrack(1);
    m.CloseTrack(2);
    m.CloseSession(false);
    EXPECT_EQ(m.closedSessions, 1u);
    EXPECT_FALSE(m.finalized);
    EXPECT_EQ(m.tracks.size(), 1u);
    EXPECT_EQ(SenseOf([&] { m.CloseTrack(5); }), 0x052400u);
}

TEST(MediumRules, ClosingAPartlyWrittenReservationPadsIt) {
    Medium m = Medium::Blank(MediaKind::DvdPlusR);
    m.ReserveTrack(100);
    WriteAt(m, 0, 10);
    m.CloseTrack(1);
    EXPECT_EQ(m.tracks[0].recorded, 100u);
    EXPECT_EQ(m.NextTrackStart(), 100u);
}

TEST(MediumRules, ReservingBehindAnIncompleteTrackIsASequenceError) {
    Medium m = Medium::Blank(MediaKind::DvdR);
    WriteAt(m, 0, 16);
    EXPECT_EQ(SenseOf([&] { m.ReserveTrack(16); }), 0x052C00u);
    EXPECT_EQ(SenseOf([&] { Medium::Blank(MediaKind::DvdR).ReserveTrack(0); }), 0x052400u);
}

TEST(MediumRules, UnformattedDvdPlusRwMustBeFormattedFirst) {
    Medium m = Medium::Blank(MediaKind::DvdPlusRw);
    EXPECT_FALSE(m.formatted);
    EXPECT_EQ(m.Status(), DiscStatus::Empty);
    EXPECT_EQ(SenseOf([&] { m.PlanWrite(0, 32); }), 0x053010u);
    EXPECT_EQ(SenseOf([&] { m.FormatDisc(0x00, 0); }), 0x052600u) << "wrong format type";
    EXPECT_TRUE(m.FormatDisc(0x26, 0xFFFFFFFF));
    EXPECT_EQ(m.FormattedBlocks(), 2295104u);
    EXPECT_EQ(m.Status(), DiscStatus::Complete);
    WriteAt(m, 120000, 32);
    WriteAt(m, 0, 32);
    WriteAt(m, 0, 32);
    EXPECT_EQ(m.RecordedEnd(), 120032u);
    EXPECT_TRUE(m.IsReadable(50000)) << "formatted blocks read as zeros";
}

TEST(MediumRules, DvdRwFormatsToRestrictedOverwriteAndBlanksBack) {
    Medium m = Medium::Blank(MediaKind::DvdRwSequential);
    WriteAt(m, 0, 64);
    m.CloseSession(false);
    EXPECT_EQ(SenseOf([&] { m.FormatDisc(0x13, 0); }), 0x052600u) << "grow needs restricted overwrite";
    EXPECT_TRUE(m.FormatDisc(0x15, 1000));
    EXPECT_EQ(m.kind, MediaKind::DvdRwRestricted);
    EXPECT_EQ(m.FormattedBlocks(), m.capacity);
    WriteAt(m, 3000, 16);
    EXPECT_FALSE(m.FormatDisc(0x13, 0)) << "a grow keeps the data";
    EXPECT_EQ(m.RecordedEnd(), 3016u);
    BlockRange erased = m.BlankDisc(BlankType::Full);
    EXPECT_EQ(erased.start, 0u);
    EXPECT_EQ(m.kind, MediaKind::DvdRwSequential);
    EXPECT_TRUE(m.tracks.empty());
}

TEST(MediumRules, BlankingTheLastSessionOrUnclosingIt) {
    Medium m = Medium::Blank(MediaKind::CdRw);
    WriteAt(m, 0, 300);
    m.CloseSession(false);
    WriteAt(m, m.NextTrackStart(), 300);
    m.CloseSession(true);
    EXPECT_EQ(m.SessionCount(), 2u);
    m.BlankDisc(BlankType::UncloseSession);
    EXPECT_FALSE(m.finalized);
    EXPECT_EQ(m.closedSessions, 1u);
    EXPECT_EQ(m.LastSessionState(), SessionState::Incomplete);
    m.CloseSession(false);
    BlockRange erased = m.BlankDisc(BlankType::LastSession);
    EXPECT_EQ(erased.start, 300u + kFirstSessionGap);
    EXPECT_EQ(erased.count, 300u);
    EXPECT_EQ(m.tracks.size(), 1u);
    EXPECT_EQ(m.closedSessions, 1u);
    EXPECT_EQ(m.NextTrackStart(), 300u + kFirstSessionGap);
}

TEST(MediumRules, PressedAndAppendableImages) {
    Medium rom = Medium::WithImage(MediaKind::DvdRom, 5000, false);
    EXPECT_EQ(rom.Status(), DiscStatus::Complete);
    EXPECT_EQ(SenseOf([&] { rom.PlanWrite(5000, 1); }), 0x053005u);
    Medium open = Medium::WithImage(MediaKind::CdR, 5000, true);
    EXPECT_EQ(open.Status(), DiscStatus::Incomplete);
    EXPECT_EQ(open.NextTrackStart(), 5000u + kFirstSessionGap);
    EXPECT_THROW(Medium::WithImage(MediaKind::CdR, 400000, true), std::runtime_error);
}

TEST(MediumRules, TextRoundTripKeepsEveryField) {
    Medium m = Medium::Blank(MediaKind::DvdR);
    m.ReserveTrack(64);
    WriteAt(m, 0, 10);
    m.CloseTrack(1);
    m.CloseSession(false);
    WriteAt(m, 64, 7);
    EXPECT_EQ(Medium::FromText(m.ToText()), m);
    EXPECT_THROW(Medium::FromText("medium=floppy\n"), std::runtime_error);
    EXPECT_THROW(Medium::FromText("medium=cd-r\ntrack=1,2\n"), std::runtime_error);
    EXPECT_THROW(Medium::FromText("capacity=x\n"), std::runtime_error);
}

}  // namespace vdrive::test
