// kestrel-cli burn and burn-iso through the real program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "BurnRig.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

const std::string kCli = KESTREL_CLI_PATH;

struct CliBurn : ::testing::Test {
    TBurnRig rig;  // provides the state folder and the library layer for the child
    std::string source = rig.files / "src";
    void SetUp() override { MakeSourceTree(source); }

    int Cli(const std::string& Arguments, std::string* Output = nullptr) {
        int status = -1;
        const std::string out = RunCommand(Quote(kCli) + " " + Arguments + " 2>&1", &status);
        if (Output) *Output = out;
        return status;
    }
};

TEST_F(CliBurn, BurnWritesTheSourcesAndExitsZero) {
    rig.Insert(MediaKind::CdR);
    std::string output;
    ASSERT_EQ(Cli("burn --drive 0 " + Quote(source + "/"), &output), 0) << output;
    EXPECT_NE(output.find("WRITE/BURNCD PROCESS DONE"), std::string::npos) << output;
    EXPECT_NE(output.find(">>> FINALIZING TRACK"), std::string::npos) << output;
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = rig.files / "out";
    ASSERT_EQ(ExtractWithXorriso(rig.Dump(), out), 0);
    EXPECT_TRUE(SameTree(source, out + "/src") || SameTree(source, out));
}

TEST_F(CliBurn, FailedBurnExitsNonZeroWithTheError) {
    rig.Insert(MediaKind::CdR);
    rig.SetKnob("fail-write-lba", "20");
    std::string output;
    EXPECT_NE(Cli("burn --drive 0 " + Quote(source + "/"), &output), 0);
    EXPECT_NE(output.find("WRITER ERROR ["), std::string::npos) << output;
    EXPECT_EQ(output.find("FINALIZING TRACK"), std::string::npos) << "the track stays open\n" << output;
}

TEST_F(CliBurn, TestWriteSaysAtStartAndEndThatNothingIsRecorded) {
    rig.Insert(MediaKind::CdR);
    std::string output;
    ASSERT_EQ(Cli("burn --test --drive 0 " + Quote(source + "/"), &output), 0) << output;
    const size_t start = output.find(">>> TEST WRITE: NOTHING WILL BE RECORDED ON THE DISC");
    const size_t end = output.find(">>> TEST WRITE: NOTHING WAS RECORDED ON THE DISC");
    ASSERT_NE(start, std::string::npos) << output;
    ASSERT_NE(end, std::string::npos) << output;
    EXPECT_LT(start, output.find("Writing "));
    EXPECT_GT(end, output.find("WRITE/BURNCD PROCESS DONE"));
    EXPECT_EQ(output.find("FINALIZING TRACK"), std::string::npos) << output;
    ASSERT_EQ(Cli("disc-info --drive 0 --json", &output), 0) << output;
    EXPECT_NE(output.find("\"status\":\"empty\""), std::string::npos) << output;
}

// A blank DVD-RW is formatted, written and closed; the recorder is slowed
// so that each step outlasts the command's status ticks.
struct CliBurnSteps : CliBurn {
    void SetUp() override {
        CliBurn::SetUp();
        rig.Insert(MediaKind::DvdRwSequential);
        rig.SetKnob("time-scale", "0.2");
        rig.SetKnob("delay-opcode", "2A");
        rig.SetKnob("delay-ms", "50");
    }
};

TEST_F(CliBurnSteps, EachStepIsNamedWhenItBegins) {
    std::string output;
    ASSERT_EQ(Cli("burn --drive 0 " + Quote(source + "/"), &output), 0) << output;
    size_t at = 0;
    // The short steps (preparing, writing out the buffer) may pass between two ticks.
    for (const char* step : {"\nFormatting the disc\n", "\nWriting 0.6 MB\n", "\nClosing the track and session\n"}) {
        const size_t found = output.find(step, at);
        EXPECT_NE(found, std::string::npos) << "missing or out of order: " << step << "\n" << output;
        if (found != std::string::npos) at = found;
    }
}

TEST_F(CliBurnSteps, StatusLineOnATerminalShowsTheStepWithItsFigures) {
    if (!HaveProgram("script")) GTEST_SKIP() << "script is not installed";
    // script runs the command on a pseudo-terminal (the paths hold no blanks).
    const std::string output = RunCommand("script -qec \"" + kCli + " burn --drive 0 " + source + "/\" /dev/null");
    EXPECT_NE(output.find("\rFormatting the disc ["), std::string::npos) << "the drive's figure" << output;
    EXPECT_NE(output.find("\rWriting ["), std::string::npos) << output;
    EXPECT_NE(output.find("/ 0.6 MB  cache "), std::string::npos) << output;
    EXPECT_NE(output.find("\rClosing the track and session"), std::string::npos) << output;
    EXPECT_EQ(output.find("/ 0.0 MB"), std::string::npos) << "a figure before the total was known\n" << output;
    EXPECT_NE(output.find("WRITE/BURNCD PROCESS DONE"), std::string::npos) << output;
}

TEST_F(CliBurn, BurnIsoOfAMissingImageFails) {
    rig.Insert(MediaKind::CdR);
    std::string output;
    EXPECT_NE(Cli("burn-iso --drive 0 " + Quote(rig.files / "none.iso"), &output), 0);
    EXPECT_NE(output.find("CAN'T OPEN FILE"), std::string::npos) << output;
}

TEST_F(CliBurn, SourcesThatCannotBeStoredAreRefusedBeforeTheDiscIsWritten) {
    rig.Insert(MediaKind::CdR);
    const std::string fifo = rig.files / "fifo", broken = rig.files / "broken";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("nowhere", broken);
    std::string output;
    EXPECT_NE(Cli("burn --drive 0 " + Quote(source + "/") + " " + Quote(fifo), &output), 0);
    EXPECT_NE(output.find("\"" + fifo + "\" cannot be stored: IT IS A FIFO"), std::string::npos) << output;
    EXPECT_NE(Cli("burn --drive 0 --follow-links " + Quote(broken), &output), 0);
    EXPECT_NE(output.find("\"" + broken + "\" is a broken symbolic link"), std::string::npos) << output;

    // A folder whose every item is left out burns nothing either.
    const std::string hollow = rig.files / "hollow";
    std::filesystem::create_directories(hollow);
    ASSERT_EQ(::mkfifo((hollow + "/pipe").c_str(), 0600), 0);
    EXPECT_NE(Cli("burn --drive 0 " + Quote(hollow + "/"), &output), 0);
    EXPECT_NE(output.find("nothing to write"), std::string::npos) << output;
    EXPECT_TRUE(rig.Commands(0x2A).empty());
    EXPECT_EQ(rig.Drive().State().medium->Status(), vdrive::DiscStatus::Empty);
}

TEST_F(CliBurn, BurnIsoOfAnEmptyImageOrAFIFOFailsAtOnceAndLeavesTheDiscBlank) {
    rig.Insert(MediaKind::CdR);
    const std::string empty = rig.files / "empty.iso", fifo = rig.files / "image.fifo";
    WriteFile(empty, "");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string output;
    EXPECT_NE(Cli("burn-iso --drive 0 " + Quote(empty), &output), 0);
    EXPECT_NE(output.find("IS EMPTY: NOTHING TO WRITE"), std::string::npos) << output;
    const TCommandResult fromFifo = RunWithBudget(Quote(kCli) + " burn-iso --drive 0 " + Quote(fifo), 60);
    EXPECT_GT(fromFifo.ExitCode, 0) << fromFifo.Output;
    EXPECT_NE(fromFifo.Output.find("IT IS A FIFO"), std::string::npos) << fromFifo.Output;
    EXPECT_TRUE(rig.Commands(0x2A).empty());
    EXPECT_EQ(rig.Drive().State().medium->Status(), vdrive::DiscStatus::Empty);
}

// The drive takes its blocks slowly, so the read-ahead is still reading the
// large file when the test cuts it short.
TEST_F(CliBurn, SourceCutShortDuringTheBurnIsFinishedButFailsTheBurnNamingIt) {
    rig.Insert(MediaKind::DvdPlusR);
    const std::string large = source + "/large.bin";
    { std::ofstream(large).close(); }
    ASSERT_EQ(::truncate(large.c_str(), 16 << 20), 0);  // twice the read-ahead
    rig.SetKnob("delay-opcode", "2A");
    rig.SetKnob("delay-ms", "20");
    TBackgroundProgram cli({kCli, "burn", "--drive", "0", source + "/"}, rig.files / "cli.log");
    ASSERT_TRUE(cli.Started());
    ASSERT_TRUE(cli.WaitFor([&] { return !rig.Commands(0x2A).empty(); }));
    ASSERT_EQ(::truncate(large.c_str(), 1 << 20), 0);
    rig.SetKnob("delay-ms", "0");
    EXPECT_EQ(cli.ExitCode(), 1) << cli.Log();
    EXPECT_NE(cli.Log().find("FILE CHANGED WHILE IT WAS WRITTEN, ITS COPY IS NOT THE FILE: \"" + large + "\""),
              std::string::npos)
        << cli.Log();
    EXPECT_FALSE(rig.Commands(0x5B).empty()) << "the burn is finished and the session closed";
}

struct CliBurnSignal : CliBurn, ::testing::WithParamInterface<int> {};

TEST_P(CliBurnSignal, AbortsTheBurnAndExitsNonZero) {
    rig.Insert(MediaKind::DvdPlusR);
    const std::string large = source + "/large.bin";
    { std::ofstream(large).close(); }
    ASSERT_EQ(truncate(large.c_str(), 64 << 20), 0);
    rig.SetKnob("delay-opcode", "2A");
    rig.SetKnob("delay-ms", "20");
    TBackgroundProgram cli({kCli, "burn", "--drive", "0", source + "/"}, rig.files / "cli.log");
    ASSERT_TRUE(cli.Started());
    // Once data goes to the drive, the signal comes.
    EXPECT_TRUE(cli.WaitFor([&] { return !rig.Commands(0x2A).empty(); }));
    cli.Signal(GetParam());
    EXPECT_EQ(cli.ExitCode(), 1) << cli.Log();
    EXPECT_NE(cli.Log().find("OPERATION ABORTED BY USER"), std::string::npos) << cli.Log();
    EXPECT_EQ(cli.Log().find("FINALIZING TRACK"), std::string::npos) << cli.Log();
    EXPECT_TRUE(rig.Commands(0x5B).empty());
}

INSTANTIATE_TEST_SUITE_P(IntAndTerm, CliBurnSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& Info) { return Info.param == SIGINT ? "SIGINT" : "SIGTERM"; });

// A CD-R whose burn failed in the middle: the session it left open.
struct CliUnfinished : CliBurn {
    std::string second = rig.files / "second";
    void SetUp() override {
        CliBurn::SetUp();
        WriteFile(second + "/added.txt", "two");
        rig.Insert(MediaKind::CdR);
        rig.SetKnob("fail-write-lba", "60");
        std::string output;
        ASSERT_NE(Cli("burn --drive 0 " + Quote(source + "/"), &output), 0) << output;
    }
    static uint64_t JsonNumber(const std::string& Json, const std::string& Name) {
        std::smatch match;
        if (!std::regex_search(Json, match, std::regex("\"" + Name + "\":(\\d+)"))) return 0;
        return std::stoull(match[1]);
    }
};

TEST_F(CliUnfinished, BurnsAreRefusedAndTheReportsShowTheUnfinishedSession) {
    rig.ClearTrace();
    std::string output;
    EXPECT_NE(Cli("burn --drive 0 " + Quote(second + "/"), &output), 0);
    EXPECT_NE(output.find("session 1 of the disc is unfinished: a burn failed or was interrupted"), std::string::npos)
        << output;
    EXPECT_NE(output.find("--close-unfinished"), std::string::npos) << output;
    const std::string image = rig.files / "image.iso";
    ASSERT_EQ(Cli("build-iso -o " + Quote(image) + " " + Quote(second + "/"), &output), 0) << output;
    EXPECT_NE(Cli("burn-iso --drive 0 " + Quote(image), &output), 0);
    EXPECT_NE(output.find("is unfinished"), std::string::npos) << output;
    EXPECT_NE(output.find("An image is written only onto a blank disc"), std::string::npos) << output;
    EXPECT_TRUE(rig.Commands(0x2A).empty());

    ASSERT_EQ(Cli("disc-info --drive 0", &output), 0) << output;
    EXPECT_NE(output.find("Unfinished:   session 1 of the disc is unfinished"), std::string::npos) << output;
    ASSERT_EQ(Cli("disc-info --drive 0 --json", &output), 0) << output;
    EXPECT_NE(output.find("\"unfinishedSession\":{\"session\":1,\"start\":0,\"blocks\":54}"), std::string::npos) << output;
    // What the failed burn wrote is used, not free: the blank blocks of
    // the 80-minute disc lie behind it.
    EXPECT_EQ(JsonNumber(output, "usedBlocks"), 54u) << output;
    EXPECT_EQ(JsonNumber(output, "freeBlocks"), 359847u - 54u) << output;

    ASSERT_EQ(Cli("sessions --drive 0", &output), 0) << output;
    EXPECT_NE(output.find("  001           0      0 MB  unfinished\n"), std::string::npos) << output;
}

TEST_F(CliUnfinished, CloseUnfinishedWritesTheNewSessionBehindItAndItReadsBack) {
    std::string output;
    ASSERT_EQ(Cli("burn --drive 0 --close-unfinished " + Quote(second + "/"), &output), 0) << output;
    EXPECT_NE(output.find(">>> CLOSING THE UNFINISHED SESSION # 1"), std::string::npos) << output;
    ASSERT_EQ(Cli("sessions --drive 0", &output), 0) << output;
    EXPECT_EQ(output.find("unfinished"), std::string::npos) << output;
    EXPECT_NE(output.find("  002       11454"), std::string::npos) << output;
    ASSERT_EQ(Cli("ls --drive 0", &output), 0) << output;
    EXPECT_NE(output.find("/second/added.txt"), std::string::npos) << output;
    EXPECT_EQ(output.find("readme.txt"), std::string::npos) << output;
    const std::string out = rig.files / "out";
    ASSERT_EQ(Cli("extract --drive 0 /second/added.txt -o " + Quote(out), &output), 0) << output;
    EXPECT_EQ(ReadFile(out + "/added.txt"), "two");
}

TEST_F(CliBurn, CloseUnfinishedWithTheLastSessionImportedCarriesTheLastFinishedOne) {
    const std::string failed = rig.files / "failed", second = rig.files / "second";
    WriteFile(failed + "/broken.txt", "never whole");
    WriteFile(failed + "/large.bin", "");
    ASSERT_EQ(truncate((failed + "/large.bin").c_str(), 8 << 20), 0);
    WriteFile(second + "/added.txt", "two");
    rig.Insert(MediaKind::CdR);
    std::string output;
    ASSERT_EQ(Cli("burn --drive 0 " + Quote(source + "/"), &output), 0) << output;
    // Session 2 begins at most some hundred blocks behind the first one's
    // lead-out and lead-in; this fails its burn in the middle of large.bin.
    rig.SetKnob("fail-write-lba", "12500");
    ASSERT_NE(Cli("burn --drive 0 " + Quote(failed + "/"), &output), 0) << output;
    ASSERT_EQ(Cli("burn --drive 0 --close-unfinished --import-session last " + Quote(second + "/"), &output), 0)
        << output;
    EXPECT_NE(output.find("SESSION # 2 IS UNFINISHED"), std::string::npos) << output;
    ASSERT_EQ(Cli("ls --drive 0", &output), 0) << output;
    EXPECT_NE(output.find("/src/readme.txt"), std::string::npos) << output;
    EXPECT_NE(output.find("/second/added.txt"), std::string::npos) << output;
    EXPECT_EQ(output.find("broken.txt"), std::string::npos) << output;
}

}  // namespace
}  // namespace kestrel
