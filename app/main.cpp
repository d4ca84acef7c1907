#include <QApplication>
#include <QIcon>

#include "app/MainWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(kestrel::app::kApplicationTitle));
    QApplication::setApplicationDisplayName(QString::fromUtf8(kestrel::app::kApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("kestrel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kestrel.svg")));
    kestrel::app::TForm1 window;
    window.show();
    // Folders given on the command line (a file manager's "Open with") go
    // into the compilation list as if they had been dropped.
    window.AddSources(QApplication::arguments().mid(1));
    return QApplication::exec();
}
