// kestrel-cli erase: blanks or formats a rewritable disc and shows progress.
#include <unistd.h>

#include <iostream>

#include "cli/CliCommand.h"
#include "cli/DriveSelection.h"

namespace kestrel::cli {

namespace {

// The longest erase the drive estimates is 8,880 s; beyond twice that the
// command gives up waiting (scaled like every other wait).
constexpr int64_t kEraseBudgetMs = 2LL * 8880 * 1000;

// A percentage on one line on a terminal; whole tens as lines otherwise.
class TPercentLine {
public:
    TPercentLine() : terminal_(isatty(STDERR_FILENO)) {}
    void Show(uint32_t Percent) {
        if (terminal_) {
            if (Percent != shown_) std::cerr << ("\rErasing: " + std::to_string(Percent) + "%") << std::flush;
        } else if (shown_ == kNone || Percent / 10 > shown_ / 10) {
            // One piece, so that log lines of the erase thread cannot split it.
            std::cerr << ("Erasing: " + std::to_string(Percent) + "%\n");
        } else {
            return;
        }
        shown_ = Percent;
    }
    void End() {
        if (terminal_ && shown_ != kNone) std::cerr << "\n";
    }

private:
    static constexpr uint32_t kNone = ~0u;
    bool terminal_;
    uint32_t shown_ = kNone;
};

int RunErase(const TParsedArgs& Args) {
    const bool quick = Args.Has("--quick"), complete = Args.Has("--complete");
    if (quick == complete) throw TUsageError("give either --quick or --complete");
    TSCSIDevice device;
    auto queue = UseQueueDispatcher(device);
    OpenDrive(device, Args);
    if (auto speed = Args.Optional("--speed")) device.SetWriteSpeed(ParseSpeed(*speed));
    if (!device.DiscIsErasable()) return Fail("the disc in the drive is not erasable" +
                                              (device.LastError.empty() ? "" : " (" + device.LastError + ")"));

    bool done = false, withError = false;
    device.OnEraseDone = [&](TSCSIDevice*, bool WithError) {
        done = true;
        withError = WithError;
    };
    if (!device.EraseDisc(quick)) {
        queue->RunPending(0);
        return Fail("the erase could not be started" + (device.LastError.empty() ? "" : ": " + device.LastError));
    }
    TPercentLine progress;
    progress.Show(0);
    const bool finished =
        WaitForEvent(*queue, [&] { return done; }, kEraseBudgetMs, [&] { progress.Show(device.GetEraseProgress()); });
    if (finished) progress.Show(device.FinalEraseProgress());
    progress.End();
    if (!finished) return Fail("the drive did not finish the erase in time");
    if (withError) return Fail("the erase ended with an error" + (device.LastError.empty() ? "" : ": " + device.LastError));
    std::cout << "Erase done\n";
    return 0;
}

std::vector<TOptionSpec> EraseOptions() {
    auto options = DriveOptions();
    options.push_back({"--quick", false, ""});
    options.push_back({"--complete", false, ""});
    options.push_back({"--speed", true, ""});
    return options;
}

const TCliRegistration erase({"erase", "erase --quick|--complete [--speed KBPS|max] [--drive N] [--device-layer L]",
                              "Erases a rewritable disc (quick or complete), showing the progress.", EraseOptions(),
                              RunErase});

}  // namespace
}  // namespace kestrel::cli
