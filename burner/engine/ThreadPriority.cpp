#include "burner/engine/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrel {
namespace {

int NiceOf(TThreadPriority Priority) {
    switch (Priority) {
        case TThreadPriority::Idle: return 19;
        case TThreadPriority::Lowest: return 15;
        case TThreadPriority::BelowNormal: return 5;
        case TThreadPriority::Normal: return 0;
        case TThreadPriority::TimeCritical: return -10;
    }
    return 0;
}

// True when the process may set the thread back to nice 0 after lowering it.
bool MayRaiseToNormal() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0) return false;
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 20;
}

}  // namespace

void SetCurrentThreadPriority(TThreadPriority Priority) {
    const int nice = NiceOf(Priority);
    if (nice > 0 && !MayRaiseToNormal()) return;
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    (void)setpriority(PRIO_PROCESS, tid, nice);
}

}  // namespace kestrel
