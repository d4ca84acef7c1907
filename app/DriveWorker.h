#pragma once
// Runs the window's drive commands one after another on a thread of their
// own, so that a drive slow to answer never stalls the window. Each
// command's result comes back to the GUI thread through a queued call, in
// the order the commands were given, behind the log lines they raised.
#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace kestrel::app {

class TDriveWorker : public QObject {
    Q_OBJECT
public:
    explicit TDriveWorker(QObject* Parent = nullptr);
    // Lets the running command finish and drops the ones still waiting.
    ~TDriveWorker() override;

    // Runs Work on the worker thread after everything given before it;
    // then Done, with Work's result, on the GUI thread.
    template <class TWork, class TDone>
    void Run(TWork Work, TDone Done) {
        using TResult = std::invoke_result_t<TWork>;
        if constexpr (std::is_void_v<TResult>) {
            Queue(std::move(Work), std::move(Done));
        } else {
            auto result = std::make_shared<std::optional<TResult>>();
            Queue([Work = std::move(Work), result]() mutable { result->emplace(Work()); },
                  [Done = std::move(Done), result]() mutable { Done(std::move(**result)); });
        }
    }
    template <class TWork>
    void Run(TWork Work) {
        Queue(std::move(Work), [] {});
    }

    // Commands given whose Done has not run yet.
    int Pending() const { return pending_; }
    bool Busy() const { return pending_ > 0; }
    // Ends the thread: the running command finishes, waiting ones are
    // dropped, no Done runs any more. The owner calls it before anything
    // the commands use goes away.
    void Stop();

signals:
    // The worker became busy or idle (GUI thread).
    void BusyChanged(bool Busy);

private:
    struct TTask {
        std::function<void()> Work;
        std::function<void()> Done;
    };
    void Queue(std::function<void()> Work, std::function<void()> Done);
    void Loop();
    void Finished(const std::function<void()>& Done);

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<TTask> tasks_;
    bool stopping_ = false;
    bool stopped_ = false;
    int pending_ = 0;  // GUI thread only
    std::thread thread_;
};

}  // namespace kestrel::app
