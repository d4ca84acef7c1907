#include "burner/common/Clock.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace kestrel {
namespace {

double ScaleFromEnvironment() {
    const char* text = std::getenv("KESTREL_TIME_SCALE");
    if (!text || !*text) return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    return (end != text && value > 0.0) ? value : 1.0;
}

std::atomic<double>& Scale() {
    static std::atomic<double> scale{ScaleFromEnvironment()};
    return scale;
}

}  // namespace

void SetTimeScale(double Scale_) { Scale() = Scale_ > 0.0 ? Scale_ : 1.0; }
double TimeScale() { return Scale(); }

std::chrono::microseconds ScaledMs(int64_t Ms) {
    return std::chrono::microseconds(static_cast<int64_t>(static_cast<double>(Ms) * 1000.0 * Scale()));
}

void SleepMs(int64_t Ms) {
    if (Ms > 0) std::this_thread::sleep_for(ScaledMs(Ms));
}

std::chrono::steady_clock::time_point DeadlineAfterMs(int64_t Ms) {
    return std::chrono::steady_clock::now() + ScaledMs(Ms);
}

}  // namespace kestrel
