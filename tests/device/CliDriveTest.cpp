#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <regex>

#include "VirtualRecorder.h"

namespace kestrel::test {
namespace {

struct TRun {
    int Exit = -1;
    std::string Out;  // stdout and stderr together
};

TRun Cli(const std::string& Arguments) {
    TCommandResult run = CaptureCommand(std::string(KESTREL_CLI_PATH) + " " + Arguments + " 2>&1");
    return {run.ExitCode, std::move(run.Output)};
}

// Each case on a fresh recorder, after checking that the program reaches the
// drives through the expected layer: the drive list names the interposer's
// /dev/srN nodes on the pass-through layer and the library's own names
// otherwise.
struct DriveCli : ::testing::Test {
    TVirtualRecorder recorder;
    void SetUp() override {
        const auto run = Cli("drives --verbose");
        ASSERT_EQ(run.Exit, 0) << run.Out;
        const std::string layer = ExpectsPassThrough() ? PASS_THROUGH_LAYER_NAME : DEFAULT_ACCESS_LIBRARY;
        EXPECT_NE(run.Out.find(">>> " + layer + "\n"), std::string::npos) << run.Out;
        const std::regex node(ExpectsPassThrough() ? R"(^0  \d+:\d+:\d+,/dev/sr\d+ )" : R"(^0  \d+:\d+:\d+,vdrive0 )",
                              std::regex::multiline);
        EXPECT_TRUE(std::regex_search(run.Out, node)) << run.Out;
    }
};

TEST_F(DriveCli, DrivesListsEveryDriveWithItsIndex) {
    const auto run = Cli("drives");
    ASSERT_EQ(run.Exit, 0) << run.Out;
    EXPECT_TRUE(std::regex_search(run.Out, std::regex(R"(^0  \d+:\d+:\d+,\S+ KESTREL VIRTUAL DVD-RW  1\.00$)",
                                                      std::regex::multiline)))
        << run.Out;
    EXPECT_NE(run.Out.find("1  "), std::string::npos);
}

TEST_F(DriveCli, CapabilitiesAndDiscInfo) {
    auto caps = Cli("capabilities --drive 1");
    ASSERT_EQ(caps.Exit, 0) << caps.Out;
    EXPECT_NE(caps.Out.find("WriteCDR: yes"), std::string::npos) << caps.Out;
    EXPECT_NE(caps.Out.find("WriteDVDR: no"), std::string::npos) << caps.Out;

    auto info = Cli("disc-info --drive 1");
    ASSERT_EQ(info.Exit, 0) << info.Out;
    EXPECT_NE(info.Out.find("Medium:       CD-R"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("Status:       empty"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("Sessions:     0"), std::string::npos) << info.Out;
    EXPECT_TRUE(std::regex_search(info.Out, std::regex(R"(Capacity: +\d+ blocks \(7\d\d\.\d\d MB\))"))) << info.Out;

    auto json = Cli("disc-info --drive 0 --json");
    ASSERT_EQ(json.Exit, 0) << json.Out;
    EXPECT_TRUE(std::regex_search(json.Out, std::regex(R"(^\{"medium":"DVD\+RW","profile":26,.*"capacityBlocks":\d+,"capacityMB":[0-9.]+\}$)",
                                                       std::regex::multiline)))
        << json.Out;
}

TEST_F(DriveCli, BdWriterItsCapabilitiesItsDiscsAndTheEraseOfABdRe) {
    const int bd = recorder.AddDrive("bd-writer");
    const std::string drive = " --drive " + std::to_string(bd);
    const auto caps = Cli("capabilities" + drive);
    ASSERT_EQ(caps.Exit, 0) << caps.Out;
    for (const char* flag : {"ReadBD: yes", "ReadBDR: yes", "ReadBDRE: yes", "WriteBDR: yes", "WriteBDRE: yes"})
        EXPECT_NE(caps.Out.find(flag), std::string::npos) << flag << "\n" << caps.Out;
    EXPECT_NE(caps.Out.find("Maximum write speed: 53946 KB/s"), std::string::npos) << caps.Out;
    EXPECT_NE(Cli("capabilities --drive 0").Out.find("WriteBDR: no"), std::string::npos);

    recorder.Insert(bd, vdrive::MediaKind::BdR);
    const auto info = Cli("disc-info" + drive);
    ASSERT_EQ(info.Exit, 0) << info.Out;
    EXPECT_NE(info.Out.find("Medium:       BD-R"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("Status:       empty"), std::string::npos) << info.Out;
    EXPECT_TRUE(std::regex_search(info.Out, std::regex(R"(Capacity: +12219392 blocks)"))) << info.Out;
    EXPECT_NE(Cli("erase --quick" + drive).Out.find("not erasable"), std::string::npos) << "a BD-R is write-once";
    TTempDir work;
    WriteFile(work / "src/a.txt", "a");
    const auto burn = Cli("burn" + drive + " " + work / "src");
    ASSERT_EQ(burn.Exit, 0) << burn.Out;
    EXPECT_NE(burn.Out.find(">>> FINALIZING TRACK"), std::string::npos) << burn.Out;
    const auto burnt = Cli("disc-info" + drive + " --json");
    EXPECT_NE(burnt.Out.find("\"status\":\"appendable\""), std::string::npos) << burnt.Out;

    // A BD-RE holding data is emptied by formatting it again, not by blanking.
    std::string volume(1000 * 2048, '\0');
    volume[16 * 2048] = 1;
    volume.replace(16 * 2048 + 1, 5, "CD001");
    volume[16 * 2048 + 80] = char(1000 & 0xFF);
    volume[16 * 2048 + 81] = char(1000 >> 8);
    WriteFile(work / "volume.iso", volume);
    recorder.InsertRecorded(bd, vdrive::MediaKind::BdRe, 1000, false, work / "volume.iso");
    EXPECT_NE(Cli("disc-info" + drive + " --json").Out.find("\"status\":\"complete\""), std::string::npos);
    const auto erase = Cli("erase --quick" + drive);
    ASSERT_EQ(erase.Exit, 0) << erase.Out;
    EXPECT_NE(erase.Out.find("Formatting the disc"), std::string::npos) << erase.Out;
    EXPECT_EQ(erase.Out.find("Blanking"), std::string::npos) << erase.Out;
    const auto erased = Cli("disc-info" + drive + " --json");
    EXPECT_NE(erased.Out.find("\"medium\":\"BD-RE\""), std::string::npos) << erased.Out;
    EXPECT_NE(erased.Out.find("\"status\":\"empty\""), std::string::npos) << erased.Out;
}

TEST_F(DriveCli, TrayAndReadiness) {
    EXPECT_EQ(Cli("ready --drive 1").Exit, 0);
    EXPECT_EQ(Cli("eject --drive 1").Exit, 0);
    const auto notReady = Cli("ready --drive 1");
    EXPECT_NE(notReady.Exit, 0);
    EXPECT_NE(notReady.Out.find("the drive is not ready"), std::string::npos) << notReady.Out;
    EXPECT_NE(Cli("disc-info --drive 1").Exit, 0);
    EXPECT_EQ(Cli("load --drive 1").Exit, 0);
    EXPECT_EQ(Cli("ready --drive 1").Exit, 0);
}

TEST_F(DriveCli, EraseNamesTheStepToTheEnd) {
    recorder.InsertRecorded(1, vdrive::MediaKind::CdRw, 1000, true);
    const auto run = Cli("erase --quick --drive 1 --speed max");
    ASSERT_EQ(run.Exit, 0) << run.Out;
    EXPECT_NE(run.Out.find("Blanking the disc\n"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("Erase done"), std::string::npos);
    const auto info = Cli("disc-info --drive 1 --json");
    EXPECT_NE(info.Out.find("\"status\":\"empty\""), std::string::npos) << info.Out;
}

// A complete blank estimated at 4,500 s takes 1.2 s on this recorder: the
// figures shown are the drive's own, and no figure is made up from time.
TEST_F(DriveCli, EraseShowsTheDrivesOwnProgress) {
    recorder.InsertRecorded(1, vdrive::MediaKind::CdRw, 1000, true);
    auto knobs = recorder.Drive(1).CurrentKnobs();
    knobs.Set("time-scale", "0.02");
    recorder.Drive(1).SetKnobs(knobs);
    const auto run = Cli("erase --complete --drive 1");
    ASSERT_EQ(run.Exit, 0) << run.Out;
    int highest = -1;
    const std::regex line(R"(Blanking the disc: (\d+)%\n)");
    for (auto it = std::sregex_iterator(run.Out.begin(), run.Out.end(), line); it != std::sregex_iterator(); ++it)
        highest = std::max(highest, std::stoi((*it)[1]));
    EXPECT_GE(highest, 50) << run.Out;
    EXPECT_LE(highest, 100) << run.Out;
    EXPECT_NE(run.Out.find("Erase done"), std::string::npos) << run.Out;
}

TEST_F(DriveCli, FailuresExitNonZeroWithAReason) {
    const auto noDrive = Cli("ready --drive 9");
    EXPECT_NE(noDrive.Exit, 0);
    EXPECT_NE(noDrive.Out.find("there is no drive 9"), std::string::npos) << noDrive.Out;
    const auto notErasable = Cli("erase --complete --drive 1");
    EXPECT_NE(notErasable.Exit, 0);
    EXPECT_NE(notErasable.Out.find("not erasable"), std::string::npos) << notErasable.Out;
    EXPECT_NE(Cli("erase --drive 1").Exit, 0) << "quick or complete must be chosen";
    EXPECT_NE(Cli("erase --quick --speed fast").Exit, 0);
    EXPECT_NE(Cli("drives --device-layer sideways").Exit, 0);
}

// A formatted overwritable disc that was never written (an erased DVD+RW):
// the drive reports a complete disc with one session over the whole disc.
struct EmptyOverwritable : ::testing::TestWithParam<vdrive::MediaKind> {};

TEST_P(EmptyOverwritable, IsShownEmptyKeepingWhatTheDriveReports) {
    TVirtualRecorder recorder;
    recorder.InsertRecorded(0, GetParam(), 0, false);
    const auto info = Cli("disc-info --drive 0");
    ASSERT_EQ(info.Exit, 0) << info.Out;
    EXPECT_NE(info.Out.find("Status:       empty (no file system on the disc)"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("Sessions:     0"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("Used:         0 blocks"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("Drive report: complete disc, last session complete, 1 session(s)"), std::string::npos)
        << info.Out;
    const auto json = Cli("disc-info --drive 0 --json");
    EXPECT_NE(json.Out.find("\"status\":\"empty\""), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find("\"noFileSystem\":true,\"driveReport\":{\"status\":\"complete\""), std::string::npos)
        << json.Out;

    const auto sessions = Cli("sessions --drive 0");
    EXPECT_EQ(sessions.Exit, 0) << sessions.Out;
    EXPECT_NE(sessions.Out.find("no file system on the disc"), std::string::npos) << sessions.Out;
    EXPECT_EQ(sessions.Out.find("001"), std::string::npos) << sessions.Out;

    const auto ls = Cli("ls --drive 0");
    EXPECT_NE(ls.Exit, 0);
    EXPECT_NE(ls.Out.find("no file system on the disc"), std::string::npos) << ls.Out;
    EXPECT_EQ(ls.Out.find("ISO IMAGE NOT FOUND"), std::string::npos) << ls.Out;
}

INSTANTIATE_TEST_SUITE_P(Media, EmptyOverwritable,
                         ::testing::Values(vdrive::MediaKind::DvdPlusRw, vdrive::MediaKind::DvdRam,
                                           vdrive::MediaKind::DvdRwRestricted),
                         [](const auto& Info) {
                             std::string name;
                             for (const char* c = vdrive::TraitsOf(Info.param).name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : (*c == '+' ? 'P' : '_');
                             return name;
                         });

TEST_F(DriveCli, OverwritableDiscHoldingAVolumeIsNotShownEmpty) {
    TTempDir work;
    WriteFile(work / "src/a.txt", "a");
    ASSERT_EQ(Cli("build-iso -o " + work / "a.iso" + " " + work / "src").Exit, 0);
    const auto burn = Cli("burn-iso --drive 0 " + work / "a.iso");
    ASSERT_EQ(burn.Exit, 0) << burn.Out;
    const auto info = Cli("disc-info --drive 0");
    EXPECT_NE(info.Out.find("Status:       complete\n"), std::string::npos) << info.Out;
    EXPECT_EQ(info.Out.find("no file system"), std::string::npos) << info.Out;
}

// The volume looked for on a blank DVD+RW is not there: the failed read is
// the answer, not a fault to show.
TEST_F(DriveCli, ProbesThatFailAsAnAnswerPrintNoDeviceLines) {
    // Drive 0 holds a blank DVD+RW.
    const auto info = Cli("disc-info --drive 0");
    ASSERT_EQ(info.Exit, 0) << info.Out;
    EXPECT_EQ(info.Out.find("<<< "), std::string::npos) << info.Out;
    const auto verbose = Cli("disc-info --drive 0 --verbose");
    EXPECT_EQ(verbose.Out.find("<<< READ (10)"), std::string::npos) << verbose.Out;
}

}  // namespace
}  // namespace kestrel::test
