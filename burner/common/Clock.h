#pragma once
// The one seam for fixed sleeps and polling intervals. The constants in the
// code stay as the drive protocol wants them; tests scale them down with
// SetTimeScale (or KESTREL_TIME_SCALE in the environment) so waits on the
// virtual recorder run fast.
#include <chrono>
#include <cstdint>

namespace kestrel {

// Sleeps Ms milliseconds multiplied by the time scale.
void SleepMs(int64_t Ms);
// A deadline Ms scaled milliseconds from now, for time budgets of waits.
std::chrono::steady_clock::time_point DeadlineAfterMs(int64_t Ms);
// Scaled length of Ms milliseconds (for condition-variable waits).
std::chrono::microseconds ScaledMs(int64_t Ms);

// 1.0 is real time; 0.01 makes every sleep a hundredth as long.
void SetTimeScale(double Scale);
double TimeScale();

}  // namespace kestrel
