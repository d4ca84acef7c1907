#pragma once
// The progress line of a running job: what it is doing (the phase), how far
// the phase is, the time it has taken and will still take, and the speed
// the data actually goes out at, as an x factor of the medium and in MB/s.
// Fed with samples by the window's 500 ms timer; knows nothing of widgets.
#include <QString>

#include <cstdint>
#include <deque>
#include <optional>

#include "burner/engine/WritePhase.h"

namespace kestrel::app {

// The steps of the window's jobs as the progress line names them. A write
// passes Preparing .. Closing/Finalizing, and Verifying when it reads the
// disc back; an erase is Erasing throughout.
enum class TJobPhase { Idle, Preparing, Formatting, Writing, Flushing, Closing, Finalizing, Verifying, Erasing };

// The phase of a running write; Finalize tells closing the disc from
// closing a session.
TJobPhase PhaseOfWrite(TWritePhase Phase, bool Finalize);
// "Preparing", "Formatting the disc", "Writing", ...
QString PhaseName(TJobPhase Phase);

// "0:07", "12:34", "1:02:03".
QString DurationText(int64_t Ms);
// The speed as the user knows it: "8.0x (10.57 MB/s)" on a disc of
// MediumType, "10.57 MB/s" into a file.
QString WriteSpeedText(double BytesPerSecond, uint8_t MediumType, bool ToFile);

struct TProgressSample {
    int64_t ElapsedMs = 0;           // since the job started
    TJobPhase Phase = TJobPhase::Idle;
    std::optional<double> Fraction;  // of the phase, where it is known
    int64_t Bytes = 0;               // written (or read back) so far
    int64_t TotalBytes = 0;          // to write (or read back); 0 while not known
};

class TJobProgress {
public:
    // Speeds are measured over the last few seconds of samples.
    static constexpr int64_t kSpeedWindowMs = 4000;

    // A job starts writing to a disc of MediumType, or into a file.
    void Start(uint8_t MediumType, bool ToFile);
    void Add(const TProgressSample& Sample);
    void Reset() { *this = TJobProgress(); }

    TJobPhase Phase() const { return last_.Phase; }
    // Percent of the phase done; -1 where it is not known.
    int Percent() const;
    // Bytes per second over the last few seconds of writing (or reading back).
    std::optional<double> BytesPerSecond() const;
    std::optional<int64_t> RemainingMs() const;
    // "Writing: 45% · 0:32 elapsed · about 0:40 left · 8.1x (11.20 MB/s)";
    // empty before the first sample.
    QString Line() const;

private:
    struct TPoint {
        int64_t Ms;
        int64_t Bytes;
    };
    uint8_t medium_ = 0;
    bool toFile_ = false;
    bool started_ = false;
    TProgressSample last_;
    int64_t phaseStartMs_ = 0;
    std::deque<TPoint> points_;  // samples of the Writing phase in the window
};

}  // namespace kestrel::app
