#pragma once
// Helpers of the tests of the window's jobs: answering one particular
// message box among several, sampling a label while a job runs, and
// measuring how late a timer of the GUI thread fires.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/DiscWatcher.h"
#include "app/tests/DialogTestSupport.h"
#include "app/tests/WindowTestSupport.h"

namespace kestrel::test {

inline QString Q(const std::string& S) { return QString::fromStdString(S); }

// The window on the given drive, looking at the disc often so the tests
// wait for states, not seconds.
inline std::unique_ptr<app::TForm1> WindowOnDrive(int Drive) {
    auto window = ShowWindow();
    window->cbDrives->setCurrentIndex(Drive);
    window->cbDrivesChange();
    window->DiscWatcher()->Start(50);
    return window;
}

// A file of Bytes that takes no room on the test's disk.
inline std::string SparseFile(const TAppTestEnv& Env, const std::string& Name, int64_t Bytes) {
    const std::string path = Env.Sub(Name);
    WriteFile(path, "");
    std::filesystem::resize_file(path, static_cast<uintmax_t>(Bytes));
    return path;
}

// The files of a virtual drive's disc (its last session) as isoinfo lists them.
inline std::string DiscListing(const TAppTestEnv& Env, int Drive) {
    const std::string image = Env.Sub("dump.iso");
    if (RunVDriveTool("dump --drive " + std::to_string(Drive) + " -o " + image) != 0) return {};
    return ShellOutput("isoinfo -f -J -i " + image);
}

// What a message box showed when it was answered.
struct TBoxAnswer {
    bool Seen = false;
    QString Title, Text, Informative;
    QStringList Buttons;  // their captions, in the box's order
    QMessageBox::StandardButton DefaultButton = QMessageBox::NoButton;
    // Gives up waiting for the box (it is not expected any more).
    void Stop() { stopped = true; }
    bool stopped = false;
};

// Answers the next modal message box whose object name or title is Name:
// Choose sees it and returns the button to press (NoButton: leave it, it
// closes by itself). Other dialogs are left alone.
inline std::shared_ptr<TBoxAnswer> AnswerBox(const QString& Name,
                                             std::function<QMessageBox::StandardButton(QMessageBox*)> Choose,
                                             int TimeoutMs = 60000) {
    auto answer = std::make_shared<TBoxAnswer>();
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, answer, Name, Choose, TimeoutMs] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        const bool mine = box && (box->objectName() == Name || box->windowTitle() == Name);
        if (answer->stopped || (!mine && clock->elapsed() > TimeoutMs)) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (!mine) return;
        timer->stop();
        timer->deleteLater();
        answer->Seen = true;
        answer->Title = box->windowTitle();
        answer->Text = box->text();
        answer->Informative = box->informativeText();
        for (QAbstractButton* button : box->buttons()) answer->Buttons << button->text();
        if (box->defaultButton()) answer->DefaultButton = box->standardButton(box->defaultButton());
        const QMessageBox::StandardButton choice = Choose(box);
        if (choice == QMessageBox::NoButton) return;
        if (QAbstractButton* button = box->button(choice)) button->click();
    });
    timer->start();
    return answer;
}

inline std::shared_ptr<TBoxAnswer> AnswerBox(const QString& Name, QMessageBox::StandardButton Button,
                                             int TimeoutMs = 60000) {
    return AnswerBox(Name, [Button](QMessageBox*) { return Button; }, TimeoutMs);
}

// Collects the different texts a label shows while it runs.
class TLabelSampler {
public:
    explicit TLabelSampler(QLabel* Label) {
        QObject::connect(&timer_, &QTimer::timeout, [this, Label] {
            const QString text = Label->text();
            if (texts_.isEmpty() || texts_.last() != text) texts_ << text;
        });
        timer_.start(10);
    }
    void Stop() { timer_.stop(); }
    const QStringList& Texts() const { return texts_; }

private:
    QTimer timer_;
    QStringList texts_;
};

// How late a 10 ms timer of the GUI thread fires at worst: the longest the
// GUI thread was kept from its events (modal boxes run their own loop).
class TLatenessProbe {
public:
    static constexpr int kIntervalMs = 10;
    TLatenessProbe() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            worst_ = std::max(worst_, now - last_ - kIntervalMs);
            last_ = now;
        });
    }
    void Start() {
        worst_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start(kIntervalMs);
    }
    // The worst lateness since Start, in ms.
    qint64 Stop() {
        timer_.stop();
        return worst_;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worst_ = 0;
};

}  // namespace kestrel::test
