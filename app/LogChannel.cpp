#include "app/LogChannel.h"

#include <QMetaObject>
#include <QThread>

namespace kestrel::app {

TLogChannel::TLogChannel(TSink Sink, QObject* Parent) : QObject(Parent), sink_(std::move(Sink)) {}

void TLogChannel::Add(const QString& Line, uint8_t Type) {
    bool queueFlush = false;
    {
        std::lock_guard guard(lock_);
        waiting_.emplace_back(Line, Type);
        if (QThread::currentThread() != thread() && !flushQueued_) flushQueued_ = queueFlush = true;
    }
    if (QThread::currentThread() == thread()) {
        Flush();
    } else if (queueFlush) {
        QMetaObject::invokeMethod(this, &TLogChannel::Flush, Qt::QueuedConnection);
    }
}

void TLogChannel::Flush() {
    std::deque<std::pair<QString, uint8_t>> lines;
    {
        std::lock_guard guard(lock_);
        lines.swap(waiting_);
        flushQueued_ = false;
    }
    for (const auto& [line, type] : lines) sink_(line, type);
}

}  // namespace kestrel::app
