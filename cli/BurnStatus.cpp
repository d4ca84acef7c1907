#include "cli/BurnStatus.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "cli/ProgressBar.h"

namespace kestrel::cli {
namespace {

constexpr int kBarWidth = 60;

// What the step is called while it runs.
std::string PhaseName(TWritePhase Phase, int64_t Total) {
    switch (Phase) {
        case TWritePhase::Preparing:
            return Total > 0 ? "Preparing to write " + TProgressBar::Megabytes(Total) : "Preparing the write";
        case TWritePhase::Formatting: return "Formatting the disc";
        case TWritePhase::Writing: return "Writing " + TProgressBar::Megabytes(Total);
        case TWritePhase::Flushing: return "Writing out the drive's buffer";
        case TWritePhase::Closing: return "Closing the track and session";
        case TWritePhase::Verifying: return "Verifying the written data";
        case TWritePhase::Idle: break;
    }
    return {};
}

// The drive's buffer in use, only when the drive has reported it.
std::string BufferFigure(const TKestrelBurner& Burner) {
    const uint32_t size = Burner.DeviceBufferBytes();
    if (size == 0) return {};
    const uint32_t used = size - std::min(size, Burner.DeviceFreeBufferBytes());
    return "  buffer " + std::to_string(uint64_t(used) * 100 / size) + "%";
}

std::string StatusLine(const TKestrelBurner& Burner, TWritePhase Phase) {
    const int64_t total = Burner.WriteTotalBytes();
    if (Phase == TWritePhase::Writing && total > 0)
        return TProgressBar::Render("Writing", Burner.BytesWritten(), total, kBarWidth) + "  cache " +
               std::to_string(Burner.CacheFillPercent()) + "%" + BufferFigure(Burner);
    const std::string name = PhaseName(Phase, total);
    if (const auto progress = Burner.WritePhaseProgress()) return TProgressBar::RenderFraction(name, *progress, kBarWidth);
    return name.empty() ? name : name + " ...";
}

}  // namespace

TBurnStatus::TBurnStatus() : terminal_(isatty(STDERR_FILENO)) {}

void TBurnStatus::Show(const TKestrelBurner& Burner) {
    std::lock_guard lock(mutex_);
    const TWritePhase phase = Burner.WritePhase();
    if (!terminal_) {
        // One line per step, when it begins.
        if (phase != shownPhase_ && phase != TWritePhase::Idle)
            std::fprintf(stderr, "%s\n", PhaseName(phase, Burner.WriteTotalBytes()).c_str());
        shownPhase_ = phase;
        return;
    }
    shownPhase_ = phase;
    line_ = StatusLine(Burner, phase);
    std::fprintf(stderr, "\r%s\033[K", line_.c_str());
    std::fflush(stderr);
}

void TBurnStatus::Message(const std::string& Line) {
    std::lock_guard lock(mutex_);
    if (terminal_ && !line_.empty()) std::fprintf(stderr, "\r\033[K");
    std::fprintf(stderr, "%s\n", Line.c_str());
    if (terminal_ && !line_.empty()) std::fprintf(stderr, "%s", line_.c_str());
    std::fflush(stderr);
}

void TBurnStatus::End() {
    std::lock_guard lock(mutex_);
    if (terminal_ && !line_.empty()) std::fprintf(stderr, "\n");
    line_.clear();
}

}  // namespace kestrel::cli
