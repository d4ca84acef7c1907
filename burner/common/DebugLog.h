#pragma once
// The component's one log channel. Every line of the compilation, device and
// recording layers goes through DebugMsg to OnDebugMessage; the receiver is
// responsible for moving lines from worker threads to its own thread.
#include <cstdint>
#include <functional>
#include <string>
#include <atomic>

namespace kestrel {

// Message types carried with each line.
enum : uint8_t {
    mtFailure = 0,      // failures, warnings and the front end's own lines
    mtInfo = 1,         // information lines beginning ">>> ", only while DoDebug
    mtDevice = 2,       // device-level lines: a failed drive command in full ("<<< ...")
    mtLimit = 3,        // the compilation's table limits
    mtInternal = 4,     // invalid destination paths and internal errors
};

class TDebugLog;
using TOnDebugMsg = std::function<void(TDebugLog* Sender, const std::string& Message, uint8_t mType)>;

class TDebugLog {
public:
    virtual ~TDebugLog() = default;

    // Raises OnDebugMessage whatever DoDebug says; callers test DoDebug for
    // informational lines. Safe to call from any thread.
    void DebugMsg(const std::string& Message, uint8_t mType) const;
    // Logs an information line (">>> " is the caller's) only while DoDebug is on.
    void InfoMsg(const std::string& Message) const;

    std::atomic<bool> DoDebug{false};
    TOnDebugMsg OnDebugMessage;
};

}  // namespace kestrel
