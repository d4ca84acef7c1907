#pragma once
// Helpers of the dialog tests: answering a dialog of a given class, the
// settings file's key order, and sample discs in the virtual recorder.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/tests/WindowTestSupport.h"

namespace kestrel::test {

// Runs Answer on the first modal dialog that is a T, once it is the active
// one. A dialog that opened it may still be the active modal widget when the
// poll first looks, so other dialogs are passed over; when no T comes within
// TimeoutMs, whatever modal dialog is up is closed so the test goes on (and
// fails on what Answer did not record).
template <class T>
void AnswerDialogOf(std::function<void(T*)> Answer, int TimeoutMs = 20000) {
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, Answer, TimeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* typed = qobject_cast<T*>(modal)) {
            timer->stop();
            timer->deleteLater();
            Answer(typed);
        } else if (clock->elapsed() > TimeoutMs) {
            timer->stop();
            timer->deleteLater();
            if (modal) modal->close();
        }
    });
    timer->start();
}

// Fills the next input box with Text and accepts it; Seen gets its title,
// prompt and offered text.
struct TInputSeen {
    bool Seen = false;
    QString Title;
    QString Prompt;
    QString Offered;
};

// Then runs once the box is answered: the place to wait for the dialog the
// answer leads to (two waiting answers would both take the input box).
inline std::shared_ptr<TInputSeen> AnswerInput(const QString& Text, std::function<void()> Then = {}) {
    auto seen = std::make_shared<TInputSeen>();
    AnswerDialogOf<QInputDialog>([seen, Text, Then](QInputDialog* input) {
        seen->Seen = true;
        seen->Title = input->windowTitle();
        seen->Prompt = input->labelText();
        seen->Offered = input->textValue();
        input->setTextValue(Text);
        input->accept();
        if (Then) Then();
    });
    return seen;
}

// The "key" parts of the "key=value" lines of a file, in file order.
inline QStringList KeysOf(const std::string& File) {
    QStringList keys;
    for (const QString& line : QString::fromStdString(ReadFile(File)).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) keys << line.left(eq);
    }
    return keys;
}

inline std::string ShellOutput(const std::string& Command, int* Code = nullptr) {
    TCommandResult run = CaptureCommand(Command + " 2>&1");
    if (Code) *Code = run.ExitCode;
    return std::move(run.Output);
}

// An ISO 9660 image with Joliet names of the folder Source, made by xorriso.
inline bool MakeImage(const std::string& Source, const std::string& Image) {
    int code = -1;
    ShellOutput("xorriso -as mkisofs -J -o " + Image + " " + Source, &code);
    return code == 0;
}

// Makes the next settings write of this process fail the way a full or
// read-only disk would, whatever the user's rights: a folder that cannot be
// removed stands where the draft of the file goes.
inline void BlockSettingsDraft(const std::filesystem::path& File) {
    const std::string draft = File.string() + ".draft-" + std::to_string(getpid());
    WriteFile(draft + "/in-the-way", "");
}

// Saves a picture of Widget beside the build's programs.
inline bool SaveScreenshot(QWidget* Widget, const char* Name) {
    const QString file = QStringLiteral(KESTREL_APP_BUILD_DIR "/") + QString::fromUtf8(Name);
    return Widget->grab().save(file, "PNG") && QFileInfo(file).size() > 1000;
}

}  // namespace kestrel::test
