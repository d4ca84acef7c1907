// Takes the README's pictures: the main window before, during and after a
// burn on the virtual recorder, and each dialog. Run under a display server
// (scripts/screenshots.sh starts one with Xvfb); the pictures go into the
// folder given as the only argument.
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QToolButton>

#include <cstdio>

#include "app/CompilationList.h"
#include "app/FileBrowser.h"
#include "app/FillMeter.h"
#include "app/dialogs/DeviceCapsDialog.h"
#include "app/dialogs/DiscLayoutDialog.h"
#include "app/dialogs/SessionsDialog.h"
#include "app/dialogs/SettingsDialog.h"
#include "app/dialogs/TreeViewDialog.h"
#include "app/tests/JobTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

// Removed before and after the tour.
constexpr char kDemoHome[] = "/tmp/kestrel-screenshots/home/me";

QString outDir;
int failures = 0;

void Check(bool Ok, const char* What) {
    if (Ok) return;
    std::fprintf(stderr, "screenshot tour: %s\n", What);
    ++failures;
}

// A widget as it is drawn, without the window frame.
void Save(QWidget* Widget, const char* Name) {
    QApplication::processEvents();
    Check(Widget->grab().save(QDir(outDir).filePath(QString::fromUtf8(Name)), "PNG"), Name);
}

// The part of the screen that holds the window and what it shows in front.
void SaveScreen(QWidget* Window, const char* Name, int Margin = 0) {
    QApplication::processEvents();
    const QRect area = Window->frameGeometry().adjusted(-Margin, -Margin, Margin, Margin);
    const QPixmap shot = Window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    Check(shot.save(QDir(outDir).filePath(QString::fromUtf8(Name)), "PNG"), Name);
}

template <class T>
void ShootDialog(const char* Name, std::function<void(T*)> Then) {
    AnswerDialogOf<T>([Name, Then](T* dialog) {
        Save(dialog, Name);
        Then(dialog);
    });
}

void Tour(TAppTestEnv&) {
    // A user's home with a backup set, under a short path that reads well.
    const std::string home = kDemoHome;
    TScopedEnv homeEnv("HOME", home);
    WriteFile(home + "/Backup/Documents/letter.txt", "Dear reader,\n");
    WriteFile(home + "/Backup/Documents/notes.md", "# Notes\n");
    for (const auto& [name, megabytes] : {std::pair{"Photos 2025/holiday.tar", 420}, {"Photos 2025/garden.tar", 310},
                                          {"Music.tar", 180}}) {
        const std::string path = home + "/Backup/" + name;
        WriteFile(path, "");
        std::filesystem::resize_file(path, uintmax_t(megabytes) * 1048576);
    }

    auto window = WindowOnDrive(0);
    window->resize(960, 640);
    window->move(40, 40);
    window->SetSavePathState(kestrel::TSavePathState::Grayed);
    window->pDrivesDir->GoTo(Q(home + "/Backup"));
    window->AddSources({Q(home + "/Backup/Documents"), Q(home + "/Backup/Photos 2025"), Q(home + "/Backup/Music.tar")});
    Check(QTest::qWaitFor([&] { return window->FillMeter()->DiscText().startsWith("DVD+RW, blank"); }, 20000),
          "the disc was not read");
    Check(QTest::qWaitFor([&] { return !window->clBox->CountingSizes(); }, 20000), "the sizes were not counted");
    SaveScreen(window.get(), "main-before.png");

    ShootDialog<TfrmSettings>("dialog-settings.png", [](TfrmSettings* d) { d->Button2->click(); });
    window->bAdvance->click();
    ShootDialog<TForm2>("dialog-capabilities.png", [](TForm2* d) { d->close(); });
    window->bCaps->click();

    // The burn, written at the drive's speed so it can be seen running.
    qputenv("KESTREL_VDRIVE_THROTTLE", "yes");
    qputenv("KESTREL_VDRIVE_TIME_SCALE", "1");
    AnswerBox("Want to Burn the CD ?", [](QMessageBox* box) {
        Save(box, "dialog-start-writing.png");
        return QMessageBox::Yes;
    });
    window->bBurn->click();
    Check(QTest::qWaitFor([&] { return window->lPhase->text().contains("MB/s") && window->pcd->value() * 3 > window->pcd->maximum(); }, 120000),
          "the burn did not get going");
    SaveScreen(window.get(), "main-during.png");
    Check(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE", 600000), "the burn did not end");
    qunsetenv("KESTREL_VDRIVE_THROTTLE");
    qputenv("KESTREL_VDRIVE_TIME_SCALE", "0.01");
    Check(QTest::qWaitFor([&] { return window->EndMessage() && window->EndMessage()->isVisible(); }, 20000),
          "no message at the end");
    Check(QTest::qWaitFor([&] { return window->FillMeter()->DiscText().startsWith("DVD+RW, holds data"); }, 20000),
          "the disc was not read again");
    window->EndMessage()->move(window->geometry().center() - window->EndMessage()->rect().center());
    SaveScreen(window.get(), "main-after.png");
    window->EndMessage()->close();

    // The disc's sessions and the files of one.
    AnswerDialogOf<TfrmSessions>([](TfrmSessions* d) {
        (void)QTest::qWaitFor([d] { return !d->Reading(); }, 60000);
        d->lb->setCurrentRow(0);
        Save(d, "dialog-sessions.png");
        ShootDialog<TfrmTree>("dialog-viewer.png", [](TfrmTree* v) { v->close(); });
        d->SpeedButton1->click();
        (void)QTest::qWaitFor([d] { return !d->Reading() && QApplication::activeModalWidget() == d; }, 60000);
        d->accept();
    });
    window->bDisc->click();

    // A second burn: the question about the files on the disc, then the layout.
    window->Options.ShowFiles = true;
    AnswerBox("OverwriteQuestion", [](QMessageBox* box) {
        Save(box, "dialog-replace-files.png");
        return QMessageBox::Yes;
    });
    ShootDialog<TfrmDiscLayout>("dialog-layout.png", [](TfrmDiscLayout* d) { d->bClose->click(); });
    AnswerBox("Want to Burn the CD ?", QMessageBox::No);
    window->bBurn->click();
    Check(QTest::qWaitFor([&] { return window->pTop->isEnabled() && !window->Timer1->isActive(); }, 60000),
          "the second burn did not end");
    window->Options.ShowFiles = false;

    // No disc: the wait for one.
    RunVDriveTool("eject --drive 0");
    AnswerBox("WaitForDisc", [](QMessageBox* box) {
        Save(box, "dialog-wait-for-disc.png");
        return QMessageBox::Cancel;
    });
    window->bBurn->click();
    Check(QTest::qWaitFor([&] { return window->pTop->isEnabled() && !window->Timer1->isActive(); }, 60000),
          "the wait did not end");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    std::filesystem::remove_all("/tmp/kestrel-screenshots");
    {
        TAppTestEnv env;
        Tour(env);
    }
    std::filesystem::remove_all("/tmp/kestrel-screenshots");
    return failures == 0 ? 0 : 1;
}
