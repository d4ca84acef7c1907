#pragma once
// The write thread: the consumer of the read-ahead cache. It runs one job of
// its burner (preparation, data, closing, completion) and ends with it.
#include <thread>

namespace kestrel {

class TKestrelBurner;

class TThWrite {
public:
    // Starts the thread at once; it runs Burner's current job.
    TThWrite(TKestrelBurner& Burner, int Target);
    // Joins the thread (detaches it when called on the thread itself).
    ~TThWrite();
    TThWrite(const TThWrite&) = delete;
    TThWrite& operator=(const TThWrite&) = delete;

    int Target() const { return target_; }
    bool IsCurrentThread() const { return thread_.get_id() == std::this_thread::get_id(); }
    void Join();

private:
    void Execute();

    TKestrelBurner& burner_;
    int target_;
    std::thread thread_;
};

}  // namespace kestrel
