// What a drive reports about its disc after each step of a recording:
// disc information, track information, table of contents and capacities.
#include "DriveHarness.h"

namespace vdrive::test {

TEST_F(DriveTest, CdRDiscInformationFollowsEachStep) {
    auto blank = DiscInfo(1);
    EXPECT_GOOD(blank);
    EXPECT_EQ(blank.U16(0), 32u);
    EXPECT_EQ(blank.data[2], 0x00) << "empty disc, empty session, not erasable";
    EXPECT_EQ(blank.data[4], 1);  // one (empty) session
    EXPECT_EQ(blank.data[5], 1);
    EXPECT_EQ(blank.data[6], 1);
    EXPECT_EQ(blank.U32(20), 0x004F3B48u) << "last possible lead-out 79:59:72";

    EXPECT_GOOD(Write10(0, 27, 1, 1));
    auto writing = DiscInfo(1);
    EXPECT_EQ(writing.data[2], 0x05) << "incomplete disc, incomplete session";

    EXPECT_GOOD(SetWritePage(1, 3, false, 1));
    EXPECT_GOOD(CloseSession(1));
    auto appendable = DiscInfo(1);
    EXPECT_EQ(appendable.data[2], 0x01) << "appendable disc, empty next session";
    EXPECT_EQ(appendable.data[4], 2);
    EXPECT_EQ(appendable.data[5], 2);
    EXPECT_EQ(appendable.data[6], 2);

    EXPECT_GOOD(Write10(27 + kFirstSessionGap, 27, 2, 1));
    EXPECT_GOOD(SetWritePage(1, 0, false, 1));
    EXPECT_GOOD(CloseSession(1));
    auto closed = DiscInfo(1);
    EXPECT_EQ(closed.data[2], 0x0E) << "complete disc, complete session";
    EXPECT_EQ(closed.data[4], 2);
    EXPECT_EQ(closed.U32(16), 0xFFFFFFFFu);
    EXPECT_SENSE(Write10(54 + kFirstSessionGap + kLaterSessionGap, 1, 3, 1), 5, 0x21, 0x02);
}

TEST_F(DriveTest, TrackInformationOfWrittenAndInvisibleTracks) {
    Insert(MediaKind::DvdR);
    auto invisible = TrackInfo(1);
    EXPECT_GOOD(invisible);
    EXPECT_EQ(invisible.data[6] & 0x40, 0x40) << "blank";
    EXPECT_EQ(invisible.data[7] & 0x01, 0x01) << "next writable address valid";
    EXPECT_EQ(invisible.U32(12), 0u);
    EXPECT_EQ(invisible.U32(16), 2295104u);

    EXPECT_GOOD(None({0x53, 0, 0, 0, 0, 0, 0, 0x04, 0x00, 0}));  // reserve 1,024 blocks
    EXPECT_GOOD(Write10(0, 32));
    auto reserved = TrackInfo(1);
    EXPECT_EQ(reserved.data[6] & 0x80, 0x80) << "reserved track";
    EXPECT_EQ(reserved.U32(12), 32u);
    EXPECT_EQ(reserved.U32(16), 992u);
    EXPECT_EQ(reserved.U32(24), 1024u);
    EXPECT_EQ(reserved.U32(28), 31u);
    auto next = TrackInfo(2);
    EXPECT_EQ(next.U32(8), 1024u);
    auto byFf = TrackInfo(0xFF);
    EXPECT_EQ(byFf.data[2], 2) << "FFh names the invisible track";
    auto byLba = In({0x52, 0, 0, 0, 0x01, 0x00, 0, 0, 48, 0}, 48);
    EXPECT_EQ(byLba.data[2], 1) << "LBA 256 lies in track 1";

    EXPECT_SENSE(TrackInfo(0), 5, 0x24, 0);
    EXPECT_SENSE(TrackInfo(3), 5, 0x24, 0);
}

TEST_F(DriveTest, TableOfContentsOfAMultisessionCd) {
    EXPECT_SENSE(In({0x43, 0, 0, 0, 0, 0, 0, 0, 100, 0}, 100, 1), 5, 0x24, 0);  // a blank disc has no TOC
    EXPECT_GOOD(SetWritePage(1, 3, false, 1));
    EXPECT_GOOD(Write10(0, 300, 1, 1));
    EXPECT_GOOD(CloseSession(1));
    const uint32_t second = 300 + kFirstSessionGap;
    EXPECT_GOOD(Write10(second, 300, 2, 1));
    EXPECT_GOOD(CloseSession(1));

    auto toc = In({0x43, 0, 0, 0, 0, 0, 0, 0, 100, 0}, 100, 1);
    EXPECT_GOOD(toc);
    ASSERT_EQ(toc.data.size(), 4u + 3 * 8);
    EXPECT_EQ(toc.U16(0), 26u);
    EXPECT_EQ(toc.data[2], 1);
    EXPECT_EQ(toc.data[3], 2);
    EXPECT_EQ(toc.data[5], 0x14);
    EXPECT_EQ(toc.U32(8), 0u);
    EXPECT_EQ(toc.U32(16), second);
    EXPECT_EQ(toc.data[22], 0xAA);
    EXPECT_EQ(toc.U32(24), second + 300);

    auto msf = In({0x43, 0x02, 0, 0, 0, 0, 0, 0, 12, 0}, 12, 1);
    EXPECT_EQ(msf.data.size(), 12u) << "cut to the allocation length";
    EXPECT_EQ(msf.U32(8), 0x00000200u) << "LBA 0 is 00:02:00";

    auto sessions = In({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, 12, 1);
    EXPECT_EQ(sessions.data[3], 2);
    EXPECT_EQ(sessions.data[6], 2);
    EXPECT_EQ(sessions.U32(8), second);

    auto full = In({0x43, 0x02, 2, 0, 0, 0, 0, 0x02, 0x00, 0}, 512, 1);
    EXPECT_GOOD(full);
    bool sawB0 = false;
    for (size_t at = 4; at + 11 <= full.data.size(); at += 11) {
        if (full.data[at] == 1 && full.data[at + 3] == 0xB0) {
            sawB0 = true;
            uint32_t next = full.data[at + 4] * 4500u + full.data[at + 5] * 75u + full.data[at + 6] - 150;
            EXPECT_EQ(next, second) << "B0 of session 1 points at session 2";
        }
    }
    EXPECT_TRUE(sawB0);

    auto atip = In({0x43, 0x02, 4, 0, 0, 0, 0, 0, 26, 0}, 26, 1);
    EXPECT_GOOD(atip);
    EXPECT_EQ(atip.data[6] & 0xC0, 0x80) << "CD-R, not CD-RW";
    Insert(MediaKind::DvdPlusR);
    EXPECT_SENSE(In({0x43, 0x02, 4, 0, 0, 0, 0, 0, 26, 0}, 26), 5, 0x24, 0);  // no ATIP on DVD
}

// A session a failed write left open: the disc information tells the open
// session and its lead-in, the tracks tell what was written, and only closed
// sessions appear in the session information and the full TOC, which come
// from the lead-ins written on closing.
TEST_F(DriveTest, UnfinishedCdSessionIsReportedOpenUntilItIsClosed) {
    EXPECT_GOOD(SetWritePage(1, 3, false, 1));
    EXPECT_GOOD(Write10(0, 54, 1, 1));
    auto open = DiscInfo(1);
    EXPECT_EQ(open.data[2], 0x05) << "incomplete disc, incomplete session";
    EXPECT_EQ(open.data[4], 1);
    EXPECT_EQ(open.data[6], 1) << "the incomplete track is the last track";
    EXPECT_EQ(open.U32(16), 0x00611A42u) << "the first session's lead-in starts at the ATIP's 97:26:66";
    auto track = TrackInfo(1, 1);
    EXPECT_EQ(track.data[6] & 0xC0, 0x00) << "neither blank nor reserved";
    EXPECT_EQ(track.data[7] & 0x03, 0x03) << "next writable and last recorded addresses valid";
    EXPECT_EQ(track.U32(12), 54u);
    EXPECT_EQ(track.U32(28), 53u);
    EXPECT_SENSE(In({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, 12, 1), 5, 0x24, 0);  // no session is complete yet
    EXPECT_SENSE(In({0x43, 0x02, 2, 0, 0, 0, 0, 0x02, 0x00, 0}, 512, 1), 5, 0x24, 0);

    EXPECT_GOOD(CloseTrack(1, 1));
    EXPECT_GOOD(CloseSession(1));
    const uint32_t second = 54 + kFirstSessionGap;
    EXPECT_GOOD(Write10(second, 27, 2, 1));
    auto later = DiscInfo(1);
    EXPECT_EQ(later.data[2], 0x05);
    EXPECT_EQ(later.data[4], 2);
    const uint32_t leadIn = second - 4650 + 150;  // MSF counts from -150
    EXPECT_EQ(later.U32(16), uint32_t(leadIn / 4500) << 16 | uint32_t(leadIn / 75 % 60) << 8 | uint32_t(leadIn % 75));
    auto sessions = In({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}, 12, 1);
    EXPECT_GOOD(sessions);
    EXPECT_EQ(sessions.data[3], 1) << "the last complete session";
    EXPECT_EQ(sessions.U32(8), 0u);
}

TEST_F(DriveTest, CapacitiesOfOverwritableMedia) {
    auto unformatted = In({0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, 248);
    EXPECT_GOOD(unformatted);
    EXPECT_EQ(unformatted.data[3], 16u);
    EXPECT_EQ(unformatted.U32(4), 2295104u);
    EXPECT_EQ(unformatted.data[8], 0x01) << "unformatted medium";
    EXPECT_EQ(unformatted.U32(12), 2295104u);
    EXPECT_EQ(unformatted.U32(16), 0x98000000u) << "format type 26h";
    EXPECT_EQ(DiscInfo().data[7] & 0x03, 0) << "no background format yet";

    std::vector<uint8_t> list = {0, 0x82, 0, 8, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 0};
    EXPECT_GOOD(Out({0x04, 0x11, 0, 0, 0, 0}, list));
    auto cap = In({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
    EXPECT_EQ(cap.U32(0), 2295103u);
    auto formatted = In({0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, 248);
    EXPECT_EQ(formatted.data[8], 0x02);
    EXPECT_EQ(DiscInfo().data[2] & 0x03, 2) << "a formatted DVD+RW reports a complete disc";

    Insert(MediaKind::DvdRam);
    auto ram = In({0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, 248);
    EXPECT_EQ(ram.U32(4), 2236704u);
    EXPECT_EQ(ram.U32(16), 0x00000800u) << "format type 00h, 2,048-byte blocks";
}

TEST_F(DriveTest, DvdStructureDescribesTheMedium) {
    Insert(MediaKind::DvdPlusRDl);
    auto phys = In({0xAD, 0, 0, 0, 0, 0, 0, 0x00, 0x08, 0x04, 0, 0}, 2052);
    EXPECT_GOOD(phys);
    EXPECT_EQ(phys.data[4] >> 4, 0xE);
    EXPECT_EQ(phys.data[6] & 0x60, 0x20) << "two layers";
    auto boundary = In({0xAD, 0, 0, 0, 0, 0, 0, 0x20, 0, 12, 0, 0}, 12);
    EXPECT_EQ(boundary.U32(8), 4173824u / 2);
    Insert(MediaKind::CdR);
    EXPECT_SENSE(In({0xAD, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x04, 0, 0}, 2052), 5, 0x30, 0x02);
}

}  // namespace vdrive::test
