#pragma once
// Helpers of the tests that drive the real main window against the virtual
// recorder.
#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include <cstdio>
#include <memory>
#include <string>

#include "app/LogView.h"
#include "app/MainWindow.h"
#include "app/tests/AppTestSupport.h"

namespace kestrel::test {

// Runs the virtual recorder's control tool on the test's state folder.
// Returns its exit code; Output gets what it printed.
inline int RunVDriveTool(const std::string& Args, std::string* Output = nullptr) {
    TCommandResult run = CaptureCommand(std::string(KESTREL_BIN_DIR) + "/kestrel-vdrive " + Args + " 2>&1");
    if (Output) *Output = std::move(run.Output);
    return run.ExitCode;
}

inline std::unique_ptr<app::TForm1> ShowWindow() {
    auto window = std::make_unique<app::TForm1>();
    window->show();  // the first show starts the device layer
    return window;
}

inline QStringList LogLines(app::TForm1& Window) { return Window.Memo1->Lines(); }

// Waits until the log holds Line (exactly, as a whole line) at index From or later.
inline bool WaitForLogLine(app::TForm1& Window, const QString& Line, int TimeoutMs = 60000, qsizetype From = 0) {
    return QTest::qWaitFor([&] { return LogLines(Window).mid(From).contains(Line); }, TimeoutMs);
}

// Presses the given button of the next message box and remembers its title and text.
struct TBoxSeen {
    bool Seen = false;
    QString Title;
    QString Text;
};

inline std::shared_ptr<TBoxSeen> PressOnNextBox(QMessageBox::StandardButton Button) {
    auto seen = std::make_shared<TBoxSeen>();
    AnswerNextDialog([seen, Button](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (!box) {
            dialog->close();
            return;
        }
        seen->Seen = true;
        seen->Title = box->windowTitle();
        seen->Text = box->text();
        if (QAbstractButton* b = box->button(Button))
            b->click();
        else
            box->close();
    });
    return seen;
}

}  // namespace kestrel::test
