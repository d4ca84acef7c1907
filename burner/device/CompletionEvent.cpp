#include "burner/device/CompletionEvent.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "kestrel/aspi_srb.h"

namespace kestrel {
namespace {

// Longest single poll: the status is re-read at least this often, so a
// library that completes without signalling is still noticed.
constexpr int PollSliceMs = 50;

uint8_t ReadStatus(const uint8_t& Status) {
    return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(Status)).load(std::memory_order_acquire);
}

// A library signals the event just before it stores the final status (after
// the status the request block is ours again), so a waiter woken by the
// event may still see SS_PENDING for a moment: look again briefly before
// going back to a full poll slice.
void SpinWhilePending(const uint8_t& Status) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
    while (ReadStatus(Status) == SS_PENDING && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
}

}  // namespace

TCompletionEvent::TCompletionEvent() : Fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TCompletionEvent::~TCompletionEvent() {
    if (Fd >= 0) ::close(Fd);
}

bool TCompletionEvent::WaitWhilePending(const uint8_t& Status, std::chrono::steady_clock::time_point Deadline) const {
    using namespace std::chrono;
    while (ReadStatus(Status) == SS_PENDING) {
        const auto left = duration_cast<milliseconds>(Deadline - steady_clock::now()).count();
        if (left <= 0) return false;
        const int slice = int(std::min<int64_t>(left, PollSliceMs));
        if (Fd >= 0) {
            pollfd waiter{Fd, POLLIN, 0};
            if (::poll(&waiter, 1, slice) > 0) {
                uint64_t count;
                [[maybe_unused]] auto n = ::read(Fd, &count, sizeof count);
                SpinWhilePending(Status);
            }
        } else {
            ::usleep(useconds_t(slice) * 1000);
        }
    }
    return true;
}

}  // namespace kestrel
