#include "app/AppSetup.h"

#include <QApplication>

#include "app/AppIcons.h"
#include "app/AppTitle.h"

namespace kestrel::app {

void SetUpApplication() {
    QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
    QApplication::setApplicationDisplayName(QString::fromUtf8(kWindowCaption));
    QApplication::setDesktopFileName(QStringLiteral("kestrel"));
    QApplication::setWindowIcon(KestrelIcon());
}

}  // namespace kestrel::app
