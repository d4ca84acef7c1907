#include "cli/ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace kestrel::cli {

namespace {

constexpr auto RedrawInterval = std::chrono::milliseconds(100);

std::string Bar(const std::string& Label, double Fraction, const std::string& Tail, int Width) {
    const int barWidth = std::max(10, Width - 1 - int(Label.size()) - 3 - int(Tail.size()));
    const int filled = int(Fraction * barWidth);
    return Label + " [" + std::string(size_t(filled), '#') + std::string(size_t(barWidth - filled), '.') + "]" + Tail;
}

std::string Percent(double Fraction) {
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", int(Fraction * 100.0));
    return percent;
}

}  // namespace

TProgressBar::TProgressBar(std::string Label) : label_(std::move(Label)), enabled_(::isatty(STDERR_FILENO) == 1) {}

TProgressBar::~TProgressBar() {
    std::lock_guard lock(mutex_);
    if (drawn_) std::fputs("\n", stderr);
}

std::string TProgressBar::Megabytes(int64_t Bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(Bytes) / 1048576.0);
    return text;
}

int TProgressBar::TerminalWidth() {
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20) return ws.ws_col;
    return 80;
}

std::string TProgressBar::Render(const std::string& Label, int64_t Done, int64_t Total, int Width) {
    const double fraction = Total > 0 ? std::clamp(double(Done) / double(Total), 0.0, 1.0) : 0.0;
    return Bar(Label, fraction, " " + Percent(fraction) + "  " + Megabytes(Done) + " / " + Megabytes(Total), Width);
}

std::string TProgressBar::RenderFraction(const std::string& Label, double Fraction, int Width) {
    const double fraction = std::clamp(Fraction, 0.0, 1.0);
    return Bar(Label, fraction, " " + Percent(fraction), Width);
}

void TProgressBar::Update(int64_t Done, int64_t Total) {
    std::lock_guard lock(mutex_);
    done_ = Done;
    total_ = Total;
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < RedrawInterval) return;
    lastDraw_ = now;
    DrawLocked();
}

void TProgressBar::Message(const std::string& Line) {
    std::lock_guard lock(mutex_);
    ClearLocked();
    std::fprintf(stderr, "%s\n", Line.c_str());
    if (drawn_) DrawLocked();
    std::fflush(stderr);
}

void TProgressBar::Finish() {
    std::lock_guard lock(mutex_);
    if (!enabled_) return;
    DrawLocked();
    std::fputs("\n", stderr);
    drawn_ = false;
    enabled_ = false;
}

void TProgressBar::DrawLocked() {
    std::fprintf(stderr, "\r%s\x1b[K", Render(label_, done_, total_, TerminalWidth()).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TProgressBar::ClearLocked() {
    if (drawn_) std::fputs("\r\x1b[K", stderr);
}

}  // namespace kestrel::cli
