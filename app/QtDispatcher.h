#pragma once
// Hands the burner's completion events to the GUI thread through Qt's event
// queue, behind any log lines already queued, so they arrive in the order
// they were raised.
#include <QObject>

#include "burner/common/Dispatcher.h"

namespace kestrel::app {

class TQtDispatcher final : public TMainThreadDispatcher {
public:
    // Work runs in Context's thread; when Context is gone, posted work is dropped.
    explicit TQtDispatcher(QObject* Context) : context_(Context) {}
    void Post(std::function<void()> Work) override;

private:
    QObject* context_;
};

}  // namespace kestrel::app
