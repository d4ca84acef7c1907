// Hand-made discs that break the rules: records running past their sector,
// the directory or the disc, tiny records, cycles, absurd depth, more
// entries than the compilation holds, names that are no safe file names,
// and unusable root records. None may crash or hang; what is left out is
// logged and the import reports itself incomplete.
#include <gtest/gtest.h>

#include "DiscBuilder.h"
#include "ImportRig.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/SessionImport.h"

namespace kestrel::test {
namespace {

class HostileDisc : public ::testing::Test {
protected:
    TImportRig rig;

    bool Import(const TDiscBuilder& Disc, int MaxFiles = 65535, int MaxDirs = 8191) {
        Disc.Save(rig.work / "hostile.iso");
        rig.Insert(TImportRig::kCdDrive, vdrive::MediaKind::CdRom, rig.work / "hostile.iso");
        return rig.Import(TImportRig::kCdDrive, 1, MaxFiles, MaxDirs);
    }
    void ExpectIncomplete() {
        EXPECT_TRUE(rig.Logged(">>> ERROR IMPORTING SESSION # 1 (INCOMPLETE")) << rig.LogText();
        EXPECT_EQ(rig.LoggedType(">>> ERROR IMPORTING SESSION # 1 (INCOMPLETE"), mtInternal);
    }
};

TEST_F(HostileDisc, RecordsRunningPastTheirSectorOrTooShortEndOnlyThatSector) {
    TDiscBuilder disc = TDiscBuilder::Primary({}, 3 * 2048);
    // Sector 20: good files up to near its end, then a record of 100 bytes
    // that would run past it.
    size_t offset = disc.Record(20, 68, FileRec("GOOD1.TXT;1", 40, 5));
    for (int i = 0; offset < 1950; ++i) offset = disc.Record(20, offset, FileRec("F" + std::to_string(i) + ".TXT;1", 40, 5));
    disc.Sector(20)[offset] = 100;
    // Sector 21: a record of 10 bytes, then nothing readable in that sector.
    TRec tiny = FileRec("TINY.TXT;1", 40, 5);
    tiny.RecordLength = 10;
    disc.Record(21, 0, tiny);
    // Sector 22: a record whose name runs past it, then a good file.
    TRec liar = FileRec("LIAR.TXT;1", 40, 5);
    liar.NameLength = 60;
    const size_t next = disc.Record(22, 0, liar);
    disc.Record(22, next, FileRec("GOOD2.TXT;1", 40, 5));
    disc.Data(40, "hello");

    EXPECT_FALSE(Import(disc));
    EXPECT_NE(rig.Find("/GOOD1.TXT"), nullptr);
    EXPECT_NE(rig.Find("/GOOD2.TXT"), nullptr);
    for (const char* name : {"/PAST.TXT", "/TINY.TXT", "/LIAR.TXT"}) EXPECT_EQ(rig.Find(name), nullptr) << name;
    EXPECT_TRUE(rig.Logged("RUNNING PAST ITS SECTOR"));
    EXPECT_TRUE(rig.Logged("SHORTER THAN 34 BYTES"));
    EXPECT_TRUE(rig.Logged("NAME RUNS PAST IT"));
    ExpectIncomplete();
}

TEST_F(HostileDisc, AZeroLengthRecordEndsItsSectorAndTheNextSectorIsStillRead) {
    TDiscBuilder disc = TDiscBuilder::Primary({FileRec("A.TXT;1", 40, 1)}, 2 * 2048);
    disc.Sector(20)[200] = 0x55;  // garbage after the padding's zero length byte
    disc.Record(21, 0, FileRec("B.TXT;1", 41, 1));
    EXPECT_TRUE(Import(disc)) << rig.LogText();
    EXPECT_NE(rig.Find("/A.TXT"), nullptr);
    EXPECT_NE(rig.Find("/B.TXT"), nullptr);
}

TEST_F(HostileDisc, ExtentsAndLengthsBeyondTheDiscAreLeftOut) {
    TDiscBuilder disc = TDiscBuilder::Primary({
        FileRec("OK.TXT;1", 40, 3),
        FileRec("FAR.TXT;1", 5000, 3),          // past the disc's 64 sectors
        FileRec("LONG.TXT;1", 40, 0xFFFFFFFF),  // data running past the end
        FileRec("WRAP.TXT;1", 0xFFFFFFF0, 0x40000),
        DirRec("FARDIR", 90000),
        DirRec("HUGEDIR", 30, 0xFFFFFFFF),
    });
    disc.Data(40, "abc");
    EXPECT_FALSE(Import(disc));
    EXPECT_NE(rig.Find("/OK.TXT"), nullptr);
    for (const char* name : {"/FAR.TXT", "/LONG.TXT", "/WRAP.TXT", "/FARDIR", "/HUGEDIR"})
        EXPECT_EQ(rig.Find(name), nullptr) << name;
    EXPECT_TRUE(rig.Logged("FILE RUNNING PAST THE END OF THE DISC (SECTOR 5000): /FAR.TXT"));
    EXPECT_TRUE(rig.Logged("DIRECTORY RUNNING PAST THE END OF THE DISC"));
    EXPECT_TRUE(rig.Logged("(MORE THAN 64 MB): /HUGEDIR"));
    ExpectIncomplete();
}

TEST_F(HostileDisc, DirectoriesPointingAtThemselvesOrAnAncestorAreReadOnce) {
    TDiscBuilder disc = TDiscBuilder::Primary({DirRec("SUB", 22), FileRec("ROOT.TXT;1", 40, 1)});
    disc.Directory(22, 20, {DirRec("BACK", 20), DirRec("SELF", 22), FileRec("IN.TXT;1", 40, 1)});
    EXPECT_FALSE(Import(disc));
    EXPECT_NE(rig.Find("/SUB/IN.TXT"), nullptr);
    EXPECT_NE(rig.Find("/ROOT.TXT"), nullptr);
    EXPECT_EQ(rig.Find("/SUB/BACK"), nullptr);
    EXPECT_EQ(rig.Find("/SUB/SELF"), nullptr);
    EXPECT_EQ(rig.burner.DirsCount(), 1);
    EXPECT_TRUE(rig.Logged("WERE READ BEFORE (A CYCLE): /SUB/BACK/"));
    ExpectIncomplete();
}

TEST_F(HostileDisc, AbsurdDepthIsCutAtTheLevelLimit) {
    TDiscBuilder disc = TDiscBuilder::Primary({DirRec("D", 30)});
    constexpr uint32_t levels = 300;
    for (uint32_t i = 0; i < levels; ++i) disc.Directory(30 + i, i ? 29 + i : 20, {DirRec("D", 31 + i)});
    EXPECT_FALSE(Import(disc));
    EXPECT_EQ(rig.burner.DirsCount(), TSessionImport::kMaxDepth - 1);
    EXPECT_TRUE(rig.Logged("DIRECTORY DEEPER THAN 128 LEVELS"));
    ExpectIncomplete();
}

TEST_F(HostileDisc, MoreEntriesThanTheCompilationHoldsStopTheImport) {
    std::vector<TRec> files;
    for (int i = 0; i < 3000; ++i) files.push_back(FileRec("F" + std::to_string(i) + ".TXT;1", 40, 1));
    TDiscBuilder disc = TDiscBuilder::Primary(files, 70 * 2048);
    disc.Sector(100);
    EXPECT_FALSE(Import(disc, 100, 10));
    EXPECT_EQ(rig.burner.FilesCount(), 100);
    EXPECT_TRUE(rig.Logged("MAXIMUM FILES CAN BE 100"));
    EXPECT_TRUE(rig.Logged("(INCOMPLETE, STOPPED: THE COMPILATION'S TABLE LIMITS WERE REACHED)")) << rig.LogText();
}

TEST_F(HostileDisc, ManyBadRecordsAreCountedNotListedAndEndTheImport) {
    std::vector<TRec> bad;
    for (int i = 0; i < 1500; ++i) bad.push_back(FileRec("X/" + std::to_string(i), 40, 1));
    EXPECT_FALSE(Import(TDiscBuilder::Primary(bad, 40 * 2048)));
    int skipLines = 0;
    for (size_t at = 0; (at = rig.LogText().find(">>> SKIPPING NAME HOLDING", at)) != std::string::npos; ++at) ++skipLines;
    EXPECT_EQ(skipLines, TSessionImport::kSkipLinesLogged);
    EXPECT_TRUE(rig.Logged("MORE RECORDS OF SESSION # 1 (NOT LISTED ONE BY ONE)"));
    EXPECT_TRUE(rig.Logged("STOPPED: MORE THAN 1000 RECORDS LEFT OUT"));
}

// ---- Names ---------------------------------------------------------------------

TDiscBuilder JolietDisc(const std::vector<TRec>& Root) {
    TDiscBuilder disc;
    disc.Descriptor(16, 1, 20);
    disc.Descriptor(17, 2, 21);
    disc.Descriptor(18, 0xFF);
    disc.Directory(20, 20, {FileRec("PRIMARY.TXT;1", 40, 1)});
    disc.Directory(21, 21, Root);
    return disc;
}

TEST_F(HostileDisc, JolietNamesThatAreNoSafeFileNamesAreSkippedWithALine) {
    const std::string emoji = std::string("\xD8\x3D\xDE\x00", 4) + Ucs2(".txt");  // U+1F600
    EXPECT_FALSE(Import(JolietDisc({
        FileRec(Ucs2("odd") + "x", 40, 1),
        FileRec(Ucs2("lone") + std::string("\xD8\x00", 2), 40, 1),
        FileRec("", 40, 1),
        FileRec(Ucs2("a/b.txt"), 40, 1),
        DirRec(Ucs2(".."), 22),
        FileRec(Ucs2("semi;colon.txt"), 40, 1),
        FileRec(Ucs2("versioned.txt;1"), 40, 1),
        FileRec(Ucs2("trail;"), 40, 1),
        FileRec(Ucs2("nearly;1a"), 40, 1),
        FileRec(emoji, 40, 1),
    })));
    EXPECT_TRUE(rig.Logged("SKIPPING JOLIET NAME OF AN ODD BYTE COUNT"));
    EXPECT_TRUE(rig.Logged("SKIPPING JOLIET NAME WITH AN UNPAIRED SURROGATE: /lone"));
    EXPECT_TRUE(rig.Logged("SKIPPING EMPTY NAME"));
    EXPECT_TRUE(rig.Logged("SKIPPING NAME HOLDING \"/\" OR \"\\\": /a/b.txt"));
    EXPECT_TRUE(rig.Logged("SKIPPING NAME \".\" OR \"..\""));
    // Only ";" and digits at the end is a version; other ";" stay.
    EXPECT_NE(rig.Find("/semi;colon.txt"), nullptr);
    EXPECT_NE(rig.Find("/versioned.txt"), nullptr);
    EXPECT_NE(rig.Find("/trail;"), nullptr);
    EXPECT_NE(rig.Find("/nearly;1a"), nullptr);
    EXPECT_NE(rig.Find("/\xF0\x9F\x98\x80.txt"), nullptr);
    EXPECT_EQ(rig.burner.FilesCount(), 5);
    EXPECT_EQ(rig.Find("/PRIMARY.TXT"), nullptr);  // the Joliet tree is the one read
    ExpectIncomplete();
}

// Names with control characters are stored as they are: the compilation
// writes them, and a listing shows them escaped.
TEST_F(HostileDisc, NamesHoldingControlCharactersAreImportedAndShownEscaped) {
    const std::string bell = Ucs2("ctl") + std::string("\0\x07", 2) + Ucs2(".txt");
    const std::string nul = Ucs2("nul") + std::string("\0\0", 2) + Ucs2("x");
    EXPECT_TRUE(Import(JolietDisc({FileRec(Ucs2("line\nbreak.txt;1"), 40, 1), FileRec(bell, 40, 1),
                                   FileRec(nul, 40, 1), DirRec(Ucs2("tab\tdir\x7f"), 22)})))
        << rig.LogText();
    EXPECT_NE(rig.Find("/line\nbreak.txt"), nullptr);
    EXPECT_NE(rig.Find("/ctl\x07.txt"), nullptr);
    EXPECT_NE(rig.Find(std::string("/nul\0x", 6)), nullptr);
    EXPECT_NE(rig.Find("/tab\tdir\x7f"), nullptr);
    EXPECT_EQ(PrintableName("line\nbreak\r\t\x07\x7f.txt"), "line\\nbreak\\r\\t\\x07\\x7f.txt");
    EXPECT_EQ(PrintableName(std::string("a\0b\x1b[2J", 7)), "a\\x00b\\x1b[2J");
}

// Every name the image writer stores comes back; only what the compilation
// cannot hold is refused, with the limit that applies and the name.
TEST_F(HostileDisc, NamesTheCompilationCannotStoreAreReportedWithTheirLimit) {
    const std::string file108 = std::string(104, 'f') + ".txt";
    const std::string dir110(110, 'd');
    const std::string file109 = std::string(105, 'g') + ".txt";
    const std::string bare108(108, 'b');  // stored as "bbb...b.", 109 characters
    EXPECT_FALSE(Import(JolietDisc({
        FileRec(Ucs2(file108 + ";1"), 40, 1),
        DirRec(Ucs2(dir110), 22),
        FileRec(Ucs2(file109), 40, 1),
        FileRec(Ucs2(bare108), 40, 1),
        FileRec(Ucs2("short.txt"), 40, 1),
    })));
    EXPECT_NE(rig.Find("/" + file108), nullptr) << rig.LogText();
    EXPECT_NE(rig.Find("/" + dir110), nullptr);
    EXPECT_NE(rig.Find("/short.txt"), nullptr);
    EXPECT_EQ(rig.Find("/" + file109), nullptr);
    EXPECT_EQ(rig.Find("/" + bare108), nullptr);
    EXPECT_TRUE(rig.Logged("ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 108 CHARS\n\r" + file109));
    EXPECT_TRUE(rig.Logged("ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 108 CHARS\n\r" + bare108));
    EXPECT_EQ(rig.LoggedType("FILE NAME LENGTH EXCEEDS"), mtInternal);
    ExpectIncomplete();
}

// A primary identifier can be twice as long as a long name may be.
TEST_F(HostileDisc, LongPrimaryNamesAreReportedWithTheLimitOfTheirKind) {
    const std::string dir(150, 'P'), file = std::string(140, 'Q') + ".TXT";
    EXPECT_FALSE(Import(TDiscBuilder::Primary({DirRec(dir, 22), FileRec(file + ";1", 40, 1), FileRec("OK.TXT;1", 40, 1)})));
    EXPECT_TRUE(rig.Logged("ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 110 CHARS\n\r" + dir)) << rig.LogText();
    EXPECT_TRUE(rig.Logged("ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 108 CHARS\n\r" + file));
    EXPECT_NE(rig.Find("/OK.TXT"), nullptr);
}

// ---- Descriptors -----------------------------------------------------------------

TEST_F(HostileDisc, AJolietRootOutsideTheDiscFallsBackToThePrimaryTree) {
    TDiscBuilder disc = JolietDisc({});
    disc.Descriptor(17, 2, 70000);
    EXPECT_TRUE(Import(disc)) << rig.LogText();
    EXPECT_TRUE(rig.Logged("JOLIET ROOT DIRECTORY OUTSIDE THE DISC"));
    EXPECT_NE(rig.Find("/PRIMARY.TXT"), nullptr);
}

TEST_F(HostileDisc, AnEmptyOrInvalidRootRecordIsNamedAsSuch) {
    TDiscBuilder disc = JolietDisc({});
    disc.Descriptor(17, 2, 21, 0);
    EXPECT_TRUE(Import(disc)) << rig.LogText();
    EXPECT_TRUE(rig.Logged(">>> JOLIET ROOT DIRECTORY RECORD IS EMPTY (A DATA LENGTH OF 0)"));
    EXPECT_FALSE(rig.Logged("OUTSIDE THE DISC"));
    EXPECT_NE(rig.Find("/PRIMARY.TXT"), nullptr);

    disc.Descriptor(16, 1, 20, 0);
    disc.Sector(17)[156] = 12;  // a root record of 12 bytes
    rig.ClearLog();
    EXPECT_FALSE(Import(disc));
    EXPECT_TRUE(rig.Logged(">>> JOLIET ROOT DIRECTORY RECORD IS INVALID (A RECORD LENGTH OF 12 BYTES)"));
    EXPECT_TRUE(rig.Logged(">>> PRIMARY ROOT DIRECTORY RECORD IS EMPTY (A DATA LENGTH OF 0)"));
    EXPECT_TRUE(rig.Logged(">>> ERROR IMPORTING SESSION # 1 (NO VALID ROOT DIRECTORY)")) << rig.LogText();
    EXPECT_FALSE(rig.Logged("ISO IMAGE NOT FOUND"));
}

TEST_F(HostileDisc, ASupplementaryVolumeWithoutJolietIsNotReadAsJoliet) {
    TDiscBuilder disc = JolietDisc({FileRec(Ucs2("joliet.txt"), 40, 1)});
    disc.Descriptor(17, 2, 21, 2048, false);
    EXPECT_TRUE(Import(disc));
    EXPECT_NE(rig.Find("/PRIMARY.TXT"), nullptr);
    EXPECT_EQ(rig.Find("/joliet.txt"), nullptr);
}

TEST_F(HostileDisc, DescriptorsBeyondTheSearchedSectorsAreNotFound) {
    TDiscBuilder disc;
    disc.Descriptor(40, 1, 50);
    disc.Directory(50, 50, {FileRec("LATE.TXT;1", 40, 1)});
    EXPECT_FALSE(Import(disc));
    EXPECT_TRUE(rig.Logged(">>> ERROR IMPORTING SESSION 1 (ISO IMAGE NOT FOUND)"));
    EXPECT_EQ(rig.LoggedType("(ISO IMAGE NOT FOUND)"), mtInternal);
}

}  // namespace
}  // namespace kestrel::test
