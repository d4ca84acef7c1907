// kestrel-cli erase: blanks or formats a rewritable disc and shows what the
// drive is doing with its own report of the progress.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>

#include "cli/CliCommand.h"
#include "cli/DriveSelection.h"
#include "cli/ProgressBar.h"

namespace kestrel::cli {

namespace {

// The longest erase the drive estimates is 8,880 s; beyond twice that the
// command gives up waiting (scaled like every other wait).
constexpr int64_t kEraseBudgetMs = 2LL * 8880 * 1000;
// How often the status is brought up to date.
constexpr int kStatusTickMs = 200;

// What the erase step is called while it runs.
std::string PhaseName(TErasePhase Phase) {
    switch (Phase) {
        case TErasePhase::Blanking: return "Blanking the disc";
        case TErasePhase::Formatting: return "Formatting the disc";
        case TErasePhase::WritingZeros: return "Writing zeros";
        case TErasePhase::Finishing: return "Finishing";
        case TErasePhase::Idle: break;
    }
    return {};
}

// The erase step and its progress as the drive reports it: one redrawn line
// on a terminal; otherwise a line when a step begins and one for each new
// tenth the drive reports. Without a report from the drive no figure is
// shown, only the time the step has taken on a terminal.
class TEraseStatus {
public:
    TEraseStatus() : terminal_(isatty(STDERR_FILENO)) {}
    void Show(TErasePhase Phase, std::optional<double> Fraction) {
        if (Phase == TErasePhase::Idle) return;
        if (Phase != phase_) {
            phase_ = Phase;
            tenths_ = -1;
            since_ = std::chrono::steady_clock::now();
            if (!terminal_) Line(PhaseName(Phase));
        }
        if (terminal_) {
            std::cerr << ("\r" + Text(Fraction) + "\033[K") << std::flush;
            drawn_ = true;
        } else if (Fraction && int(*Fraction * 10) > tenths_) {
            tenths_ = int(*Fraction * 10);
            Line(PhaseName(phase_) + ": " + std::to_string(int(*Fraction * 100)) + "%");
        }
    }
    void End() {
        if (drawn_) std::cerr << "\n";
        drawn_ = false;
    }

private:
    std::string Text(std::optional<double> Fraction) const {
        if (Fraction) return TProgressBar::RenderFraction(PhaseName(phase_), *Fraction, 60);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - since_);
        char elapsed[32];
        std::snprintf(elapsed, sizeof elapsed, " ... %lld:%02lld", (long long)seconds.count() / 60,
                      (long long)seconds.count() % 60);
        return PhaseName(phase_) + elapsed;
    }
    // One piece, so that log lines of the erase thread cannot split it.
    static void Line(const std::string& Text) { std::cerr << (Text + "\n"); }

    bool terminal_;
    bool drawn_ = false;
    TErasePhase phase_ = TErasePhase::Idle;
    int tenths_ = -1;
    std::chrono::steady_clock::time_point since_{};
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
    TEraseStatus status;
    const auto show = [&] { status.Show(device.ErasePhase(), device.EraseProgressFraction()); };
    show();
    const bool finished = WaitForEvent(*queue, [&] { return done; }, kEraseBudgetMs, show, kStatusTickMs);
    status.End();
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
