// A CD-R whose first session holds two tracks: session 2 is found by its
// session number (its own first track, track 3), not read from track 2. The
// same disc has a gap between its sessions where nothing was written: the
// import leaves out a file whose data lies there, and a copy of it fails.
#include <gtest/gtest.h>

#include "DiscBuilder.h"
#include "ImportRig.h"
#include "burner/engine/SessionPlace.h"

namespace kestrel::test {
namespace {

class TwoTrackSession : public ::testing::Test {
protected:
    TImportRig rig;

    void SetUp() override {
        TDiscBuilder disc;
        disc.Descriptor(16, 1, 20);
        disc.Descriptor(17, 0xFF);
        disc.Directory(20, 20, {FileRec("ONE.TXT;1", 40, 4)});
        disc.Data(40, "one\n");
        disc.Descriptor(216, 1, 220);  // a volume in track 2, which is no session
        disc.Descriptor(217, 0xFF);
        disc.Directory(220, 220, {FileRec("WRONG.TXT;1", 40, 4)});
        disc.Descriptor(11816, 1, 11820);
        disc.Descriptor(11817, 0xFF);
        disc.Directory(11820, 11820, {FileRec("TWO.TXT;1", 11830, 4), FileRec("ONE.TXT;1", 40, 4),
                                      FileRec("GAP.BIN;1", 5000, 70000)});
        disc.Data(11830, "two\n");
        disc.Save(rig.work / "disc.iso");

        vdrive::Medium medium = vdrive::Medium::Blank(vdrive::MediaKind::CdR);
        medium.tracks = {{1, 0, 0, 200, true}, {1, 200, 0, 200, true}, {2, 11800, 0, 100, true}};
        medium.closedSessions = 2;
        medium.finalized = true;
        rig.Drive(TImportRig::kCdDrive).Insert(medium, rig.work / "disc.iso");
    }
};

TEST_F(TwoTrackSession, SessionTwoIsReadFromItsOwnFirstTrack) {
    ASSERT_TRUE(rig.Open(TImportRig::kCdDrive));
    const auto place = LocateSession(rig.burner, 2);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->FirstTrack, 3u);
    EXPECT_EQ(place->Start, 11800u);
    EXPECT_EQ(place->Blocks, 100u);
    const auto first = LocateSession(rig.burner, 1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Blocks, 400u);  // both tracks of session 1

    EXPECT_FALSE(rig.Import(TImportRig::kCdDrive, 2)) << "GAP.BIN is left out";
    EXPECT_TRUE(rig.Logged(">>> SKIPPING FILE IN BLOCKS THAT WERE NEVER WRITTEN (SECTORS 5000..5034): /GAP.BIN"))
        << rig.LogText();
    EXPECT_EQ(rig.Find("/GAP.BIN"), nullptr);
    EXPECT_NE(rig.Find("/TWO.TXT"), nullptr);
    EXPECT_EQ(rig.Find("/WRONG.TXT"), nullptr);
    ASSERT_TRUE(rig.Import(TImportRig::kCdDrive, 1));
    EXPECT_NE(rig.Find("/ONE.TXT"), nullptr);
    EXPECT_EQ(rig.Find("/TWO.TXT"), nullptr);
}

TEST_F(TwoTrackSession, ASessionPastTheLastTakesTheLastAndSaysSo) {
    EXPECT_FALSE(rig.Import(TImportRig::kCdDrive, 5)) << "GAP.BIN is left out";
    EXPECT_TRUE(rig.Logged(">>> SESSION # 5 IS NOT ON THE DISC (IT HAS 2), IMPORTING THE LAST ONE")) << rig.LogText();
    EXPECT_NE(rig.Find("/TWO.TXT"), nullptr);
}

TEST_F(TwoTrackSession, AReadFailingDuringACopyEndsItAndLeavesNoFile) {
    rig.Import(TImportRig::kCdDrive, 2);
    // The entry the import leaves out, made by hand.
    TSearchData gap;
    gap.Name = "GAP.BIN";
    gap.Size = 70000;
    ASSERT_EQ(rig.burner.AddFileEntry(rig.burner.RootDir, gap, "", 5000, false), 1);
    const std::string out = rig.work / "out";
    std::filesystem::create_directories(out);
    EXPECT_TRUE(rig.burner.ExtractFile(rig.Find("/ONE.TXT"), out + "/one.txt"));
    EXPECT_EQ(ReadFile(out + "/one.txt"), "one\n");
    EXPECT_FALSE(rig.burner.ExtractFile(rig.Find("/GAP.BIN"), out + "/gap.bin"));
    EXPECT_TRUE(rig.Logged(">>> ERROR EXTRACTING FILE GAP.BIN: READ ERROR IN SECTORS 5000..5030")) << rig.LogText();
    EXPECT_EQ(FilesBelow(out), std::vector<std::string>{"one.txt"});
}

}  // namespace
}  // namespace kestrel::test
