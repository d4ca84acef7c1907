// Hand-made Rock Ridge discs and files of several extents, sound and
// broken: continuation areas in loops or outside the session, names and
// link targets that never end, moved directories that lead nowhere or in a
// circle, extent chains with gaps or overlaps. Sound ones are read as their
// writer meant; broken ones are left out with a line saying why, and the
// import reports itself incomplete. None may crash or hang.
#include <gtest/gtest.h>

#include "DiscBuilder.h"
#include "ImportRig.h"
#include "SuspBuilder.h"
#include "burner/engine/Extract.h"
#include "burner/iso/DirRecordLayout.h"

namespace kestrel::test {
namespace {

using namespace kestrel::test::susp;
namespace sl = kestrel::iso::susp::sl;

constexpr uint8_t kMultiExtent = iso::record::FlagMultiExtent;

// A primary volume whose root (sector 20) announces Rock Ridge.
TDiscBuilder RockRidgeDisc(const std::vector<TRec>& Root, uint32_t RootLength = 2048) {
    TDiscBuilder disc;
    disc.Descriptor(16, 1, 20, RootLength);
    disc.Descriptor(17, 0xFF);
    disc.Directory(20, 20, Root, RootLength, RootSelf());
    return disc;
}

TRec WithFields(TRec Rec, const std::string& SystemUse) {
    Rec.SystemUse = SystemUse;
    return Rec;
}

TRec Piece(const std::string& Name, uint32_t Extent, uint32_t Length, bool More) {
    TRec r = FileRec(Name, Extent, Length);
    if (More) r.Flags |= kMultiExtent;
    return r;
}

class HandMadeDisc : public ::testing::Test {
protected:
    TImportRig rig;

    bool Import(const TDiscBuilder& Disc) {
        Disc.Save(rig.work / "disc.iso");
        rig.Insert(TImportRig::kCdDrive, vdrive::MediaKind::CdRom, rig.work / "disc.iso");
        return rig.Import(TImportRig::kCdDrive, 1);
    }
    void ExpectIncomplete() { EXPECT_TRUE(rig.Logged(">>> ERROR IMPORTING SESSION # 1 (INCOMPLETE")) << rig.LogText(); }
    // Every skipped record names its path and why.
    void ExpectSkipped(const std::string& Path, const std::string& Why) {
        EXPECT_TRUE(rig.Logged(Why)) << Path << "\n" << rig.LogText();
        EXPECT_TRUE(rig.Logged(Path)) << Why << "\n" << rig.LogText();
    }
};

TEST_F(HandMadeDisc, NamesModesDatesAndLinksComeFromTheFieldsEvenThroughContinuationAreas) {
    // The name of "B.TXT;1" is long enough to need a continuation area.
    const std::string longName(180, 'n');
    TDiscBuilder disc = RockRidgeDisc({
        WithFields(FileRec("A.TXT;1", 40, 5), PX(S_IFREG | 0640) + NM("script.sh") + TFModified(110, 3, 4)),
        WithFields(FileRec("B.TXT;1", 41, 4), PX(S_IFREG | 0600) + CE(30, 100, 200)),
        WithFields(FileRec("C.TXT;1", 0, 0), NM("to-a") + LinkTo("sub/../script.sh")),
        WithFields(FileRec("D.TXT;1", 0, 0), NM("up") + LinkTo("../elsewhere")),
    });
    disc.Sector(30);  // the continuation area: the rest of B's name in two pieces
    const std::string area = NM(longName.substr(0, 100), iso::susp::nm::FlagContinue) + NM(longName.substr(100));
    std::memcpy(disc.Sector(30) + 100, area.data(), area.size());
    disc.Data(40, "hello");
    disc.Data(41, "long");
    ASSERT_TRUE(Import(disc)) << rig.LogText();
    EXPECT_TRUE(rig.Logged(">>> ROCK RIDGE: NAMES AND ATTRIBUTES FROM THE PRIMARY TREE"));

    const TFEntry* script = rig.Find("/script.sh");
    ASSERT_NE(script, nullptr) << rig.LogText();
    EXPECT_EQ(script->Mode & 07777, 0640u);
    const TFEntry* named = rig.Find("/" + longName);
    ASSERT_NE(named, nullptr) << rig.LogText();
    EXPECT_EQ(named->ISOSize, 4);
    const TFEntry* link = rig.Find("/to-a");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->LinkTarget, "sub/../script.sh");
    EXPECT_EQ(link->ISOSize, 0);
    EXPECT_EQ(rig.Find("/A.TXT"), nullptr) << "the ISO 9660 name is not the name of a Rock Ridge disc";

    // Extraction: mode and date restored; links made only where they stay
    // inside the folder, read without following anything.
    const std::string out = rig.work / "out";
    std::filesystem::create_directories(out);
    const TExtractCount count = ExtractDirectory(rig.burner, *rig.burner.RootDir, out, true, false);
    EXPECT_EQ(count.Files, 2);
    EXPECT_EQ(count.Failed, 2) << rig.LogText();
    struct stat st {};
    ASSERT_EQ(::stat((out + "/script.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ModificationTime(out + "/script.sh"), 1267704000);  // 2010-03-04 12:00:00 UTC
    EXPECT_EQ(ReadFile(out + "/" + longName), "long");
    // "sub/../script.sh" climbs after a name, which may itself be a link.
    EXPECT_TRUE(rig.Logged("ITS LINK TARGET sub/../script.sh LEADS OUT OF THE FOLDER")) << rig.LogText();
    EXPECT_TRUE(rig.Logged("ITS LINK TARGET ../elsewhere LEADS OUT OF THE FOLDER"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(out + "/up")));
}

TEST_F(HandMadeDisc, ContinuationAreasInALoopOutsideTheSessionOrPastTheirSectorAreRefused) {
    TDiscBuilder disc = RockRidgeDisc({
        WithFields(FileRec("LOOP.TXT;1", 40, 1), NM("loop.txt") + CE(30, 0, 28)),
        WithFields(FileRec("FAR.TXT;1", 40, 1), NM("far.txt") + CE(900000, 0, 100)),
        WithFields(FileRec("PAST.TXT;1", 40, 1), NM("past.txt") + CE(31, 2000, 100)),
        WithFields(FileRec("OK.TXT;1", 40, 1), NM("ok.txt")),
    });
    const std::string back = CE(30, 0, 28);  // the area names itself
    std::memcpy(disc.Sector(30), back.data(), back.size());
    disc.Sector(31);
    disc.Data(40, "x");
    EXPECT_FALSE(Import(disc));
    EXPECT_NE(rig.Find("/ok.txt"), nullptr);
    ExpectSkipped("/LOOP.TXT", "CONTINUATION AREAS IN A LOOP (SECTOR 30)");
    ExpectSkipped("/FAR.TXT", "CONTINUATION AREA OUTSIDE THE SESSION (SECTOR 900000)");
    ExpectSkipped("/PAST.TXT", "CONTINUATION AREA RUNNING PAST ITS SECTOR");
    ExpectIncomplete();
}

TEST_F(HandMadeDisc, NamesAndLinkTargetsThatNeverEndOrBreakTheirEntryAreRefused) {
    // The continuation areas hold name or link pieces that all say "more
    // follows": the text grows past any limit, or its end never comes.
    std::string shortSl = SL({{0, "abc"}}).substr(0, 7);  // its component says 3 bytes, the entry holds 0
    shortSl[iso::susp::LengthAt] = char(shortSl.size());
    TDiscBuilder disc = RockRidgeDisc({
        WithFields(FileRec("NAME.TXT;1", 40, 1), CE(30, 0, 2048)),
        WithFields(FileRec("LINK.TXT;1", 0, 0), PX(S_IFLNK | 0777) + CE(31, 0, 2048)),
        WithFields(FileRec("BROKEN.TXT;1", 0, 0), NM("broken") + PX(S_IFLNK | 0777) + shortSl),
        WithFields(FileRec("SPECIAL.TXT;1", 0, 0), NM("fifo") + PX(S_IFIFO | 0644)),
        WithFields(FileRec("OPEN.TXT;1", 40, 1), NM("open", iso::susp::nm::FlagContinue)),
        WithFields(FileRec("OK.TXT;1", 40, 1), NM("ok.txt")),
    });
    std::string names;
    while (names.size() + 250 < 2048) names += NM(std::string(240, 'x'), iso::susp::nm::FlagContinue);
    std::memcpy(disc.Sector(30), names.data(), names.size());
    for (uint32_t lba = 31; lba < 34; ++lba) {  // three areas, each naming the next
        std::string links = CE(lba + 1, 0, 2048);
        while (links.size() + 250 < 2048) links += SL({{sl::ComponentContinue, std::string(240, 'y')}}, sl::FlagContinue);
        std::memcpy(disc.Sector(lba), links.data(), links.size());
    }
    disc.Data(40, "x");
    EXPECT_FALSE(Import(disc));
    EXPECT_NE(rig.Find("/ok.txt"), nullptr);
    ExpectSkipped("/NAME.TXT", "ROCK RIDGE NAME LONGER THAN 255 BYTES");
    ExpectSkipped("/LINK.TXT", "SYMBOLIC LINK TARGET LONGER THAN 4095 BYTES");
    ExpectSkipped("/BROKEN.TXT", "SYMBOLIC LINK COMPONENT RUNNING PAST ITS ENTRY");
    ExpectSkipped("/OPEN.TXT", "ROCK RIDGE NAME WHOSE LAST PIECE NEVER COMES");
    ExpectSkipped("/fifo", "SPECIAL FILE (DEVICE, PIPE OR SOCKET)");
    ExpectIncomplete();
}

TEST_F(HandMadeDisc, DirectoriesMovedForTheirDepthAreReadWhereTheirLinkStands) {
    // /deep (a CL placeholder) stands for the directory at sector 22, which
    // lives in /RR_MOVED with RE. RR_MOVED itself is no part of the tree.
    TDiscBuilder disc = RockRidgeDisc({
        WithFields(FileRec("DEEP;1", 0, 0), NM("deep") + PX(S_IFDIR | 0750) + CL(22)),
        WithFields(DirRec("RR_MOVED", 21), NM("rr_moved")),
    });
    disc.Directory(21, 20, {WithFields(DirRec("DEEP", 22), NM("deep") + RE())});
    disc.Directory(22, 21, {WithFields(FileRec("IN.TXT;1", 40, 2), NM("in.txt"))});
    disc.Data(40, "in");
    ASSERT_TRUE(Import(disc)) << rig.LogText();
    const TFEntry* deep = rig.Find("/deep");
    ASSERT_NE(deep, nullptr);
    ASSERT_NE(deep->Dir, nullptr);
    EXPECT_NE(rig.Find("/deep/in.txt"), nullptr);
    EXPECT_EQ(rig.Find("/rr_moved"), nullptr);
    EXPECT_TRUE(rig.Logged("/rr_moved HELD ONLY DIRECTORIES MOVED FOR THEIR DEPTH"));
}

TEST_F(HandMadeDisc, MovedDirectoriesInACycleNowhereOrWithoutALinkAreReported) {
    TDiscBuilder disc = RockRidgeDisc({
        WithFields(FileRec("UP;1", 0, 0), NM("up") + CL(20)),         // the root itself: a cycle
        WithFields(FileRec("VOID;1", 0, 0), NM("void") + CL(40)),     // a file's data, no directory
        WithFields(FileRec("GONE;1", 0, 0), NM("gone") + CL(800000)),  // past the disc
        WithFields(DirRec("RR_MOVED", 21), NM("rr_moved")),
    });
    disc.Directory(21, 20, {WithFields(DirRec("LOST", 23), NM("lost") + RE())});  // no CL leads here
    disc.Directory(23, 21, {});
    disc.Data(40, "not a directory");
    EXPECT_FALSE(Import(disc));
    ExpectSkipped("/up", "WERE READ BEFORE (A CYCLE)");
    ExpectSkipped("/void", "MOVED DIRECTORY WHOSE SECTOR 40 HOLDS NO DIRECTORY");
    ExpectSkipped("/gone", "MOVED DIRECTORY OUTSIDE THE DISC (SECTOR 800000)");
    ExpectSkipped("/rr_moved/lost", "DIRECTORY MOVED FOR ITS DEPTH THAT NO RECORD LEADS BACK TO (SECTOR 23)");
    ExpectIncomplete();
}

TEST_F(HandMadeDisc, ExtentChainsWithGapsOverlapsOrNoEndAreLeftOut) {
    TDiscBuilder disc = TDiscBuilder::Primary({
        Piece("GAP.BIN;1", 40, 100, true),  // an extent before the last must fill its sectors
        Piece("GAP.BIN;1", 41, 10, false),
        Piece("OVER.BIN;1", 42, 4096, true),
        Piece("OVER.BIN;1", 43, 10, false),  // inside the first extent
        Piece("OK.BIN;1", 45, 2048, true),
        Piece("OK.BIN;1", 46, 3, false),
        Piece("OPEN.BIN;1", 47, 2048, true),  // the directory ends before its last extent
    });
    disc.Data(45, std::string(2048, 'a') + "bcd");
    disc.Sector(50);
    EXPECT_FALSE(Import(disc));
    const TFEntry* ok = rig.Find("/OK.BIN");
    ASSERT_NE(ok, nullptr) << rig.LogText();
    EXPECT_EQ(ok->ISOSize, 2051);
    ExpectSkipped("/GAP.BIN", "FILE OF SEVERAL EXTENTS WITH A GAP");
    ExpectSkipped("/OVER.BIN", "FILE OF SEVERAL EXTENTS THAT OVERLAP (SECTOR 43)");
    ExpectSkipped("/OPEN.BIN", "FILE OF SEVERAL EXTENTS WHOSE LAST EXTENT IS MISSING");
    ExpectIncomplete();
}

TEST_F(HandMadeDisc, AFileOfSeveralExtentsIsJoinedExtractedWholeAndWrittenAgainAsItsExtents) {
    // Three extents out of disc order; the middle one all zeros.
    const std::vector<TFileExtent> extents = {{44, 2048}, {40, 4096}, {47, 5}};
    TDiscBuilder disc = TDiscBuilder::Primary({
        Piece("PARTS.BIN;1", 44, 2048, true),
        Piece("PARTS.BIN;1", 40, 4096, true),
        Piece("PARTS.BIN;1", 47, 5, false),
        FileRec("AFTER.TXT;1", 48, 5),
    });
    const std::string whole = std::string(2048, 'a') + std::string(4096, '\0') + "tail!";
    disc.Data(44, std::string(2048, 'a'));
    disc.Data(47, "tail!");
    disc.Data(48, "after");
    disc.PeerReadable(16);
    const std::string image = rig.work / "disc.iso";
    disc.Save(image);
    rig.Insert(TImportRig::kCdDrive, vdrive::MediaKind::CdR, image, true);
    ASSERT_TRUE(rig.Import(TImportRig::kCdDrive, 1)) << rig.LogText();
    const TFEntry* parts = rig.Find("/PARTS.BIN");
    ASSERT_NE(parts, nullptr) << rig.LogText();
    EXPECT_EQ(parts->ISOSize, int64_t(whole.size()));
    EXPECT_EQ(parts->ISOExtent, 44);
    EXPECT_EQ(parts->Extents, extents);
    EXPECT_NE(rig.Find("/AFTER.TXT"), nullptr);

    const std::string out = rig.work / "out";
    std::filesystem::create_directories(out);
    EXPECT_TRUE(ExtractInto(rig.burner, *parts, out, false)) << rig.LogText();
    EXPECT_EQ(ReadFile(out + "/PARTS.BIN"), whole);
    if (HaveProgram("xorriso")) {
        const TRun peer = Shell("xorriso -osirrox on -indev " + image + " -extract /PARTS.BIN " + out + "/peer.bin 2>&1");
        ASSERT_EQ(peer.ExitCode, 0) << peer.Output;
        EXPECT_EQ(ReadFile(out + "/peer.bin"), whole) << "xorriso reads the extents otherwise";
    }

    // A second session carries the file on in the same extents.
    WriteFile(rig.work / "src2/new.txt", "new\n");
    const TRun burn = Shell("KESTREL_TIME_SCALE=0.01 " + std::string(KESTREL_CLI_PATH) +
                            " burn --drive 1 --import-session last " + rig.work / "src2/" + " 2>&1");
    ASSERT_EQ(burn.ExitCode, 0) << burn.Output;
    ASSERT_TRUE(rig.Import(TImportRig::kCdDrive, 2)) << rig.LogText();
    const TFEntry* carried = rig.Find("/PARTS.BIN");
    ASSERT_NE(carried, nullptr);
    EXPECT_EQ(carried->Extents, extents);
    EXPECT_NE(rig.Find("/src2/new.txt"), nullptr);
    const std::string again = rig.work / "again";
    std::filesystem::create_directories(again);
    EXPECT_TRUE(ExtractInto(rig.burner, *carried, again, false)) << rig.LogText();
    EXPECT_EQ(ReadFile(again + "/PARTS.BIN"), whole);
}

TEST(LinkTargets, LeaveTheFolderWhenTheyClimbAboveItOrClimbAfterAName) {
    // Depth: how many folders the link lies below the folder extracted into.
    EXPECT_FALSE(LinkLeavesFolder("file", 0));
    EXPECT_FALSE(LinkLeavesFolder("./sub/file", 0));
    EXPECT_FALSE(LinkLeavesFolder("../file", 1));
    EXPECT_FALSE(LinkLeavesFolder("../../sub/file", 2));
    EXPECT_TRUE(LinkLeavesFolder("../file", 0));
    EXPECT_TRUE(LinkLeavesFolder("../../file", 1));
    EXPECT_TRUE(LinkLeavesFolder("/etc/passwd", 5));
    EXPECT_TRUE(LinkLeavesFolder("sub/../../file", 3));
    EXPECT_TRUE(LinkLeavesFolder("", 0));
}

}  // namespace
}  // namespace kestrel::test
