#include "model/DriveState.h"

#include <atomic>
#include <chrono>
#include <sstream>
#include <stdexcept>

namespace vdrive {
namespace {

const char* OpName(LongOp Op) {
    switch (Op) {
    case LongOp::Blank: return "blank";
    case LongOp::Format: return "format";
    case LongOp::Close: return "close";
    case LongOp::None: break;
    }
    return "none";
}

LongOp ParseOp(const std::string& Name) {
    if (Name == "blank") return LongOp::Blank;
    if (Name == "format") return LongOp::Format;
    if (Name == "close") return LongOp::Close;
    if (Name == "none") return LongOp::None;
    throw std::runtime_error("unknown operation in drive state: " + Name);
}

}  // namespace

namespace {
std::atomic<TestClock> testClock{nullptr};
}  // namespace

int64_t WallClockMs() {
    if (const TestClock clock = testClock.load(std::memory_order_acquire)) return clock();
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void SetTestClock(TestClock Clock) { testClock.store(Clock, std::memory_order_release); }

std::string DriveState::ToText() const {
    std::ostringstream out;
    out << "generation=" << generation << '\n'
        << "media-events=" << mediaEvents << '\n'
        << "tray=" << (trayOpen ? "open" : "closed") << '\n'
        << "operation=" << OpName(op) << ',' << opStartMs << ',' << opEndMs << '\n';
    if (medium) out << medium->ToText();
    return out.str();
}

DriveState DriveState::FromText(const std::string& Text) {
    DriveState s;
    std::istringstream in(Text);
    std::string line, mediumText;
    try {
        while (std::getline(in, line)) {
            auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "generation") s.generation = std::stoull(value);
            else if (key == "media-events") s.mediaEvents = std::stoull(value);
            else if (key == "tray") s.trayOpen = value == "open";
            else if (key == "operation") {
                auto c1 = value.find(','), c2 = value.rfind(',');
                if (c1 == std::string::npos || c1 == c2) throw std::runtime_error("bad operation line");
                s.op = ParseOp(value.substr(0, c1));
                s.opStartMs = std::stoll(value.substr(c1 + 1, c2 - c1 - 1));
                s.opEndMs = std::stoll(value.substr(c2 + 1));
            } else
                mediumText += line + '\n';
        }
    } catch (const std::logic_error&) {
        throw std::runtime_error("bad drive state line: " + line);
    }
    if (!mediumText.empty()) s.medium = Medium::FromText(mediumText);
    return s;
}

}  // namespace vdrive
