#include "burner/common/Dispatcher.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace kestrel {

struct TQueueDispatcher::Impl {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::function<void()>> queue;
};

TQueueDispatcher::TQueueDispatcher() : impl_(std::make_unique<Impl>()) {}
TQueueDispatcher::~TQueueDispatcher() = default;

void TQueueDispatcher::Post(std::function<void()> Work) {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->queue.push_back(std::move(Work));
    }
    impl_->ready.notify_one();
}

int TQueueDispatcher::RunPending(int TimeoutMs) {
    std::deque<std::function<void()>> batch;
    {
        std::unique_lock lock(impl_->mutex);
        impl_->ready.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                              [this] { return !impl_->queue.empty(); });
        batch.swap(impl_->queue);
    }
    for (auto& work : batch) work();
    return static_cast<int>(batch.size());
}

}  // namespace kestrel
