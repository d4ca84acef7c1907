#pragma once
// A one-line progress bar on stderr for the long commands (image builds and
// burns). It is drawn only when stderr is a terminal; log lines printed
// through it clear the bar first and redraw it after, so the two never mix.
// Safe to use from several threads.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace kestrel::cli {

class TProgressBar {
public:
    // Label: a short word shown before the bar ("Writing").
    explicit TProgressBar(std::string Label);
    // Ends the bar's line when it was drawn.
    ~TProgressBar();
    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    // Done of Total bytes; redrawn at most ten times a second.
    void Update(int64_t Done, int64_t Total);
    // Prints one line to stderr above the bar.
    void Message(const std::string& Line);
    // Draws the final state and ends the line.
    void Finish();

    bool Visible() const { return enabled_; }
    // The bar's text for a given state, without terminal control codes.
    static std::string Render(const std::string& Label, int64_t Done, int64_t Total, int Width);
    // The same for a step known only as a fraction (0..1): "Label [##..] 42%".
    static std::string RenderFraction(const std::string& Label, double Fraction, int Width);
    // Columns of stderr's terminal (80 when it is none).
    static int TerminalWidth();
    // "12.5 MB".
    static std::string Megabytes(int64_t Bytes);

private:
    void DrawLocked();
    void ClearLocked();

    std::mutex mutex_;
    std::string label_;
    bool enabled_ = false;
    bool drawn_ = false;
    int64_t done_ = 0, total_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace kestrel::cli
