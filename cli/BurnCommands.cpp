// kestrel-cli burn and burn-iso: write a compilation or an image file onto
// the disc in a drive, with a status line that names each step of the
// write and its progress. Ctrl-C aborts the write.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>

#include "burner/engine/KestrelBurner.h"
#include "cli/BootArgs.h"
#include "cli/BurnStatus.h"
#include "cli/CliCommand.h"
#include "cli/CompilationArgs.h"
#include "cli/DiscState.h"
#include "cli/DriveSelection.h"
#include "cli/InterruptGuard.h"
#include "cli/SessionChoice.h"

namespace kestrel::cli {
namespace {

// The longest write waited for (scaled like every wait): a full dual-layer
// BD at 1x, or a full DVD at the slowest speed, twice over.
constexpr int64_t kBurnBudgetMs = 8LL * 3600 * 1000;
// How often the status is brought up to date.
constexpr int kStatusTickMs = 100;

// A test write only simulates: the drive records nothing, and the user is
// told so when it starts and when it ends.
constexpr const char* kTestWriteStart = ">>> TEST WRITE: NOTHING WILL BE RECORDED ON THE DISC";
constexpr const char* kTestWriteEnd = ">>> TEST WRITE: NOTHING WAS RECORDED ON THE DISC";

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
    Burner.VerifyAfterWrite = Args.Has("--verify");
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
    Status.Show(Burner);
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
        kStatusTickMs);
    Status.End();
    if (!finished) {
        Burner.AbortWrite();
        Burner.WaitForWriteEnd(60000);
        return Fail("the write did not finish in time");
    }
    if (!error.empty()) {
        std::cerr << ">>> WRITE/BURNCD PROCESS DONE WITH ERROR\n";
        if (Burner.TestWrite) std::cerr << kTestWriteEnd << "\n";
        return Fail(error);
    }
    std::cout << ">>> WRITE/BURNCD PROCESS DONE\n";
    if (Burner.TestWrite) std::cout << kTestWriteEnd << "\n";
    else if (Burner.VerifyAfterWrite) std::cout << ">>> " << Burner.LastVerification().Summary() << "\n";
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
        if (ShowLogLine(Type, verbose)) Status.Message(Message);
    };
    ApplyWriteOptions(Burner, Args);
    return queue;
}

// A session that a failed burn left open is refused before anything is
// read or written, unless the burn is to close it.
std::string RefuseUnfinished(TKestrelBurner& Burner, bool Image) {
    if (std::string held = Burner.DriveHeldByAnotherProgram(); !held.empty()) return held;
    const auto unfinished = Burner.FindUnfinishedSession();
    if (!unfinished) return {};
    if (Image)
        return UnfinishedSessionText(*unfinished) +
               ". An image is written only onto a blank disc: use a blank disc, or erase this one if it is "
               "rewritable; " + CloseUnfinishedHint() + " (a burn of files)";
    return UnfinishedSessionText(*unfinished) + ". " + CloseUnfinishedHint();
}

int RunBurn(const TParsedArgs& Args) {
    if (Args.Positional().empty()) throw TUsageError("no SOURCE given");
    TBurnStatus status;
    TKestrelBurner burner;
    auto queue = OpenWriter(burner, status, Args);
    burner.FormatBeforeBurn = Args.Has("--format");
    burner.CloseUnfinishedSession = Args.Has("--close-unfinished");
    if (!burner.CloseUnfinishedSession && !burner.FormatBeforeBurn)
        if (const std::string refused = RefuseUnfinished(burner, false); !refused.empty()) return Fail(refused);
    if (const std::string refused = StartCompilation(burner, Args); !refused.empty()) return Fail(refused);
    if (const std::string refused = CheckSourceArgs(burner, Args); !refused.empty()) return Fail(refused);
    // The previous session comes first, then the new entries over it.
    burner.SessionToImport = 0;
    if (auto session = Args.Optional("--import-session")) {
        const int asked = ParseSessionNumber("--import-session", *session);
        const int number = ChosenSession(burner, asked);
        // "last" is left to the import: it passes over a session that a
        // failed burn left unfinished (and says so).
        if (!burner.ImportDiscSession(asked == -1 ? -1 : number, nullptr))
            return Fail("session " + (asked == -1 ? std::string("last") : std::to_string(number)) +
                        " of the disc could not be imported");
    }
    TFillOptions options;
    options.SavePath = ParseSavePath(Args.Value("--save-path", "grayed"));
    options.ArchiveFiles = Args.Has("--archive");
    const TFillResult filled = FillCompilation(burner, SourceEntries(Args), options);
    if (!filled.Filled) return Fail(filled.Message.empty() ? "the compilation could not be filled" : filled.Message);
    if (const std::string refused = CheckSourcesStored(burner, Args); !refused.empty()) return Fail(refused);
    status.Message(">>> STARTING BURNCD ON " + burner.CurrentDevice());
    if (burner.TestWrite) status.Message(kTestWriteStart);
    if (!burner.BurnCD()) return Fail("another write is running on this burner");
    return WaitForWrite(burner, *queue, status, Args);
}

int RunBurnIso(const TParsedArgs& Args) {
    if (Args.Positional().size() != 1) throw TUsageError("give exactly one IMAGE");
    TBurnStatus status;
    TKestrelBurner burner;
    auto queue = OpenWriter(burner, status, Args);
    if (const std::string refused = RefuseUnfinished(burner, true); !refused.empty()) return Fail(refused);
    status.Message(">>> STARTING BURN ISO ON " + burner.CurrentDevice());
    if (burner.TestWrite) status.Message(kTestWriteStart);
    if (!burner.BurnISOImage(Args.Positional().front())) return Fail("another write is running on this burner");
    return WaitForWrite(burner, *queue, status, Args);
}

std::vector<TOptionSpec> WriteOptions(bool Compilation) {
    auto options = DriveOptions();
    for (const char* flag : {"--test", "--finalize", "--no-opc", "--eject", "--verify"})
        options.push_back({flag, false, ""});
    options.push_back({"--speed", true, ""});
    if (!Compilation) return options;
    for (const char* flag : {"--archive", "--no-joliet", "--no-rock-ridge", "--follow-links", "--non-recursive", "--format",
                             "--close-unfinished"})
        options.push_back({flag, false, ""});
    for (const char* valued : {"--import-session", "--volume-id", "--save-path"})
        options.push_back({valued, true, ""});
    for (TOptionSpec& boot : BootOptions()) options.push_back(std::move(boot));
    return options;
}

const TCliRegistration burn({
    "burn",
    std::string("burn [--drive N] [--speed KBPS|max] [--test] [--finalize] [--no-opc] [--eject] [--verify] [--archive] "
                "[--import-session N|last] [--no-joliet] [--no-rock-ridge] [--follow-links] [--volume-id TEXT] ") +
        BootUsage + " [--save-path unchecked|checked|grayed] [--non-recursive] [--format] [--close-unfinished] SOURCE...",
    "Burns files and directories onto the disc in a drive as a new session. --close-unfinished first closes "
    "a session that a failed or interrupted burn left unfinished, so that the new one can follow it. --verify "
    "reads the session back after closing it and fails, naming the files, where the disc differs from what was "
    "written, cannot be read, or a source changed while it was burnt.",
    WriteOptions(true),
    RunBurn,
});

const TCliRegistration burnIso({
    "burn-iso",
    "burn-iso [--drive N] [--speed KBPS|max] [--test] [--finalize] [--no-opc] [--eject] [--verify] IMAGE",
    "Burns an image file onto the disc in a drive, from its first sector. --verify reads it back after "
    "closing and fails, naming the files of the image, where the disc differs from the image.",
    WriteOptions(false),
    RunBurnIso,
});

}  // namespace
}  // namespace kestrel::cli
