#pragma once
// The event a pending request signals when it completes: an eventfd whose
// descriptor travels in the request block's post-procedure field.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace kestrel {

class TCompletionEvent {
public:
    TCompletionEvent();
    ~TCompletionEvent();
    TCompletionEvent(const TCompletionEvent&) = delete;
    TCompletionEvent& operator=(const TCompletionEvent&) = delete;

    // The descriptor, or -1 when none could be created (waits then poll).
    int Descriptor() const { return Fd; }

    // Waits until Status is no longer pending (00h) or the deadline passes.
    // True when the request completed.
    bool WaitWhilePending(const uint8_t& Status, std::chrono::steady_clock::time_point Deadline) const;

    // Leaves the descriptor open for the life of the process: a request that
    // is still pending may signal it later, and a closed number could by then
    // belong to another file.
    void Abandon() { Fd = -1; }

private:
    int Fd = -1;
};

}  // namespace kestrel
