#pragma once
// SIGINT (Ctrl-C) and SIGTERM while a long command runs: instead of ending
// the program at once, they ask the running write or build to stop, so it
// ends cleanly (the drive left usable, no partial file left behind) and the
// command exits non-zero.
#include <csignal>

namespace kestrel::cli {

class TInterruptGuard {
public:
    // Catches both signals until destroyed; the previous handling comes back then.
    TInterruptGuard();
    ~TInterruptGuard();
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;

    // One of the signals arrived since construction.
    bool Interrupted() const;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

}  // namespace kestrel::cli
