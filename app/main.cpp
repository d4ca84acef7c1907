#include <QApplication>

#include "app/AppSetup.h"
#include "app/MainWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kestrel::app::SetUpApplication();
    kestrel::app::TForm1 window;
    window.show();
    // A project given on the command line is opened; folders and files (a
    // file manager's "Open with") go into the list as if they had been dropped.
    window.OpenArguments(QApplication::arguments().mid(1));
    return QApplication::exec();
}
