#include "app/QtDispatcher.h"

#include <QMetaObject>

namespace kestrel::app {

void TQtDispatcher::Post(std::function<void()> Work) {
    // The owner of the burner outlives every worker thread that may post
    // here, so Context is alive when this runs; Qt drops the call if Context
    // is destroyed before the event is delivered.
    QMetaObject::invokeMethod(context_, std::move(Work), Qt::QueuedConnection);
}

}  // namespace kestrel::app
