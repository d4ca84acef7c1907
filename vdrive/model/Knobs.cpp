#include "model/Knobs.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace vdrive {
namespace {

int64_t ParseInt(const std::string& Value) {
    size_t used = 0;
    long long v = 0;
    try {
        v = std::stoll(Value, &used, 0);
    } catch (const std::exception&) {
        throw std::runtime_error("not a number: " + Value);
    }
    if (used != Value.size()) throw std::runtime_error("not a number: " + Value);
    return v;
}

int ParseOpcode(const std::string& Value) {
    size_t used = 0;
    unsigned long v = 0;
    try {
        v = std::stoul(Value, &used, 16);
    } catch (const std::exception&) {
        throw std::runtime_error("not an opcode: " + Value);
    }
    if (used != Value.size() || v > 0xFF) throw std::runtime_error("not an opcode: " + Value);
    return static_cast<int>(v);
}

SenseCode ParseSense(const std::string& Value) {
    unsigned key = 0, asc = 0, ascq = 0;
    char tail = 0;
    if (std::sscanf(Value.c_str(), "%x/%x/%x%c", &key, &asc, &ascq, &tail) != 3 || key > 0xF || asc > 0xFF ||
        ascq > 0xFF)
        throw std::runtime_error("sense must read KEY/ASC/ASCQ in hex: " + Value);
    return SenseCode{uint8_t(key), uint8_t(asc), uint8_t(ascq)};
}

std::string Hex(int Value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", Value);
    return buf;
}

const char* Env(const char* Name) {
    const char* v = std::getenv(Name);
    return v && *v ? v : nullptr;
}

}  // namespace

void Knobs::Set(const std::string& Key, const std::string& Value) {
    if (Key == "fail-write-lba") failWriteLba = ParseInt(Value);
    else if (Key == "fail-write-sense") failWriteSense = ParseSense(Value);
    else if (Key == "fail-write-count") failWriteCount = ParseInt(Value);
    else if (Key == "corrupt-write-lba") corruptWriteLba = ParseInt(Value);
    else if (Key == "unreadable-lba") unreadableLba = ParseInt(Value);
    else if (Key == "busy-count") busyCount = ParseInt(Value);
    else if (Key == "long-write-count") longWriteCount = ParseInt(Value);
    else if (Key == "busy-opcode") busyOpcode = ParseOpcode(Value);
    else if (Key == "drop-medium-after") dropMediumAfter = ParseInt(Value);
    else if (Key == "delay-ms") delayMs = static_cast<uint32_t>(ParseInt(Value));
    else if (Key == "delay-opcode") delayOpcode = ParseOpcode(Value);
    else if (Key == "throttle") throttle = Value == "1" || Value == "yes" || Value == "true";
    else if (Key == "time-scale") {
        try {
            timeScale = std::stod(Value);
        } catch (const std::exception&) {
            throw std::runtime_error("not a number: " + Value);
        }
        if (timeScale < 0) throw std::runtime_error("time-scale must not be negative");
    } else
        throw std::runtime_error("unknown knob: " + Key);
}

std::string Knobs::ToText() const {
    std::ostringstream out;
    if (failWriteLba >= 0) {
        out << "fail-write-lba=" << failWriteLba << '\n'
            << "fail-write-sense=" << Hex(failWriteSense.key) << '/' << Hex(failWriteSense.asc) << '/'
            << Hex(failWriteSense.ascq) << '\n'
            << "fail-write-count=" << failWriteCount << '\n';
    }
    if (corruptWriteLba >= 0) out << "corrupt-write-lba=" << corruptWriteLba << '\n';
    if (unreadableLba >= 0) out << "unreadable-lba=" << unreadableLba << '\n';
    if (busyCount) out << "busy-count=" << busyCount << '\n';
    if (longWriteCount) out << "long-write-count=" << longWriteCount << '\n';
    if (busyOpcode >= 0) out << "busy-opcode=" << Hex(busyOpcode) << '\n';
    if (dropMediumAfter >= 0) out << "drop-medium-after=" << dropMediumAfter << '\n';
    if (delayMs) out << "delay-ms=" << delayMs << '\n';
    if (delayOpcode >= 0) out << "delay-opcode=" << Hex(delayOpcode) << '\n';
    if (throttle) out << "throttle=yes\n";
    if (timeScale >= 0) out << "time-scale=" << timeScale << '\n';
    return out.str();
}

Knobs Knobs::FromText(const std::string& Text) {
    Knobs k;
    std::istringstream in(Text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) throw std::runtime_error("knob line without '=': " + line);
        k.Set(line.substr(0, eq), line.substr(eq + 1));
    }
    return k;
}

double Knobs::EffectiveTimeScale() const {
    if (timeScale >= 0) return timeScale;
    for (const char* name : {"KESTREL_VDRIVE_TIME_SCALE", "KESTREL_TIME_SCALE"})
        if (const char* v = Env(name)) {
            char* end = nullptr;
            double d = std::strtod(v, &end);
            if (end != v && d >= 0) return d;
        }
    return 1.0;
}

static bool KnobsEnvFlag(const char* Name) {
    const char* v = Env(Name);
    return v && (std::string(v) == "1" || std::string(v) == "yes" || std::string(v) == "true");
}

bool Knobs::EffectiveThrottle() const { return throttle || KnobsEnvFlag("KESTREL_VDRIVE_THROTTLE"); }

uint32_t Knobs::EffectiveDelayMs(uint8_t Opcode) const {
    if (delayMs && (delayOpcode < 0 || delayOpcode == Opcode)) return delayMs;
    if (const char* v = Env("KESTREL_VDRIVE_DELAY_MS")) return static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
    return 0;
}

}  // namespace vdrive
