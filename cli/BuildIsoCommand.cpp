// kestrel-cli build-iso: fills the compilation from source paths the way the
// desktop program's list does, lays it out and writes an ISO 9660 image.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "burner/common/Dispatcher.h"
#include "burner/engine/KestrelBurner.h"
#include "cli/BootArgs.h"
#include "cli/CliCommand.h"
#include "cli/CompilationArgs.h"
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

// Waits for OnWriteDone of a save that runs on the burner's threads. The
// budget grows with the image: ten minutes plus one second per megabyte.
bool WaitForWriteDone(TKestrelBurner& Burner, TQueueDispatcher& Queue, const std::atomic<bool>& Done,
                      TProgressBar& Bar) {
    const int64_t imageBytes = Burner.ImageSectors() * 2048;
    const auto budget = std::chrono::minutes(10) + std::chrono::seconds(imageBytes / 1048576);
    const auto deadline = std::chrono::steady_clock::now() + budget;
    while (!Done) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Queue.RunPending(200);
        Bar.Update(Burner.BytesWritten(), imageBytes);
    }
    return true;
}

int RunBuildIso(const TParsedArgs& Args) {
    const std::string image = Args.Value("--output");
    if (image.empty()) throw TUsageError("the image file is missing (-o IMAGE)");
    if (Args.Positional().empty()) throw TUsageError("no SOURCE given");
    const bool verbose = Args.Has("--verbose");

    TProgressBar bar("Writing");
    TKestrelBurner burner;
    auto queue = std::make_shared<TQueueDispatcher>();
    burner.SetDispatcher(queue);
    ApplyStartValues(burner);
    burner.OnDebugMessage = [&](TDebugLog*, const std::string& Message, uint8_t Type) {
        if (Type != mtInfo || verbose) bar.Message(Message);
    };
    if (const std::string refused = StartCompilation(burner, Args); !refused.empty()) return Fail(refused);

    TFillOptions options;
    options.SavePath = ParseSavePath(Args.Value("--save-path", "grayed"));
    for (const auto& source : Args.Positional()) {
        struct stat st {};
        if (::stat(source.c_str(), &st) != 0) return Fail("the source \"" + source + "\" does not exist");
    }
    const TFillResult filled = FillCompilation(burner, SourceEntries(Args), options);
    if (!filled.Filled) return Fail(filled.Message.empty() ? "the compilation could not be filled" : filled.Message);

    std::atomic<bool> done{false};
    std::string error;
    burner.OnWriteDone = [&](TKestrelBurner*, const std::string& Error) {
        error = Error;
        done = true;
    };
    burner.OnImageProgress = [&](TImageBuilder*, int64_t Done, int64_t Total) { bar.Update(Done, Total); };
    const int started = burner.SaveToISOFile(image, Args.Has("--quick"));
    if (started != 1 && !WaitForWriteDone(burner, *queue, done, bar))
        return Fail("the image build did not finish in time");
    queue->RunPending(0);
    if (!error.empty()) return Fail(error);
    const int64_t imageBytes = burner.ImageSectors() * 2048;
    bar.Update(imageBytes, imageBytes);
    bar.Finish();
    std::printf("%s: %lld sectors (%.2f MB), %d files, %d directories\n", image.c_str(),
                static_cast<long long>(burner.ImageEndLBA - burner.ImageStartLBA),
                double((burner.ImageEndLBA - burner.ImageStartLBA) * 2048) / 1048576.0,
                burner.FilesCount() - burner.DirsCount(), burner.DirsCount());
    return 0;
}

std::vector<TOptionSpec> BuildIsoOptions() {
    std::vector<TOptionSpec> options{{"--output", true, "-o"},   {"--quick", false, ""},
                                     {"--volume-id", true, ""},  {"--no-joliet", false, ""},
                                     {"--save-path", true, ""},  {"--non-recursive", false, ""},
                                     {"--verbose", false, ""}};
    for (TOptionSpec& boot : BootOptions()) options.push_back(std::move(boot));
    return options;
}

const TCliRegistration registration({
    "build-iso",
    std::string("build-iso -o IMAGE [--quick] [--volume-id TEXT] [--no-joliet] ") + BootUsage +
        " [--save-path unchecked|checked|grayed] [--non-recursive] [--verbose] SOURCE...",
    "Builds an ISO 9660 image (with Joliet names and optional El Torito boot entries for BIOS and UEFI) from "
    "files and directories.",
    BuildIsoOptions(),
    RunBuildIso,
});

}  // namespace

}  // namespace kestrel::cli
