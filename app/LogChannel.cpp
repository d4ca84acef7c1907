#include "app/LogChannel.h"

#include <QMetaObject>
#include <QThread>

namespace kestrel::app {

TLogChannel::TLogChannel(TSink Sink, QObject* Parent) : QObject(Parent), sink_(std::move(Sink)) {}

void TLogChannel::Add(const QString& Line) {
    bool queueFlush = false;
    {
        std::lock_guard guard(lock_);
        waiting_.push_back(Line);
        if (QThread::currentThread() != thread() && !flushQueued_) flushQueued_ = queueFlush = true;
    }
    if (QThread::currentThread() == thread()) {
        Flush();
    } else if (queueFlush) {
        QMetaObject::invokeMethod(this, &TLogChannel::Flush, Qt::QueuedConnection);
    }
}

void TLogChannel::Flush() {
    std::deque<QString> lines;
    {
        std::lock_guard guard(lock_);
        lines.swap(waiting_);
        flushQueued_ = false;
    }
    for (const QString& line : lines) sink_(line);
}

}  // namespace kestrel::app
