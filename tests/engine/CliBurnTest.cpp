// kestrel-cli burn and burn-iso through the real program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

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
    EXPECT_TRUE(rig.Commands(0x5B).empty());
}

INSTANTIATE_TEST_SUITE_P(IntAndTerm, CliBurnSignal, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& Info) { return Info.param == SIGINT ? "SIGINT" : "SIGTERM"; });

}  // namespace
}  // namespace kestrel
