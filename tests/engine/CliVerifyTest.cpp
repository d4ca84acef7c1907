// kestrel-cli's read-back: burn and burn-iso with --verify, and the verify
// command comparing a session on the disc with the files on disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "BurnRig.h"
#include "burner/iso/FillCompilation.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

const std::string kCli = KESTREL_CLI_PATH;

struct CliVerify : ::testing::Test {
    TBurnRig rig;  // the state folder and the library layer for the child
    std::string source = rig.files / "src";
    std::string blob = source + "/data/blob.bin";
    void SetUp() override { MakeSourceTree(source); }

    int Cli(const std::string& Arguments, std::string* Output) {
        int status = -1;
        *Output = RunCommand(Quote(kCli) + " " + Arguments + " 2>&1", &status);
        return status;
    }
    // The sector where kestrel-cli's burn of source onto a blank disc (or
    // its image) puts the data of Path, Offset sectors in.
    int64_t SectorOf(const std::string& Path, int64_t Offset) {
        TKestrelBurner layout;
        layout.ClearAll(600000, 20000);
        EXPECT_TRUE(FillCompilation(layout, {MakeListEntry(source)}, TFillOptions{}).Filled);
        layout.BuildLayout(true, nullptr);
        for (const auto& entry : layout.FileTable)
            if (entry->SourcePath == Path) return layout.FirstFileLBA + entry->ISOExtent + Offset;
        ADD_FAILURE() << Path << " is not in the compilation";
        return -1;
    }
};

TEST_F(CliVerify, BurnWithVerifyShowsTheStepAndSaysTheDiscIsVerified) {
    rig.Insert(MediaKind::DvdPlusR);
    // Reading back takes long enough for the status to see it.
    rig.SetKnob("delay-opcode", "28");
    rig.SetKnob("delay-ms", "150");
    std::string output;
    ASSERT_EQ(Cli("burn --verify --verbose --drive 0 " + Quote(source + "/"), &output), 0) << output;
    EXPECT_NE(output.find("\nVerifying the written data\n"), std::string::npos) << output;
    EXPECT_NE(output.find(">>> VERIFYING THE WRITTEN DATA: SECTORS 0..299"), std::string::npos) << output;
    EXPECT_NE(output.find(">>> VERIFIED: THE DISC HOLDS WHAT WAS WRITTEN (SECTORS 0..299)"), std::string::npos)
        << output;
}

TEST_F(CliVerify, BurnWithVerifyFailsNamingTheFileTheDriveRecordedWrongly) {
    rig.Insert(MediaKind::CdR);
    const int64_t bad = SectorOf(blob, 7);
    rig.SetKnob("corrupt-write-lba", std::to_string(bad));
    std::string output;
    EXPECT_EQ(Cli("burn --verify --drive 0 " + Quote(source + "/"), &output), 1) << output;
    const std::string named = "\"" + blob + "\" differs (sector " + std::to_string(bad) + ")";
    EXPECT_NE(output.find(">>> VERIFY: " + named), std::string::npos) << output;
    EXPECT_NE(output.find("kestrel-cli: VERIFICATION FAILED, THE DISC DOES NOT HOLD WHAT WAS WRITTEN: " + named),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find(">>> WRITE/BURNCD PROCESS DONE\n"), std::string::npos) << output;
}

TEST_F(CliVerify, BurnIsoWithVerifyNamesTheFileOfTheImage) {
    const std::string image = rig.files / "src.iso";
    std::string output;
    ASSERT_EQ(Cli("build-iso -o " + Quote(image) + " " + Quote(source + "/"), &output), 0) << output;
    rig.Insert(MediaKind::DvdR);
    const int64_t bad = SectorOf(blob, 1);
    rig.SetKnob("unreadable-lba", std::to_string(bad));
    EXPECT_EQ(Cli("burn-iso --verify --drive 0 " + Quote(image), &output), 1) << output;
    EXPECT_NE(output.find("\"/src/data/blob.bin\" cannot be read (sector " + std::to_string(bad) + ")"),
              std::string::npos)
        << output;
}

TEST_F(CliVerify, VerifyFindsChangedMissingExtraAndUnreadableFiles) {
    rig.Insert(MediaKind::CdR);
    const int64_t blobSector = SectorOf(blob, 20);
    std::string output;
    ASSERT_EQ(Cli("burn --drive 0 " + Quote(source + "/"), &output), 0) << output;
    ASSERT_EQ(Cli("verify --drive 0 " + Quote(source + "/"), &output), 0) << output;
    EXPECT_NE(output.find("session 1 holds the sources: 4 file(s) compared"), std::string::npos) << output;

    WriteFile(source + "/readme.txt", "KESTREL TEST TREE\n");  // the same size, other bytes
    WriteFile(source + "/data/new.txt", "new");
    std::filesystem::remove(source + "/data/empty.dat");
    EXPECT_EQ(Cli("verify --drive 0 " + Quote(source + "/"), &output), 1) << output;
    EXPECT_NE(output.find("changed:    /src/readme.txt\n"), std::string::npos) << output;
    EXPECT_NE(output.find("missing:    /src/data/new.txt\n"), std::string::npos) << output;
    EXPECT_NE(output.find("extra:      /src/data/empty.dat\n"), std::string::npos) << output;
    EXPECT_EQ(output.find("blob.bin"), std::string::npos) << output;
    EXPECT_NE(output.find("3 difference(s) between session 1 and the sources"), std::string::npos) << output;

    rig.SetKnob("unreadable-lba", std::to_string(blobSector));
    EXPECT_EQ(Cli("verify --drive 0 --session 1 " + Quote(source + "/"), &output), 1) << output;
    EXPECT_NE(output.find("unreadable: /src/data/blob.bin\n"), std::string::npos) << output;
}

}  // namespace
}  // namespace kestrel
