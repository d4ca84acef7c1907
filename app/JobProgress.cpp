#include "app/JobProgress.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

#include "burner/device/MediumTables.h"

namespace kestrel::app {

namespace {

constexpr double kMB = 1048576.0;
// The user data rate of 1x: 75 sectors a second on CD, 1,385,000 bytes a
// second on DVD, 4,495,500 on BD.
constexpr double kCDSpeed1x = 75 * 2048.0;
constexpr double kDVDSpeed1x = 1385000.0;
constexpr double kBDSpeed1x = 4495500.0;
// A measured speed needs this much time between its samples.
constexpr int64_t kShortestSpanMs = 900;
// Below this fraction a guess of the time left is mostly noise.
constexpr double kFractionForEstimate = 0.02;

// The phases whose progress is a count of bytes.
bool CountsBytes(TJobPhase Phase) { return Phase == TJobPhase::Writing || Phase == TJobPhase::Verifying; }

}  // namespace

TJobPhase PhaseOfWrite(TWritePhase Phase, bool Finalize) {
    switch (Phase) {
        case TWritePhase::Idle: return TJobPhase::Idle;
        case TWritePhase::Preparing: return TJobPhase::Preparing;
        case TWritePhase::Formatting: return TJobPhase::Formatting;
        case TWritePhase::Writing: return TJobPhase::Writing;
        case TWritePhase::Flushing: return TJobPhase::Flushing;
        case TWritePhase::Closing: return Finalize ? TJobPhase::Finalizing : TJobPhase::Closing;
        case TWritePhase::Verifying: return TJobPhase::Verifying;
    }
    return TJobPhase::Idle;
}

QString PhaseName(TJobPhase Phase) {
    switch (Phase) {
        case TJobPhase::Idle: return {};
        case TJobPhase::Preparing: return QStringLiteral("Preparing");
        case TJobPhase::Formatting: return QStringLiteral("Formatting the disc");
        case TJobPhase::Writing: return QStringLiteral("Writing");
        case TJobPhase::Flushing: return QStringLiteral("Emptying the drive's buffer");
        case TJobPhase::Closing: return QStringLiteral("Closing the session");
        case TJobPhase::Finalizing: return QStringLiteral("Finalizing the disc");
        case TJobPhase::Verifying: return QStringLiteral("Verifying");
        case TJobPhase::Erasing: return QStringLiteral("Erasing");
    }
    return {};
}

QString DurationText(int64_t Ms) {
    const int64_t seconds = std::max<int64_t>(Ms, 0) / 1000;
    const int64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString WriteSpeedText(double BytesPerSecond, uint8_t MediumType, bool ToFile) {
    const QLocale c = QLocale::c();
    const QString rate = c.toString(BytesPerSecond / kMB, 'f', 2) + QStringLiteral(" MB/s");
    if (ToFile) return rate;
    const double factor = BytesPerSecond / (IsCDMedium(MediumType)   ? kCDSpeed1x
                                            : IsBDMedium(MediumType) ? kBDSpeed1x
                                                                     : kDVDSpeed1x);
    return QStringLiteral("%1x (%2)").arg(c.toString(factor, 'f', 1), rate);
}

void TJobProgress::Start(uint8_t MediumType, bool ToFile) {
    Reset();
    medium_ = MediumType;
    toFile_ = ToFile;
}

void TJobProgress::Add(const TProgressSample& Sample) {
    if (!started_ || Sample.Phase != last_.Phase) {
        phaseStartMs_ = Sample.ElapsedMs;
        points_.clear();
    }
    started_ = true;
    last_ = Sample;
    if (!CountsBytes(Sample.Phase)) return;
    points_.push_back({Sample.ElapsedMs, Sample.Bytes});
    // Keep one point at or before the window's start, so the span is whole.
    while (points_.size() > 2 && points_[1].Ms <= Sample.ElapsedMs - kSpeedWindowMs) points_.pop_front();
}

int TJobProgress::Percent() const {
    if (!started_) return -1;
    if (CountsBytes(last_.Phase) && last_.TotalBytes > 0)
        return int(std::clamp<int64_t>(last_.Bytes * 100 / last_.TotalBytes, 0, 100));
    if (last_.Fraction) return int(std::clamp(*last_.Fraction, 0.0, 1.0) * 100);
    return -1;
}

std::optional<double> TJobProgress::BytesPerSecond() const {
    if (points_.size() < 2) return std::nullopt;
    const TPoint& first = points_.front();
    const TPoint& last = points_.back();
    const int64_t span = last.Ms - first.Ms;
    if (span < kShortestSpanMs || last.Bytes < first.Bytes) return std::nullopt;
    return double(last.Bytes - first.Bytes) * 1000.0 / double(span);
}

std::optional<int64_t> TJobProgress::RemainingMs() const {
    if (!started_) return std::nullopt;
    if (CountsBytes(last_.Phase) && last_.TotalBytes > 0) {
        const auto speed = BytesPerSecond();
        if (!speed || *speed <= 0) return std::nullopt;
        return int64_t(std::llround(double(std::max<int64_t>(last_.TotalBytes - last_.Bytes, 0)) * 1000.0 / *speed));
    }
    if (last_.Fraction && *last_.Fraction >= kFractionForEstimate && *last_.Fraction <= 1.0) {
        const double spent = double(last_.ElapsedMs - phaseStartMs_);
        return int64_t(std::llround(spent * (1.0 - *last_.Fraction) / *last_.Fraction));
    }
    return std::nullopt;
}

QString TJobProgress::Line() const {
    if (!started_ || last_.Phase == TJobPhase::Idle) return {};
    QStringList parts;
    QString head = PhaseName(last_.Phase);
    if (const int percent = Percent(); percent >= 0) head += QStringLiteral(": %1%").arg(percent);
    parts << head << DurationText(last_.ElapsedMs) + QStringLiteral(" elapsed");
    if (const auto left = RemainingMs()) parts << QStringLiteral("about %1 left").arg(DurationText(*left));
    if (last_.Phase == TJobPhase::Writing)
        if (const auto speed = BytesPerSecond()) parts << WriteSpeedText(*speed, medium_, toFile_);
    return parts.join(QStringLiteral(" \u00b7 "));
}

}  // namespace kestrel::app
