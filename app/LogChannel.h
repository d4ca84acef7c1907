#pragma once
// Carries log lines from any thread to the GUI thread in the order they were
// raised. A line raised on the GUI thread is shown at once, after every line
// still waiting from other threads; lines from worker threads are queued and
// a queued call on the GUI thread shows them.
#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

namespace kestrel::app {

class TLogChannel : public QObject {
    Q_OBJECT
public:
    // Each line comes with the message type it was raised with.
    using TSink = std::function<void(const QString& Line, uint8_t Type)>;

    explicit TLogChannel(TSink Sink, QObject* Parent = nullptr);

    // Safe to call from any thread.
    void Add(const QString& Line, uint8_t Type = 0);
    // Shows every waiting line; GUI thread only.
    void Flush();

private:
    TSink sink_;
    std::mutex lock_;
    std::deque<std::pair<QString, uint8_t>> waiting_;
    bool flushQueued_ = false;
};

}  // namespace kestrel::app
