#pragma once
// Hands a piece of work to the program's main thread. The burner raises
// OnWriteDone and OnEraseDone through it; the desktop program implements it
// with Qt's queued calls, the command-line tool with its own loop.
#include <functional>
#include <memory>

namespace kestrel {

class TMainThreadDispatcher {
public:
    virtual ~TMainThreadDispatcher() = default;
    // Runs Work on the main thread, in the order posted. Must not block.
    virtual void Post(std::function<void()> Work) = 0;
};

// Runs the work at once on the calling thread; the default when no
// dispatcher has been set (tests that wait for the event themselves).
class TDirectDispatcher final : public TMainThreadDispatcher {
public:
    void Post(std::function<void()> Work) override { Work(); }
};

// A queue that the owner drains on its own thread (the command-line tool).
class TQueueDispatcher final : public TMainThreadDispatcher {
public:
    TQueueDispatcher();
    ~TQueueDispatcher() override;
    void Post(std::function<void()> Work) override;
    // Runs every posted item; waits up to TimeoutMs for the first one.
    // Returns the number run.
    int RunPending(int TimeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kestrel
