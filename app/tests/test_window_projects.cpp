// Projects in the window: saving and opening the list with its options
// through the File menu's dialogs, the recent list, missing sources and
// broken files; the window title; Ctrl+Q.
#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QFileDialog>
#include <QMenu>
#include <QTimer>

#include <filesystem>

#include "app/AppSetup.h"
#include "app/CompilationList.h"
#include "app/ProjectFile.h"
#include "app/ProjectSession.h"
#include "app/tests/DialogTestSupport.h"
#include "app/tests/WindowTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

QString Q(const std::string& S) { return QString::fromStdString(S); }

QStringList Paths(const TForm1& W) {
    QStringList paths;
    for (const kestrel::TListEntry& entry : W.clBox->Entries())
        paths << Q(entry.Path) + (entry.Recursive ? " [R]" : "");
    return paths;
}

// Answers the next file chooser with Path typed into its name box.
void ChooseFile(const QString& Path) {
    AnswerDialogOf<QFileDialog>([Path](QFileDialog* chooser) { ChooseInFileDialog(chooser, Path); });
}

std::unique_ptr<TForm1> ActiveWindow() {
    auto window = ShowWindow();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get())) return nullptr;
    return window;
}

}  // namespace

class TWindowProjectsTest : public QObject {
    Q_OBJECT
private slots:
    void saveAndOpenKeepListAndOptions();
    void recentProjectsOpenFromTheMenu();
    void missingSourcesAreReportedAndKept();
    void brokenProjectGivesAClearErrorAndChangesNothing();
    void titleNamesTheProgramOnce();
    void ctrlQQuitsAfterAskingAboutChanges();
};

void TWindowProjectsTest::saveAndOpenKeepListAndOptions() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/docs/a.txt"), "a");
    WriteFile(env.Sub("src/notes.txt"), "n");
    auto window = ShowWindow();
    window->AddSources({Q(env.Sub("src/docs")), Q(env.Sub("src/notes.txt"))});
    window->clBox->topLevelItem(0)->setCheckState(TCompilationList::colR, Qt::Unchecked);
    window->SetSavePathState(kestrel::TSavePathState::Checked);
    window->Burner().IdVolume = "MONTHLY";
    window->Burner().FinalizeDisc = true;
    window->Options.ArchiveFiles = true;
    window->Burner().BootNoEmulation = window->Burner().BootInfoTable = window->Burner().EfiBootable = true;
    window->Burner().BootLoadSize = 8;
    window->Burner().EfiBootImageFile = env.Sub("efi.img");
    const QStringList list = Paths(*window);

    // Save As adds the suffix; the title then names the project.
    ChooseFile(Q(env.Sub("backup")));
    window->Projects()->SaveAsAction()->trigger();
    const QString file = Q(env.Sub("backup.kestrel"));
    QVERIFY(QFileInfo::exists(file));
    QCOMPARE(window->windowTitle(), QString("backup.kestrel[*] \u2014 Kestrel CD/DVD Burner 1.22"));
    QVERIFY(!window->isWindowModified());
    window->AddSources({Q(env.Sub("src/notes.txt"))});
    QTRY_VERIFY(window->isWindowModified());

    // New asks about the change (Discard here) and empties the list.
    auto asked = PressOnNextBox(QMessageBox::Discard);
    window->Projects()->NewAction()->trigger();
    QVERIFY(asked->Seen);
    QVERIFY(asked->Text.contains("backup.kestrel"));
    QCOMPARE(window->clBox->EntryCount(), 0);
    QCOMPARE(window->windowTitle(), QString("Kestrel CD/DVD Burner 1.22"));
    window->SetSavePathState(kestrel::TSavePathState::Unchecked);
    window->Burner().IdVolume.clear();
    window->Burner().FinalizeDisc = false;
    window->Options.ArchiveFiles = false;
    window->Burner().BootNoEmulation = window->Burner().BootInfoTable = window->Burner().EfiBootable = false;
    window->Burner().BootLoadSize = 0;
    window->Burner().EfiBootImageFile.clear();

    // Open brings the list and the options back.
    ChooseFile(file);
    window->Projects()->OpenAction()->trigger();
    QCOMPARE(Paths(*window), list);
    QVERIFY(window->SavePathState() == kestrel::TSavePathState::Checked);
    QCOMPARE(window->Burner().IdVolume, std::string("MONTHLY"));
    QVERIFY(window->Burner().FinalizeDisc);
    QVERIFY(window->Options.ArchiveFiles);
    const auto& boot = window->Burner();
    QVERIFY(boot.BootNoEmulation && boot.BootInfoTable && boot.EfiBootable);
    QCOMPARE(boot.BootLoadSize, 8);
    QCOMPARE(boot.EfiBootImageFile, env.Sub("efi.img"));
    QVERIFY(!window->isWindowModified());
    // Save writes the same file again, with the change.
    window->clBox->topLevelItem(1)->setSelected(true);
    window->clBox->Remove1Click();
    QTRY_VERIFY(window->isWindowModified());
    window->Projects()->SaveAction()->trigger();
    QVERIFY(!window->isWindowModified());
    QCOMPARE(LoadProjectFile(file.toStdString()).Entries.size(), size_t(1));
}

void TWindowProjectsTest::recentProjectsOpenFromTheMenu() {
    TAppTestEnv env;
    TProject first, second;
    first.Entries = {{"/first/", true}};
    second.Entries = {{"/second.txt", false}};
    SaveProjectFile(env.Sub("first.kestrel"), first);
    SaveProjectFile(env.Sub("second.kestrel"), second);
    {
        auto window = ShowWindow();
        // Missing sources are reported; those boxes are closed here.
        for (const char* name : {"first.kestrel", "second.kestrel"}) {
            PressOnNextBox(QMessageBox::Ok);
            QVERIFY(window->Projects()->OpenProject(Q(env.Sub(name))));
        }
    }
    // The next run offers both, newest first, and opens one from the menu.
    auto window = ShowWindow();
    QMenu* recent = window->Projects()->RecentMenu();
    emit recent->aboutToShow();
    QCOMPARE(recent->actions().size(), 2);
    QVERIFY(recent->actions().at(0)->text().contains("second.kestrel"));
    QVERIFY(recent->actions().at(1)->text().contains("first.kestrel"));
    PressOnNextBox(QMessageBox::Ok);
    recent->actions().at(1)->trigger();
    QCOMPARE(Paths(*window), QStringList({"/first/ [R]"}));
    // A project that is gone is said so and leaves the list.
    std::filesystem::remove(env.Sub("second.kestrel"));
    emit recent->aboutToShow();
    auto gone = PressOnNextBox(QMessageBox::Ok);
    recent->actions().at(1)->trigger();
    QVERIFY(gone->Seen);
    QVERIFY(gone->Text.contains("second.kestrel"));
    QCOMPARE(window->Projects()->Recent().Files(), QStringList({Q(env.Sub("first.kestrel"))}));
    QCOMPARE(Paths(*window), QStringList({"/first/ [R]"}));
}

void TWindowProjectsTest::missingSourcesAreReportedAndKept() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/stays.txt"), "s");
    TProject project;
    project.Entries = {{env.Sub("src/stays.txt"), false}, {env.Sub("share/gone/"), true}};
    SaveProjectFile(env.Sub("p.kestrel"), project);
    auto window = ShowWindow();
    auto told = PressOnNextBox(QMessageBox::Ok);
    QVERIFY(window->Projects()->OpenProject(Q(env.Sub("p.kestrel"))));
    QVERIFY(told->Seen);
    QVERIFY(told->Text.contains(Q(env.Sub("share/gone/"))));
    QVERIFY(!told->Text.contains("stays.txt"));
    // Both stay in the list; the missing one is marked.
    QCOMPARE(window->clBox->EntryCount(), 2);
    QTRY_VERIFY(!window->clBox->CountingSizes());
    QVERIFY(!window->clBox->EntryMissing(0));
    QVERIFY(window->clBox->EntryMissing(1));
}

void TWindowProjectsTest::brokenProjectGivesAClearErrorAndChangesNothing() {
    TAppTestEnv env;
    WriteFile(env.Sub("broken.kestrel"), "[Project]\nFormat=1\n[Options]\nJolietFS=maybe\n");
    WriteFile(env.Sub("image.kestrel"), std::string("\0\1\2CD001", 8));
    auto window = ShowWindow();
    window->AddSources({"/kept"});
    auto box = PressOnNextBox(QMessageBox::Ok);
    QVERIFY(!window->Projects()->OpenProject(Q(env.Sub("broken.kestrel"))));
    QVERIFY(box->Seen);
    QVERIFY2(box->Text.contains("broken.kestrel") && box->Text.contains("JolietFS must be 0 or 1") &&
                 box->Text.contains("(line 4)"),
             qPrintable(box->Text));
    auto foreign = PressOnNextBox(QMessageBox::Ok);
    QVERIFY(!window->Projects()->OpenProject(Q(env.Sub("image.kestrel"))));
    QVERIFY(foreign->Text.contains("not a Kestrel project"));
    QCOMPARE(Paths(*window), QStringList({"/kept"}));
    QCOMPARE(window->windowTitle(), QString("Kestrel CD/DVD Burner 1.22"));
    QVERIFY(window->Projects()->Recent().Files().isEmpty());
}

void TWindowProjectsTest::titleNamesTheProgramOnce() {
    TAppTestEnv env;
    SetUpApplication();
    auto window = ShowWindow();
    // The desktop adds the display name to a title that does not end with it.
    QVERIFY(window->windowTitle().endsWith(QGuiApplication::applicationDisplayName()));
    QCOMPARE(window->windowTitle().count("Kestrel"), 1);
    QVERIFY(!QApplication::windowIcon().isNull());
    QVERIFY(!QApplication::windowIcon().pixmap(QSize(64, 64), 2.0).isNull());
    ChooseFile(Q(env.Sub("named.kestrel")));
    window->Projects()->SaveAsAction()->trigger();
    QVERIFY(window->windowTitle().startsWith("named.kestrel"));
    QVERIFY(window->windowTitle().endsWith(QGuiApplication::applicationDisplayName()));
    QCOMPARE(window->windowTitle().count("Kestrel"), 1);
}

void TWindowProjectsTest::ctrlQQuitsAfterAskingAboutChanges() {
    TAppTestEnv env;
    auto window = ActiveWindow();
    QVERIFY(window);
    QCOMPARE(window->QuitAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    ChooseFile(Q(env.Sub("q.kestrel")));
    window->Projects()->SaveAsAction()->trigger();
    window->AddSources({"/changed"});
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    // A changed project: Cancel keeps the window open.
    auto cancel = PressOnNextBox(QMessageBox::Cancel);
    QTest::keyClick(window->clBox, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(cancel->Seen);
    QVERIFY(window->isVisible());
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    // Saved, it just goes.
    auto save = PressOnNextBox(QMessageBox::Save);
    QTest::keyClick(window->clBox, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(save->Seen);
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(LoadProjectFile(env.Sub("q.kestrel")).Entries.size(), size_t(1));
}

QTEST_MAIN(TWindowProjectsTest)
#include "test_window_projects.moc"
