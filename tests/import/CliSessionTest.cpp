// kestrel-cli sessions, ls and extract against the virtual recorder.
#include <gtest/gtest.h>

#include "DiscBuilder.h"
#include "ImportRig.h"

namespace kestrel::test {
namespace {

class CliSessions : public ::testing::Test {
protected:
    TImportRig rig;

    TRun Cli(const std::string& Args) { return Shell(std::string(KESTREL_CLI_PATH) + " " + Args + " --drive 1", 60); }

    void InsertDisc(const std::vector<TRec>& Root) {
        TDiscBuilder disc = TDiscBuilder::Primary(Root);
        disc.Directory(22, 20, {FileRec("INNER.TXT;1", 41, 6)});
        disc.Data(40, "hello");
        disc.Data(41, "inner\n");
        disc.Save(rig.work / "disc.iso");
        rig.Insert(TImportRig::kCdDrive, vdrive::MediaKind::CdR, rig.work / "disc.iso", true);
    }
    void InsertGoodDisc() { InsertDisc({FileRec("HELLO.TXT;1", 40, 5), DirRec("SUB", 22)}); }
};

TEST_F(CliSessions, ListsOneLinePerSessionWithStartAndSize) {
    vdrive::Medium medium = vdrive::Medium::Blank(vdrive::MediaKind::CdR);
    medium.tracks = {{1, 0, 0, 300000 - 11400, true}, {2, 300000, 0, 1000, true}};
    medium.closedSessions = 2;
    TDiscBuilder(1).Save(rig.work / "empty.iso");
    rig.Drive(TImportRig::kCdDrive).Insert(medium, rig.work / "empty.iso");
    const TRun r = Cli("sessions");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output, " Number     Start     Size\n"
                        "  001           0    564 MB\n"
                        "  002      300000      2 MB\n");
}

TEST_F(CliSessions, LsShowsTheTreeWithModesSizesDatesAndExtents) {
    InsertGoodDisc();
    TRun r = Cli("ls --session 1");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    // A disc without Rock Ridge shows the modes a new session would write.
    EXPECT_NE(r.Output.find("-r--r--r--             5  2004-05-06 07:08:09          40  /HELLO.TXT\n"), std::string::npos)
        << r.Output;
    EXPECT_NE(r.Output.find("dr-xr-xr-x             -  2004-05-06 07:08:09           -  /SUB/\n"), std::string::npos);
    EXPECT_NE(r.Output.find("/SUB/INNER.TXT\n"), std::string::npos);

    r = Cli("ls --json");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("{\"session\":1,\"complete\":true,\"entries\":[{\"path\":\"/HELLO.TXT\",\"type\":\"file\","
                            "\"mode\":\"-r--r--r--\",\"date\":\"2004-05-06T07:08:09\",\"size\":5,\"extent\":40}"),
              std::string::npos)
        << r.Output;
    r = Cli("ls --session 0");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("Usage: kestrel-cli ls"), std::string::npos) << r.Output;
}

TEST_F(CliSessions, LsOfAPartlyReadableSessionFailsAfterShowingWhatItRead) {
    InsertDisc({FileRec("HELLO.TXT;1", 40, 5), FileRec("FAR.TXT;1", 900000, 5)});
    const TRun r = Cli("ls");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("/HELLO.TXT"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("was read only in part"), std::string::npos) << r.Output;
}

TEST_F(CliSessions, ExtractReplacesExistingFilesOnlyWithForce) {
    InsertGoodDisc();
    const std::string out = rig.work / "out";
    TRun r = Cli("extract / -r -o " + out);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(ReadFile(out + "/HELLO.TXT"), "hello");
    EXPECT_EQ(ReadFile(out + "/SUB/INNER.TXT"), "inner\n");

    WriteFile(out + "/HELLO.TXT", "mine");
    r = Cli("extract /hello.txt -o " + out);
    EXPECT_EQ(r.ExitCode, 1) << r.Output;
    EXPECT_NE(r.Output.find("only with --force"), std::string::npos);
    EXPECT_EQ(ReadFile(out + "/HELLO.TXT"), "mine");
    r = Cli("extract /hello.txt -o " + out + " --force");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(ReadFile(out + "/HELLO.TXT"), "hello");
}

TEST_F(CliSessions, ExtractOfADirectoryWithoutRecursionTakesItsFilesOnly) {
    InsertGoodDisc();
    const std::string out = rig.work / "flat";
    TRun r = Cli("extract / -o " + out);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(FilesBelow(out), std::vector<std::string>{"HELLO.TXT"});
    r = Cli("extract \\\\SUB \\\\NOPE -o " + out);
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("\"\\NOPE\" is not in session 1"), std::string::npos) << r.Output;
    EXPECT_EQ(ReadFile(out + "/INNER.TXT"), "inner\n");
    r = Cli("extract /HELLO.TXT");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("give the destination folder with -o DEST"), std::string::npos) << r.Output;
}

// A failed read is shown in full (the raw "<<<" line of the device layer)
// only to who asks for the device's detail.
TEST_F(CliSessions, DeviceLinesOfFailedCommandsAppearOnlyWithVerbose) {
    InsertGoodDisc();
    auto busyOnce = [this] {
        rig.SetKnob(TImportRig::kCdDrive, "busy-count", "1");
        rig.SetKnob(TImportRig::kCdDrive, "busy-opcode", "28");
    };
    busyOnce();
    TRun r = Cli("ls");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("/HELLO.TXT"), std::string::npos) << r.Output;
    EXPECT_EQ(r.Output.find("<<< "), std::string::npos) << r.Output;
    busyOnce();
    r = Cli("ls --verbose");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("<<< READ (10)"), std::string::npos) << r.Output;
}

TEST_F(CliSessions, ASessionPastTheLastIsRefusedNotTakenForTheLast) {
    InsertGoodDisc();
    const std::string out = rig.work / "out";
    for (const std::string& command : std::vector<std::string>{"ls --session 3", "extract / -o " + out + " --session 3"}) {
        const TRun r = Cli(command);
        EXPECT_EQ(r.ExitCode, 1) << command;
        EXPECT_NE(r.Output.find("kestrel-cli: there is no session 3; the disc has 1\n"), std::string::npos) << r.Output;
    }
    EXPECT_FALSE(std::filesystem::exists(out + "/HELLO.TXT"));

    WriteFile(rig.work / "src/new.txt", "new\n");
    TRun r = Cli("burn --import-session 2 " + rig.work / "src/");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("kestrel-cli: there is no session 2; the disc has 1\n"), std::string::npos) << r.Output;
    r = Cli("sessions");
    EXPECT_EQ(r.Output.find("002"), std::string::npos) << "nothing was burnt: " << r.Output;
}

TEST_F(CliSessions, ADriveBusyWithALongWriteIsReportedBusy) {
    InsertGoodDisc();
    rig.SetKnob(TImportRig::kCdDrive, "long-write-count", "100000");
    for (const char* command : {"ls", "sessions"}) {
        const TRun r = Shell("KESTREL_TIME_SCALE=0.001 " + std::string(KESTREL_CLI_PATH) + " " + command + " --drive 1");
        EXPECT_EQ(r.ExitCode, 1) << command;
        EXPECT_NE(r.Output.find("kestrel-cli: the drive is busy (LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS)"),
                  std::string::npos)
            << r.Output;
    }
}

}  // namespace
}  // namespace kestrel::test
