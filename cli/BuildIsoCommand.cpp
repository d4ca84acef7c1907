// kestrel-cli build-iso: fills the compilation from source paths the way the
// desktop program's list does, lays it out and writes an ISO 9660 image.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "burner/common/Dispatcher.h"
#include "burner/engine/KestrelBurner.h"
#include "cli/BootArgs.h"
#include "cli/CliCommand.h"
#include "cli/CompilationArgs.h"
#include "cli/InterruptGuard.h"
#include "cli/ProgressBar.h"

namespace kestrel::cli {

namespace {

// The property values the desktop program's main window starts its burner
// with; the command-line tool reads no settings file.
// The speeds (0 = the drive's maximum) are left alone: setting them talks to
// a drive, which an image build never needs.
void ApplyStartValues(TKestrelBurner& Burner) {
    Burner.DoDebug = true;
    Burner.UnderrunProtection = true;
    Burner.FinalizeDisc = false;
    Burner.TestWrite = false;
    Burner.ReplaceFile = false;
    Burner.PerformOPC = true;
    Burner.WritePostGap = true;
    Burner.SetCacheSize(8392704);
    Burner.ISOFileName = "c:\\abc.iso";
}

// Waits for the end of a save (Done), showing the progress of a normal save
// (a quick save shows its own). SIGINT or SIGTERM (caught by Guard) asks the
// save to stop; it then ends with its abort error. The budget grows with the image: ten
// minutes plus one second per megabyte.
bool WaitForSaveEnd(TKestrelBurner& Burner, TQueueDispatcher& Queue, const std::atomic<bool>& Done, bool Quick,
                    const TInterruptGuard& Guard, TProgressBar& Bar) {
    bool abortShown = false;
    const int64_t imageBytes = Burner.ImageSectors() * 2048;
    const auto budget = std::chrono::minutes(10) + std::chrono::seconds(imageBytes / 1048576);
    const auto deadline = std::chrono::steady_clock::now() + budget;
    while (!Done) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (Guard.Interrupted()) {
            if (!abortShown) Bar.Message(">>> ABORTING THE IMAGE BUILD");
            abortShown = true;
            // Asked again at every round: a quick save that had not started
            // yet when the signal came clears an earlier request.
            Burner.AbortWrite();
        }
        Queue.RunPending(200);
        if (!Quick) Bar.Update(Burner.BytesWritten(), imageBytes);
    }
    return true;
}

// Starts the save. The quick save runs on a thread of its own (returned),
// so that this one can answer a signal; it raises OnWriteDone when it
// succeeds and leaves its exception in Error when it fails.
std::thread StartSave(TKestrelBurner& Burner, const std::string& Image, bool Quick, std::string& Error,
                      std::atomic<bool>& Done) {
    if (!Quick) {
        Burner.SaveToISOFile(Image, false);
        return {};
    }
    return std::thread([&Burner, Image, &Error, &Done] {
        try {
            Burner.SaveToISOFile(Image, true);
        } catch (const std::exception& e) {
            Error = e.what();
            Done = true;
        }
    });
}

int RunBuildIso(const TParsedArgs& Args) {
    const std::string image = Args.Value("--output");
    if (image.empty()) throw TUsageError("the image file is missing (-o IMAGE)");
    if (Args.Positional().empty()) throw TUsageError("no SOURCE given");
    const bool verbose = Args.Has("--verbose");
    const bool quick = Args.Has("--quick");

    TProgressBar bar("Writing");
    TKestrelBurner burner;
    auto queue = std::make_shared<TQueueDispatcher>();
    burner.SetDispatcher(queue);
    ApplyStartValues(burner);
    burner.OnDebugMessage = [&](TDebugLog*, const std::string& Message, uint8_t Type) {
        if (Type != mtInfo || verbose) bar.Message(Message);
    };
    if (const std::string refused = StartCompilation(burner, Args); !refused.empty()) return Fail(refused);
    if (const std::string refused = CheckSourceArgs(burner, Args); !refused.empty()) return Fail(refused);

    TFillOptions options;
    options.SavePath = ParseSavePath(Args.Value("--save-path", "grayed"));
    const TFillResult filled = FillCompilation(burner, SourceEntries(Args), options);
    if (!filled.Filled) return Fail(filled.Message.empty() ? "the compilation could not be filled" : filled.Message);
    if (const std::string refused = CheckSourcesStored(burner, Args); !refused.empty()) return Fail(refused);

    // A FIFO whose reader goes away fails the write (EPIPE) instead of
    // ending the program before it has cleaned up.
    std::signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> done{false};
    std::string error;  // set before done
    burner.OnWriteDone = [&](TKestrelBurner*, const std::string& Error) {
        error = Error;
        done = true;
    };
    burner.OnImageProgress = [&](TImageBuilder*, int64_t Done, int64_t Total) { bar.Update(Done, Total); };
    // From here on a signal stops the save instead of the program, which
    // could leave a temporary file behind.
    TInterruptGuard guard;
    std::thread quickSave = StartSave(burner, image, quick, error, done);
    const bool finished = WaitForSaveEnd(burner, *queue, done, quick, guard, bar);
    if (!finished) burner.AbortWrite();
    if (quickSave.joinable()) quickSave.join();
    if (!finished) return Fail("the image build did not finish in time");
    queue->RunPending(0);
    if (!error.empty()) return Fail(error);
    const int64_t imageBytes = burner.ImageSectors() * 2048;
    bar.Update(imageBytes, imageBytes);
    bar.Finish();
    // An image sent to the standard output (-o /dev/stdout) is not followed by text.
    struct stat target {}, out {};
    FILE* summary = ::stat(image.c_str(), &target) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
                            target.st_dev == out.st_dev && target.st_ino == out.st_ino
                        ? stderr
                        : stdout;
    std::fprintf(summary, "%s: %lld sectors (%.2f MB), %d files, %d directories\n", image.c_str(),
                static_cast<long long>(burner.ImageEndLBA - burner.ImageStartLBA),
                double((burner.ImageEndLBA - burner.ImageStartLBA) * 2048) / 1048576.0,
                burner.FilesCount() - burner.DirsCount(), burner.DirsCount());
    return 0;
}

std::vector<TOptionSpec> BuildIsoOptions() {
    std::vector<TOptionSpec> options{{"--output", true, "-o"},      {"--quick", false, ""},
                                     {"--volume-id", true, ""},     {"--no-joliet", false, ""},
                                     {"--no-rock-ridge", false, ""}, {"--follow-links", false, ""},
                                     {"--save-path", true, ""},     {"--non-recursive", false, ""},
                                     {"--verbose", false, ""}};
    for (TOptionSpec& boot : BootOptions()) options.push_back(std::move(boot));
    return options;
}

const TCliRegistration registration({
    "build-iso",
    std::string("build-iso -o IMAGE [--quick] [--volume-id TEXT] [--no-joliet] [--no-rock-ridge] [--follow-links] ") +
        BootUsage + " [--save-path unchecked|checked|grayed] [--non-recursive] [--verbose] SOURCE...",
    "Builds an ISO 9660 image (with Rock Ridge and Joliet names and optional El Torito boot entries for BIOS and "
    "UEFI) from files and directories. Symbolic links are stored as links unless --follow-links or --no-rock-ridge.",
    BuildIsoOptions(),
    RunBuildIso,
});

}  // namespace

}  // namespace kestrel::cli
