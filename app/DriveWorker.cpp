#include "app/DriveWorker.h"

#include <QMetaObject>

namespace kestrel::app {

TDriveWorker::TDriveWorker(QObject* Parent) : QObject(Parent), thread_([this] { Loop(); }) {}

TDriveWorker::~TDriveWorker() { Stop(); }

void TDriveWorker::Stop() {
    {
        std::lock_guard guard(lock_);
        if (stopped_) return;
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    thread_.join();
    stopped_ = true;
    pending_ = 0;
}

void TDriveWorker::Queue(std::function<void()> Work, std::function<void()> Done) {
    {
        std::lock_guard guard(lock_);
        if (stopping_) return;
        tasks_.push_back({std::move(Work), std::move(Done)});
    }
    if (pending_++ == 0) emit BusyChanged(true);
    wake_.notify_one();
}

void TDriveWorker::Loop() {
    for (;;) {
        TTask task;
        {
            std::unique_lock guard(lock_);
            wake_.wait(guard, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task.Work();
        // Posted after every log line the work raised, so the GUI shows them
        // first. Qt drops the call once this object is gone.
        QMetaObject::invokeMethod(
            this, [this, done = std::move(task.Done)] { Finished(done); }, Qt::QueuedConnection);
    }
}

void TDriveWorker::Finished(const std::function<void()>& Done) {
    if (stopping_) return;
    // A Done that gives the next command keeps the worker busy throughout.
    if (Done) Done();
    if (--pending_ == 0) emit BusyChanged(false);
}

}  // namespace kestrel::app
