// ExtractFile and extraction into a folder: pieces of 31 sectors, empty
// files without a read, existing files replaced only when asked, extents
// past the disc, and names that would leave the chosen folder.
#include <gtest/gtest.h>

#include <system_error>

#include "DiscBuilder.h"
#include "ImportRig.h"
#include "burner/engine/Extract.h"
#include "burner/iso/DateTime.h"

namespace kestrel::test {
namespace {

std::string Pattern(size_t Size) {
    std::string bytes(Size, '\0');
    for (size_t i = 0; i < Size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 2048) % 253);
    return bytes;
}

class Extraction : public ::testing::Test {
protected:
    TImportRig rig;
    std::string out = rig.work / "out";

    void SetUp() override {
        TDiscBuilder disc = TDiscBuilder::Primary({
            FileRec("EMPTY.DAT;1", 0, 0),
            FileRec("PIECE.BIN;1", 40, 63489),
            FileRec("SMALL.TXT;1", 80, 5),
            DirRec("SUB", 22),
        });
        disc.Directory(22, 20, {FileRec("INNER.TXT;1", 81, 6)});
        disc.Data(40, Pattern(63489));
        disc.Data(80, "small");
        disc.Data(81, "inner\n");
        disc.Save(rig.work / "disc.iso");
        rig.Insert(TImportRig::kCdDrive, vdrive::MediaKind::CdRom, rig.work / "disc.iso");
        ASSERT_TRUE(rig.Import(TImportRig::kCdDrive, 1)) << rig.LogText();
        std::filesystem::create_directories(out);
    }

    // Block counts of the READ (10) commands since the last call.
    std::vector<int> Reads() {
        std::vector<int> blocks;
        for (const auto& e : rig.Drive(TImportRig::kCdDrive).Trace())
            if (e.cdb[0] == 0x28) blocks.push_back(e.cdb[7] << 8 | e.cdb[8]);
        rig.Drive(TImportRig::kCdDrive).ClearTrace();
        return blocks;
    }
};

TEST_F(Extraction, AnEmptyFileGetsItsDateWithoutAnyRead) {
    const TFEntry* empty = rig.Find("/EMPTY.DAT");
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->Imported);  // sector 0 is still the disc's address
    Reads();
    ASSERT_TRUE(rig.burner.ExtractFile(empty, out + "/empty.dat"));
    EXPECT_TRUE(Reads().empty());
    EXPECT_EQ(std::filesystem::file_size(out + "/empty.dat"), 0u);
    EXPECT_EQ(ModificationTime(out + "/empty.dat"), DateTimeToUnix(EncodeDateTime({2004, 5, 6, 7, 8, 9})));
    EXPECT_TRUE(rig.Logged(">>> EXTRACTING FILE EMPTY.DAT TO " + out + "/empty.dat"));
}

TEST_F(Extraction, CopiesInPiecesOfThirtyOneSectors) {
    Reads();
    ASSERT_TRUE(rig.burner.ExtractFile(rig.Find("/PIECE.BIN"), out + "/piece.bin"));
    EXPECT_EQ(Reads(), (std::vector<int>{31, 1}));
    EXPECT_EQ(ReadFile(out + "/piece.bin"), Pattern(63489));
}

TEST_F(Extraction, ProgressIsToldPerPieceAndACancelLeavesNoFileBehind) {
    std::vector<std::pair<uint64_t, uint64_t>> told;
    rig.burner.OnExtractProgress = [&](uint64_t Copied, uint64_t Size) {
        told.emplace_back(Copied, Size);
        return true;
    };
    ASSERT_TRUE(rig.burner.ExtractFile(rig.Find("/PIECE.BIN"), out + "/piece.bin"));
    EXPECT_EQ(told, (std::vector<std::pair<uint64_t, uint64_t>>{{63488, 63489}, {63489, 63489}}));

    // Stopped after the first piece: neither the file nor its partial copy stays.
    rig.burner.OnExtractProgress = [](uint64_t Copied, uint64_t) { return Copied == 0; };
    EXPECT_FALSE(rig.burner.ExtractFile(rig.Find("/PIECE.BIN"), out + "/stopped.bin"));
    EXPECT_TRUE(rig.Logged("CANCELLED BY THE USER"));
    EXPECT_FALSE(std::filesystem::exists(out + "/stopped.bin"));
    std::vector<std::string> left;
    for (const auto& item : std::filesystem::directory_iterator(out)) left.push_back(item.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"piece.bin"});
    rig.burner.OnExtractProgress = nullptr;
}

TEST_F(Extraction, AnExistingFileIsReplacedOnlyWhenTheCallerSaysSo) {
    WriteFile(out + "/small.txt", "older content");
    Reads();
    EXPECT_FALSE(rig.burner.ExtractFile(rig.Find("/SMALL.TXT"), out + "/small.txt"));
    EXPECT_TRUE(Reads().empty());
    EXPECT_EQ(ReadFile(out + "/small.txt"), "older content");
    EXPECT_TRUE(rig.Logged("ALREADY EXISTS (NOT REPLACED)"));

    EXPECT_TRUE(rig.burner.ExtractFile(rig.Find("/SMALL.TXT"), out + "/small.txt", true));
    EXPECT_EQ(ReadFile(out + "/small.txt"), "small");
    EXPECT_EQ(FilesBelow(out), std::vector<std::string>{"small.txt"});  // no temporary file left
}

TEST_F(Extraction, AnExtentPastTheDiscIsReportedAndNotRead) {
    TSearchData found;
    found.Name = "far.bin";
    found.Size = 10000;
    ASSERT_EQ(rig.burner.AddFileEntry(rig.burner.RootDir, found, "", 5000, false), 1);
    Reads();
    EXPECT_FALSE(rig.burner.ExtractFile(rig.Find("/far.bin"), out + "/far.bin"));
    EXPECT_TRUE(Reads().empty());
    EXPECT_TRUE(rig.Logged("ITS DATA (SECTORS 5000..5004) RUNS PAST THE END OF THE DISC")) << rig.LogText();
    EXPECT_FALSE(std::filesystem::exists(out + "/far.bin"));
}

TEST_F(Extraction, RefusesEntriesThatAreNoFilesOfTheDiscAndUnwritableTargets) {
    EXPECT_FALSE(rig.burner.ExtractFile(rig.Find("/SUB"), out + "/sub"));
    EXPECT_FALSE(rig.burner.ExtractFile(nullptr, out + "/none"));
    WriteFile(rig.work / "local.txt", "x");
    ASSERT_EQ(rig.burner.InsertFile("\\", rig.work / "local.txt", false), 1);
    EXPECT_FALSE(rig.burner.ExtractFile(rig.Find("/local.txt"), out + "/local.txt"));
    EXPECT_TRUE(rig.Logged("NOT A FILE OF A SESSION ON THE DISC"));
    // The local file cannot be created: the error reaches the caller, nothing is read.
    Reads();
    EXPECT_THROW(rig.burner.ExtractFile(rig.Find("/SMALL.TXT"), out + "/missing/folder/small.txt"), std::system_error);
    EXPECT_TRUE(Reads().empty());
}

TEST_F(Extraction, AFolderExtractionTakesTheFilesAndWithRecursionTheTree) {
    TExtractCount flat = ExtractDirectory(rig.burner, *rig.burner.RootDir, out, false, false);
    EXPECT_EQ(flat.Files, 3);
    EXPECT_FALSE(std::filesystem::exists(out + "/SUB"));
    TExtractCount again = ExtractDirectory(rig.burner, *rig.burner.RootDir, out, true, false);
    EXPECT_EQ(again.Files, 1);  // only SUB/INNER.TXT is new
    EXPECT_EQ(again.Failed, 3);
    EXPECT_EQ(ReadFile(out + "/SUB/INNER.TXT"), "inner\n");
}

TEST_F(Extraction, NamesThatWouldLeaveTheFolderAreRefused) {
    // Entries renamed after the import, as a compilation might hold them.
    rig.Find("/SMALL.TXT")->LongName = "../escaped.txt";
    rig.Find("/PIECE.BIN")->LongName = "..";
    rig.Find("/SUB")->LongName = "..";
    const TExtractCount count = ExtractDirectory(rig.burner, *rig.burner.RootDir, out, true, false);
    EXPECT_EQ(count.Files, 1);  // EMPTY.DAT
    EXPECT_EQ(count.Failed, 3);
    EXPECT_FALSE(std::filesystem::exists(rig.work / "escaped.txt"));
    EXPECT_EQ(FilesBelow(rig.work.Path().string() + "/out"), std::vector<std::string>{"EMPTY.DAT"});
    EXPECT_FALSE(std::filesystem::exists(rig.work / "INNER.TXT"));
}

TEST_F(Extraction, ASubfolderThatIsASymbolicLinkIsNotEntered) {
    std::filesystem::create_directories(rig.work / "elsewhere");
    std::filesystem::create_directory_symlink(rig.work / "elsewhere", out + "/SUB");
    const TExtractCount count = ExtractDirectory(rig.burner, *rig.burner.RootDir, out, true, false);
    EXPECT_EQ(count.Failed, 1);
    EXPECT_TRUE(std::filesystem::is_empty(rig.work / "elsewhere"));
    EXPECT_TRUE(rig.Logged("IS NOT A FOLDER OF ITS OWN"));
}

}  // namespace
}  // namespace kestrel::test
