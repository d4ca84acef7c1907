#pragma once
// Helpers of the window tests: a fresh recorder and settings folder per
// test, answering the modal dialogs a command opens, and reading the log.
#include <sys/wait.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include "support/TestSupport.h"

namespace kestrel::test {

// A per-test environment: its own recorder state, settings and home folder.
struct TAppTestEnv {
    TTempDir Dir;
    TScopedEnv VDrive{"KESTREL_VDRIVE_DIR", (Dir.Path() / "vdrive").string()};
    TScopedEnv Config{"XDG_CONFIG_HOME", (Dir.Path() / "config").string()};
    TScopedEnv Layer{"KESTREL_DEVICE_LAYER", "library"};

    std::string Sub(const std::string& Name) const { return (Dir.Path() / Name).string(); }
};

// Runs Answer on the next modal dialog that opens (polling every 10 ms, for
// at most TimeoutMs); the dialog is passed in so the test can fill and close it.
inline void AnswerNextDialog(std::function<void(QWidget*)> Answer, int TimeoutMs = 10000) {
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, Answer, TimeoutMs] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            Answer(modal);
        } else if (clock->elapsed() > TimeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Answers a file chooser with Path as a user types it into the name box, and
// accepts. (selectFile does not touch a name box that has the focus, which
// an open chooser's box has once its window is active.)
inline void ChooseInFileDialog(QFileDialog* Chooser, const QString& Path) {
    if (auto* name = Chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->setText(Path);
    else Chooser->selectFile(Path);
    QMetaObject::invokeMethod(Chooser, "accept");
}

}  // namespace kestrel::test
