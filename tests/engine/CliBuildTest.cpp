// kestrel-cli build-iso through the real program: sources it cannot store,
// a full disk, and SIGINT or SIGTERM while it writes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "EngineTestSupport.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
namespace fs = std::filesystem;

const std::string kCli = KESTREL_CLI_PATH;

struct CliBuild : ::testing::Test {
    TTempDir dir;
    std::string source = dir / "src";
    std::string image = dir / "out.iso";
    void SetUp() override { MakeSourceTree(source); }

    TCommandResult Build(const std::string& Arguments) {
        return CaptureCommand(Quote(kCli) + " build-iso " + Arguments + " 2>&1");
    }
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            if (entry.path().filename().string().find(".part-") != std::string::npos)
                found.push_back(entry.path().string());
        return found;
    }
};

TEST_F(CliBuild, SourceThatCannotBeStoredIsAnErrorAndNoImageIsWritten) {
    const std::string fifo = dir / "fifo", broken = dir / "broken", loop = dir / "loop";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("nowhere", broken);
    fs::create_symlink("loop", loop);
    const std::string hollow = dir / "hollow";
    fs::create_directories(hollow);
    ASSERT_EQ(::mkfifo((hollow + "/pipe").c_str(), 0600), 0);
    WriteFile(dir / "other/readme.txt", "a second file of the same name");
    const struct {
        std::string Sources;
        std::string Reason;
    } cases[] = {
        {Quote(fifo), "\"" + fifo + "\" cannot be stored: IT IS A FIFO"},
        {"--follow-links " + Quote(broken), "\"" + broken + "\" is a broken symbolic link"},
        {"--follow-links " + Quote(loop), "\"" + loop + "\" cannot be read: Too many levels of symbolic links"},
        {Quote(hollow), "nothing to write"},
        {"--save-path unchecked " + Quote(source + "/readme.txt") + " " + Quote(dir / "other/readme.txt"),
         "\"" + (dir / "other/readme.txt") + "\" cannot be stored: FILE OF A NAME ALREADY ADDED"},
    };
    for (const auto& c : cases)
        for (const char* mode : {"", "--quick "}) {
            const TCommandResult r = Build(mode + std::string("-o ") + Quote(image) + " " + c.Sources);
            EXPECT_EQ(r.ExitCode, 1) << c.Sources << "\n" << r.Output;
            EXPECT_NE(r.Output.find(c.Reason), std::string::npos) << r.Output;
            EXPECT_FALSE(fs::exists(image)) << c.Sources;
        }
    // Kept as links, the same two are stored.
    const TCommandResult links = Build("-o " + Quote(image) + " " + Quote(broken) + " " + Quote(loop));
    EXPECT_EQ(links.ExitCode, 0) << links.Output;
}

// As root every file is readable: the program then runs as nobody.
TEST_F(CliBuild, SourceWithoutReadPermissionIsAnError) {
    const std::string secret = dir / "secret.txt", closed = dir / "closed";
    WriteFile(secret, "secret");
    WriteFile(closed + "/inside.txt", "inside");
    std::string runAs;
    if (::geteuid() == 0) {
        if (!HaveProgram("setpriv")) GTEST_SKIP() << "setpriv is not installed";
        runAs = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
        ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
        ASSERT_EQ(::chmod(closed.c_str(), 0700), 0);
    } else {
        ASSERT_EQ(::chmod(secret.c_str(), 0), 0);
        ASSERT_EQ(::chmod(closed.c_str(), 0), 0);
    }
    for (const std::string& unreadable : {secret, closed}) {
        const TCommandResult r =
            CaptureCommand(runAs + Quote(kCli) + " build-iso -o " + Quote(image) + " " + Quote(unreadable) + " 2>&1");
        EXPECT_EQ(r.ExitCode, 1) << r.Output;
        EXPECT_NE(r.Output.find("\"" + unreadable + "\" cannot be read: Permission denied"), std::string::npos)
            << r.Output;
        EXPECT_FALSE(fs::exists(image));
    }
    ::chmod(closed.c_str(), 0700);
}

// Where no new file can be made beside the image, the writable image itself
// is overwritten in place.
TEST_F(CliBuild, ImageInAFolderThatTakesNoNewFileIsOverwrittenInPlace) {
    const std::string folder = dir / "locked", locked = folder + "/image.iso";
    WriteFile(locked, "old image");
    ASSERT_EQ(::chmod(locked.c_str(), 0666), 0);
    std::string runAs;
    if (::geteuid() == 0) {
        if (!HaveProgram("setpriv")) GTEST_SKIP() << "setpriv is not installed";
        runAs = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    const TCommandResult r =
        CaptureCommand(runAs + Quote(kCli) + " build-iso -o " + Quote(locked) + " " + Quote(source) + " 2>&1");
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(ReadFile(locked).compare(16 * 2048 + 1, 5, "CD001"), 0);
}

// The standard output on a pipe is a link no path follows; the image goes
// through it, and the summary goes to the errors instead.
TEST_F(CliBuild, ImageToTheStandardOutputGoesThroughThePipeAlone) {
    for (const char* mode : {"", "--quick "}) {
        const std::string status = dir / "status";
        CaptureCommand("{ " + Quote(kCli) + " build-iso " + mode + "-o /dev/stdout " + Quote(source) +
                       " 2>/dev/null; echo $? > " + Quote(status) + "; } | cat > " + Quote(image));
        EXPECT_EQ(ReadFile(status), "0\n") << mode;
        const std::string bytes = ReadFile(image);
        EXPECT_EQ(bytes.size() % 2048, 0u) << mode;
        EXPECT_EQ(bytes.compare(16 * 2048 + 1, 5, "CD001"), 0) << mode;
    }
}

struct CliBuildMode : CliBuild, ::testing::WithParamInterface<bool> {
    std::string Mode() const { return GetParam() ? "--quick " : ""; }
};

// A file size limit stands in for a full disk; the program ignores the
// signal that comes with it and sees the failed write.
TEST_P(CliBuildMode, FullDiskFailsWithTheSystemsReasonAndKeepsTheOldImage) {
    WriteFile(source + "/data/big.bin", std::string(1 << 20, 'x'));
    WriteFile(image, "old image");
    const TCommandResult r = CaptureCommand("ulimit -f 256; trap '' XFSZ; exec " + Quote(kCli) + " build-iso " + Mode() +
                                            "-o " + Quote(image) + " " + Quote(source) + " 2>&1");
    EXPECT_EQ(r.ExitCode, 1) << r.Output;
    EXPECT_NE(r.Output.find("CAN'T WRITE FILE \"" + image + "\": File too large"), std::string::npos) << r.Output;
    EXPECT_EQ(ReadFile(image), "old image");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});

    // A device that is always full (this test's own node) is no success either.
    const std::string full = dir / "full";
    if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) GTEST_SKIP() << "device nodes cannot be made here";
    const TCommandResult device = Build(Mode() + "-o " + Quote(full) + " " + Quote(source));
    EXPECT_EQ(device.ExitCode, 1) << device.Output;
    EXPECT_NE(device.Output.find("No space left on device"), std::string::npos) << device.Output;
    struct stat st {};
    ASSERT_EQ(::lstat(full.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

INSTANTIATE_TEST_SUITE_P(BothSaves, CliBuildMode, ::testing::Values(false, true),
                         [](const auto& Info) { return Info.param ? "Quick" : "Normal"; });

// A write lease: a program that opens the file waits until the lease is
// dropped, which holds the build at a known point.
class TLease {
public:
    explicit TLease(const std::string& Path) : oldHandler_(::signal(SIGIO, SIG_IGN)) {
        fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
        held_ = fd_ >= 0 && ::fcntl(fd_, F_SETLEASE, F_WRLCK) == 0;
    }
    ~TLease() {
        Drop();
        ::signal(SIGIO, oldHandler_);
    }
    TLease(const TLease&) = delete;
    TLease& operator=(const TLease&) = delete;
    bool Held() const { return held_; }
    void Drop() {
        if (fd_ < 0) return;
        ::fcntl(fd_, F_SETLEASE, F_UNLCK);
        ::close(fd_);
        fd_ = -1;
    }

private:
    sighandler_t oldHandler_;
    int fd_ = -1;
    bool held_ = false;
};

struct CliBuildSignal : CliBuild, ::testing::WithParamInterface<std::tuple<bool, int>> {};

// The build reads a large file (the normal save's read-ahead fills up and
// the image file is begun), then waits for the leased one; the signal comes
// while it waits.
TEST_P(CliBuildSignal, EndsTheBuildCleanlyAndKeepsTheOldImage) {
    const auto [quick, signal] = GetParam();
    const std::string sources = dir / "sig", large = sources + "/a.bin", held = sources + "/b.txt";
    WriteFile(held, "held");
    { std::ofstream(large).close(); }
    ASSERT_EQ(::truncate(large.c_str(), 16 << 20), 0);  // twice the read-ahead
    WriteFile(image, "old image");
    TLease lease(held);
    if (!lease.Held()) GTEST_SKIP() << "file leases are not available here";

    std::vector<std::string> args = {kCli, "build-iso", "-o", image, sources};
    if (quick) args.insert(args.begin() + 2, "--quick");
    TBackgroundProgram cli(args, dir / "cli.log");
    ASSERT_TRUE(cli.Started());
    ASSERT_TRUE(cli.WaitFor([&] { return !Leftovers().empty(); })) << cli.Log();
    cli.Signal(signal);
    EXPECT_TRUE(cli.WaitFor([&] { return cli.Log().find(">>> ABORTING") != std::string::npos; })) << cli.Log();
    lease.Drop();
    EXPECT_EQ(cli.ExitCode(), 1) << cli.Log();
    EXPECT_NE(cli.Log().find("OPERATION ABORTED BY USER"), std::string::npos) << cli.Log();
    EXPECT_EQ(ReadFile(image), "old image");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(BothSavesBothSignals, CliBuildSignal,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(SIGINT, SIGTERM)),
                         [](const auto& Info) {
                             return std::string(std::get<0>(Info.param) ? "Quick" : "Normal") +
                                    (std::get<1>(Info.param) == SIGINT ? "SIGINT" : "SIGTERM");
                         });

}  // namespace
}  // namespace kestrel
