// kestrel-cli burn and burn-iso: write a compilation or an image file onto
// the disc in a drive, with a status line of the written megabytes, the
// read-ahead cache and the drive's buffer. Ctrl-C aborts the write.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

#include "burner/engine/KestrelBurner.h"
#include "cli/BootArgs.h"
#include "cli/CliCommand.h"
#include "cli/CompilationArgs.h"
#include "cli/DriveSelection.h"
#include "cli/ProgressBar.h"
#include "cli/SessionChoice.h"

namespace kestrel::cli {
namespace {

// The longest write waited for (scaled like every wait): a full DVD at the
// slowest speed, twice over.
constexpr int64_t kBurnBudgetMs = 8LL * 3600 * 1000;

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

// Ctrl-C while the object lives asks the write to stop instead of ending
// the program.
class TInterruptGuard {
public:
    TInterruptGuard() {
        interrupted = 0;
        struct sigaction action{};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &old_);
        sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~TInterruptGuard() {
        sigaction(SIGINT, &old_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;
    bool Interrupted() const { return interrupted != 0; }

private:
    struct sigaction old_{};
    struct sigaction oldTerm_{};
};

// One status line on a terminal; log lines go above it.
class TBurnStatus {
public:
    TBurnStatus() : terminal_(isatty(STDERR_FILENO)) {}
    ~TBurnStatus() { End(); }
    TBurnStatus(const TBurnStatus&) = delete;
    TBurnStatus& operator=(const TBurnStatus&) = delete;

    void Show(const TKestrelBurner& Burner) {
        if (!terminal_) return;
        std::lock_guard lock(mutex_);
        const uint32_t size = Burner.DeviceBufferBytes();
        const uint32_t used = size - std::min(size, Burner.DeviceFreeBufferBytes());
        const int buffer = size ? static_cast<int>(uint64_t(used) * 100 / size) : 0;
        line_ = TProgressBar::Render("Burning", Burner.BytesWritten(), Burner.ImageSectors() * 2048, 60) +
                "  cache " + std::to_string(Burner.CacheFillPercent()) + "%  buffer " + std::to_string(buffer) + "%";
        std::fprintf(stderr, "\r%s\033[K", line_.c_str());
        std::fflush(stderr);
    }
    void Message(const std::string& Line) {
        std::lock_guard lock(mutex_);
        if (terminal_ && !line_.empty()) std::fprintf(stderr, "\r\033[K");
        std::fprintf(stderr, "%s\n", Line.c_str());
        if (terminal_ && !line_.empty()) std::fprintf(stderr, "%s", line_.c_str());
        std::fflush(stderr);
    }
    void End() {
        std::lock_guard lock(mutex_);
        if (terminal_ && !line_.empty()) std::fprintf(stderr, "\n");
        line_.clear();
    }

private:
    std::mutex mutex_;
    bool terminal_;
    std::string line_;
};

// The write options shared by both commands and the property values the
// desktop program's main window starts its burner with.
void ApplyWriteOptions(TKestrelBurner& Burner, const TParsedArgs& Args) {
    Burner.DoDebug = true;
    Burner.ReplaceFile = false;
    Burner.WritePostGap = true;
    Burner.SetCacheSize(8392704);
    Burner.TestWrite = Args.Has("--test");
    Burner.FinalizeDisc = Args.Has("--finalize");
    Burner.PerformOPC = !Args.Has("--no-opc");
    if (auto speed = Args.Optional("--speed")) Burner.SetWriteSpeed(ParseSpeed(*speed));
}

// Runs the started write to its end; returns the exit code.
int WaitForWrite(TKestrelBurner& Burner, TQueueDispatcher& Queue, TBurnStatus& Status, const TParsedArgs& Args) {
    TInterruptGuard guard;
    bool done = false, abortSent = false;
    std::string error;
    Burner.OnWriteDone = [&](TKestrelBurner*, const std::string& Error) {
        done = true;
        error = Error;
    };
    Burner.OnFinalizingTrack = [&](TKestrelBurner*) { Status.Message(">>> FINALIZING TRACK"); };
    const bool finished = WaitForEvent(
        Queue, [&] { return done; }, kBurnBudgetMs,
        [&] {
            if (guard.Interrupted() && !abortSent) {
                abortSent = true;
                Status.Message(">>> ABORTING THE WRITE");
                Burner.AbortWrite();
            }
            Status.Show(Burner);
        },
        250);
    Status.End();
    if (!finished) {
        Burner.AbortWrite();
        Burner.WaitForWriteEnd(60000);
        return Fail("the write did not finish in time");
    }
    if (!error.empty()) {
        std::cerr << ">>> WRITE/BURNCD PROCESS DONE WITH ERROR\n";
        return Fail(error);
    }
    std::cout << ">>> WRITE/BURNCD PROCESS DONE\n";
    if (Args.Has("--archive") && !Burner.TestWrite) Burner.ClearArchiveBits();
    if (Args.Has("--eject")) Burner.LoadEject(true);
    return 0;
}

// The drive opened, its events queued for this thread, log lines shown
// (information only with --verbose) and the write options applied.
std::shared_ptr<TQueueDispatcher> OpenWriter(TKestrelBurner& Burner, TBurnStatus& Status, const TParsedArgs& Args) {
    auto queue = UseQueueDispatcher(Burner);
    OpenDrive(Burner, Args);
    Burner.OnDebugMessage = [&Status, verbose = Args.Has("--verbose")](TDebugLog*, const std::string& Message,
                                                                        uint8_t Type) {
        if (Type != mtInfo || verbose) Status.Message(Message);
    };
    ApplyWriteOptions(Burner, Args);
    return queue;
}

int RunBurn(const TParsedArgs& Args) {
    if (Args.Positional().empty()) throw TUsageError("no SOURCE given");
    TBurnStatus status;
    TKestrelBurner burner;
    auto queue = OpenWriter(burner, status, Args);
    burner.FormatBeforeBurn = Args.Has("--format");
    if (const std::string refused = StartCompilation(burner, Args); !refused.empty()) return Fail(refused);
    // The previous session comes first, then the new entries over it.
    burner.SessionToImport = 0;
    if (auto session = Args.Optional("--import-session")) {
        const int number = ChosenSession(burner, ParseSessionNumber("--import-session", *session));
        if (!burner.ImportDiscSession(number, nullptr))
            return Fail("session " + std::to_string(number) + " of the disc could not be imported");
    }
    TFillOptions options;
    options.SavePath = ParseSavePath(Args.Value("--save-path", "grayed"));
    options.ArchiveFiles = Args.Has("--archive");
    const TFillResult filled = FillCompilation(burner, SourceEntries(Args), options);
    if (!filled.Filled) return Fail(filled.Message.empty() ? "the compilation could not be filled" : filled.Message);
    status.Message(">>> STARTING BURNCD ON " + burner.CurrentDevice());
    if (!burner.BurnCD()) return Fail("another write is running on this burner");
    return WaitForWrite(burner, *queue, status, Args);
}

int RunBurnIso(const TParsedArgs& Args) {
    if (Args.Positional().size() != 1) throw TUsageError("give exactly one IMAGE");
    TBurnStatus status;
    TKestrelBurner burner;
    auto queue = OpenWriter(burner, status, Args);
    status.Message(">>> STARTING BURN ISO ON " + burner.CurrentDevice());
    if (!burner.BurnISOImage(Args.Positional().front())) return Fail("another write is running on this burner");
    return WaitForWrite(burner, *queue, status, Args);
}

std::vector<TOptionSpec> WriteOptions(bool Compilation) {
    auto options = DriveOptions();
    for (const char* flag : {"--test", "--finalize", "--no-opc", "--eject"}) options.push_back({flag, false, ""});
    options.push_back({"--speed", true, ""});
    if (!Compilation) return options;
    for (const char* flag : {"--archive", "--no-joliet", "--non-recursive", "--format"})
        options.push_back({flag, false, ""});
    for (const char* valued : {"--import-session", "--volume-id", "--save-path"})
        options.push_back({valued, true, ""});
    for (TOptionSpec& boot : BootOptions()) options.push_back(std::move(boot));
    return options;
}

const TCliRegistration burn({
    "burn",
    std::string("burn [--drive N] [--speed KBPS|max] [--test] [--finalize] [--no-opc] [--eject] [--archive] "
                "[--import-session N|last] [--no-joliet] [--volume-id TEXT] ") +
        BootUsage + " [--save-path unchecked|checked|grayed] [--non-recursive] [--format] SOURCE...",
    "Burns files and directories onto the disc in a drive as a new session.",
    WriteOptions(true),
    RunBurn,
});

const TCliRegistration burnIso({
    "burn-iso",
    "burn-iso [--drive N] [--speed KBPS|max] [--test] [--finalize] [--no-opc] [--eject] IMAGE",
    "Burns an image file onto the disc in a drive, from its first sector.",
    WriteOptions(false),
    RunBurnIso,
});

}  // namespace
}  // namespace kestrel::cli
