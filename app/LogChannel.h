#pragma once
// Carries log lines from any thread to the GUI thread in the order they were
// raised. A line raised on the GUI thread is shown at once, after every line
// still waiting from other threads; lines from worker threads are queued and
// a queued call on the GUI thread shows them.
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <mutex>

namespace kestrel::app {

class TLogChannel : public QObject {
    Q_OBJECT
public:
    using TSink = std::function<void(const QString& Line)>;

    explicit TLogChannel(TSink Sink, QObject* Parent = nullptr);

    // Safe to call from any thread.
    void Add(const QString& Line);
    // Shows every waiting line; GUI thread only.
    void Flush();

private:
    TSink sink_;
    std::mutex lock_;
    std::deque<QString> waiting_;
    bool flushQueued_ = false;
};

}  // namespace kestrel::app
