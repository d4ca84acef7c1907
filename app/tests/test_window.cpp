// The main window on the virtual recorder: start-up, controls, the settings
// file, filling the list, the log keys, the unit commands and the speed list.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QSignalSpy>
#include <QUrl>

#include "app/BrowserLists.h"
#include "app/CompilationList.h"
#include "app/FileBrowser.h"
#include "app/KestrelIni.h"
#include "app/SpeedCombo.h"
#include "app/tests/WindowTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

bool DropOn(QWidget* Target, QMimeData* Data) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &drop);
    return drop.isAccepted();
}

QString Q(const std::string& S) { return QString::fromStdString(S); }

QStringList ComboItems(QComboBox* Box) {
    QStringList items;
    for (int i = 0; i < Box->count(); ++i) items << Box->itemText(i);
    return items;
}

}  // namespace

class TWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startupLogsCaptionListsDrivesAndWritesSavePath();
    void withoutDeviceLayerOnlyImagesCanBeBuilt();
    void controlsCarryTheirNamesCaptionsAndHints();
    void savePathStatesReadAndCycle();
    void settingsFileFillsBurnerAndOptions();
    void listFilledByShellDropsAndBrowserDrags();
    void clearEmptiesListAndCompilation();
    void logKeysCopyAndClear();
    void unitCommandsLogTheirResult();
    void speedListForCdAndDvd();
    void burnDisabledForDriveThatCannotWrite();
    void windowRemembersSizeAndSplitters();
};

void TWindowTest::startupLogsCaptionListsDrivesAndWritesSavePath() {
    TAppTestEnv env;
    auto window = ShowWindow();
    QCOMPARE(window->windowTitle(), QString("Kestrel CD/DVD Burner 1.22"));
    const QStringList lines = LogLines(*window);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), QString(">>> Kestrel CD/DVD Burner 1.22"));
    QCOMPARE(lines.last(), QString(" "));
    // A new user sees the virtual recorder's two drives; the first is chosen.
    QVERIFY(window->cbDrives->count() >= 2);
    QCOMPARE(window->cbDrives->currentIndex(), 0);
    QCOMPARE(window->cbDrives->toolTip(), window->cbDrives->currentText());
    QCOMPARE(Q(window->Burner().CurrentDevice()), window->cbDrives->currentText());
    QVERIFY2(window->lDrive->text().startsWith("Drive ") && window->lDrive->text().endsWith(":"),
             qPrintable(window->lDrive->text()));
    QVERIFY(window->bBurn->isEnabled());
    QVERIFY(window->pTop->isEnabled());
    // No settings file: grayed is the window's own state; reading makes it
    // unchecked and writes that back.
    QCOMPARE(window->cPathInfo->checkState(), Qt::Unchecked);
    QCOMPARE(TKestrelIni().ReadString("Options", "SavePath", ""), std::string("Unchecked"));
    QCOMPARE(window->Burner().CacheSize(), 8392704);
    QVERIFY(window->Burner().PerformOPC);
    QVERIFY(window->Burner().JolietFileSystem);
}

void TWindowTest::withoutDeviceLayerOnlyImagesCanBeBuilt() {
    TAppTestEnv env;
    TScopedEnv noLayer("KESTREL_DEVICE_LAYER", "none");
    WriteFile(env.Sub("src/f.txt"), "content");
    auto box = PressOnNextBox(QMessageBox::Ok);
    auto window = ShowWindow();
    QTRY_VERIFY(box->Seen);
    QCOMPARE(box->Text, QString("Error initializing ASPI Layer, Please visit support page, the README of Kestrel "
                                "for more information"));
    QVERIFY(!window->pTop->isEnabled());
    QVERIFY(!window->pTop2->isEnabled());
    QVERIFY(!window->bBurnISO->isEnabled());
    QCOMPARE(window->cbDrives->count(), 0);
    // The settings file is not read, so nothing is written back either.
    QVERIFY(!std::filesystem::exists(TKestrelIni::DefaultPath()));
    QCOMPARE(window->cPathInfo->checkState(), Qt::PartiallyChecked);
    // An image file can still be built, and the device commands stay off after it.
    window->AddSources({Q(env.Sub("src/f.txt"))});
    AnswerNextDialog([&](QWidget* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        QVERIFY(input);
        input->setTextValue(Q(env.Sub("out.iso")));
        input->accept();
    });
    window->bSaveISOClick();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QVERIFY(std::filesystem::file_size(env.Sub("out.iso")) > 0);
    QVERIFY(window->bSaveISO->isEnabled());
    QVERIFY(!window->pTop->isEnabled() && !window->pTop2->isEnabled() && !window->bBurnISO->isEnabled());
}

void TWindowTest::controlsCarryTheirNamesCaptionsAndHints() {
    TAppTestEnv env;
    auto window = ShowWindow();
    struct TControl {
        const char* Name;
        const char* Caption;
        const char* Hint;
    };
    const TControl buttons[] = {
        {"bCaps", "...", "Drive capabilities"},
        {"bDisc", "Disc Info", "Disc & Session information (Extract file from any session)"},
        {"bAdvance", "Advance", ""},
        {"bBurn", "Burn", "Start Burning"},
        {"bQErase", "Q.Erase", "Quick Erase"},
        {"bCErase", "C.Erase", "Full Erase (Normally not required)"},
        {"bLoad", "Load", "Load Medium"},
        {"bEject", "Eject", "Eject Medium"},
        {"bReady", "Ready", "Is Unit Ready ?"},
        {"bSaveISO", "Build .ISO", "Build and Save .ISO Image"},
        {"bBurnISO", "Burn .ISO", ""},
        {"bClear", "Clear", ""},
        {"bNetwork", "Network", ""},
        {"bAbort", "Abort", "Abort write operation"},
    };
    for (const TControl& c : buttons) {
        auto* button = window->findChild<QPushButton*>(c.Name);
        QVERIFY2(button, c.Name);
        QCOMPARE(button->text(), QString(c.Caption));
        // The hint leads; terse captions are explained below it.
        if (*c.Hint) QCOMPARE(button->toolTip().section('\n', 0, 0), QString(c.Hint));
        QVERIFY2(!button->toolTip().isEmpty(), c.Name);
    }
    // The terse ones say what they do.
    QVERIFY(window->bQErase->toolTip().contains("Quick erase"));
    QVERIFY(window->bCErase->toolTip().contains("Complete erase"));
    QVERIFY(window->bAdvance->toolTip().startsWith("Settings"));
    for (const char* state : {"Cleared:", "Partly checked:", "Checked:"})
        QVERIFY2(window->cPathInfo->toolTip().contains(state), state);
    QVERIFY(window->clBox->headerItem()->toolTip(0).startsWith("Include subfolders"));
    // The main buttons carry icons (the theme's, else the style's own).
    for (QPushButton* button : {window->bBurn, window->bDisc, window->bAdvance, window->bQErase, window->bCErase,
                                window->bLoad, window->bEject, window->bReady, window->bSaveISO, window->bBurnISO,
                                window->bClear, window->bAbort})
        QVERIFY2(!button->icon().isNull(), qPrintable(button->objectName()));
    QVERIFY(window->bBurn->font().bold());
    QVERIFY(!window->bAbort->isVisible());
    for (const char* name : {"pTop", "pTop2", "pDiscFiles", "pDrivesDir", "pbottom", "lDrive", "cbDrives", "cbSpeed",
                             "Label1", "cPathInfo", "clBox", "DriveCB", "lbDir", "lbFiles", "Memo1", "pcd", "lSize",
                             "pBuf", "pHBuf", "Timer1", "ExplorerDragDrop"})
        QVERIFY2(window->findChild<QObject*>(name), name);
    QCOMPARE(window->cPathInfo->text(), QString("Save path"));
    QCOMPARE(window->cPathInfo->toolTip().section('\n', 0, 0), QString("Preserve directory structure"));
    QCOMPARE(window->clBox->headerItem()->text(0), QString("R"));
    QCOMPARE(window->clBox->headerItem()->text(1), QString("Name"));
    QCOMPARE(window->clBox->headerItem()->text(2), QString("Size "));
    QCOMPARE(ComboItems(window->cbSpeed), QStringList({"Max"}));
    QCOMPARE(window->Memo1->toolTip(), QString("Log"));
    QCOMPARE(window->pBuf->toolTip(), QString("Software buffer status"));
    QCOMPARE(window->pHBuf->toolTip(), QString("Device buffer status"));
    QCOMPARE(window->lSize->text(), QString("Size"));
}

void TWindowTest::savePathStatesReadAndCycle() {
    TAppTestEnv env;
    TKestrelIni ini;
    ini.WriteString("Options", "SavePath", "grayed");  // any letter case
    {
        auto window = ShowWindow();
        QCOMPARE(window->cPathInfo->checkState(), Qt::PartiallyChecked);
        QVERIFY(window->SavePathState() == kestrel::TSavePathState::Grayed);
        // Grayed is the box's first state: nothing was written back.
        QCOMPARE(ini.ReadString("Options", "SavePath", ""), std::string("grayed"));
        // A click goes grayed -> checked -> unchecked -> grayed, writing each state.
        window->cPathInfo->click();
        QCOMPARE(ini.ReadString("Options", "SavePath", ""), std::string("Checked"));
        QVERIFY(window->SavePathState() == kestrel::TSavePathState::Checked);
        window->cPathInfo->click();
        QCOMPARE(ini.ReadString("Options", "SavePath", ""), std::string("Unchecked"));
        window->cPathInfo->click();
        QCOMPARE(ini.ReadString("Options", "SavePath", ""), std::string("Grayed"));
    }
    ini.WriteString("Options", "SavePath", "CHECKED");
    auto window = ShowWindow();
    QCOMPARE(window->cPathInfo->checkState(), Qt::Checked);
    QCOMPARE(ini.ReadString("Options", "SavePath", ""), std::string("Checked"));
}

void TWindowTest::settingsFileFillsBurnerAndOptions() {
    TAppTestEnv env;
    WriteFile(TKestrelIni::DefaultPath().string(),
              "[Options]\nArchiveFiles=1\nImportSession=0\nSessionNo=3\nCloseDisc=1\nEjectDisc=1\nJolietFS=0\n"
              "Bootable=1\nTestWrite=1\nQuickSaveISO=1\nShowFiles=0\nPerformOPC=0\nBootImage=/boot.img\n"
              "VolumeLable=MYDISC\nCacheSize=1000\n");
    auto window = ShowWindow();
    auto& burner = window->Burner();
    QVERIFY(window->Options.ArchiveFiles);
    QVERIFY(!window->Options.ImportSession);
    QCOMPARE(int(window->Options.SessionNo), 0);  // ImportSession off: no session
    QVERIFY(burner.FinalizeDisc);
    QVERIFY(window->Options.EjectDisc);
    QVERIFY(!burner.JolietFileSystem);
    QVERIFY(burner.RockRidge);  // a file from before the key reads as on
    QVERIFY(burner.Bootable);
    QVERIFY(burner.TestWrite);
    QVERIFY(window->Options.QuickSaveISO);
    QVERIFY(!burner.PerformOPC);
    QCOMPARE(burner.BootImageFile, std::string("/boot.img"));
    // A file from before the boot choices: an emulated BIOS entry, no UEFI one.
    QVERIFY(!burner.BootNoEmulation && !burner.BootInfoTable && !burner.EfiBootable);
    QCOMPARE(burner.BootLoadSize, 0);
    QCOMPARE(burner.IdVolume, std::string("MYDISC"));
    QCOMPARE(burner.CacheSize(), 2 * 1048576);  // below 2 MB gives 2 MB
    window.reset();

    // With the import on, the session number is read; a bad one is reported
    // and does not cost the keys after it.
    WriteFile(TKestrelIni::DefaultPath().string(),
              "[Options]\nImportSession=1\nSessionNo=-1\nEjectDisc=0\n");
    window = ShowWindow();
    QCOMPARE(int(window->Options.SessionNo), -1);
    QVERIFY(window->Options.ImportSession);
    window.reset();
    WriteFile(TKestrelIni::DefaultPath().string(),
              "[Options]\nImportSession=1\nSessionNo=300\nShowFiles=1\nRockRidge=0\n");
    window = ShowWindow();
    QVERIFY(!window->Burner().RockRidge);
    QCOMPARE(int(window->Options.SessionNo), 0);
    QVERIFY(window->Options.ShowFiles);
    QVERIFY(LogLines(*window).filter("SessionNo 300").size() == 1);
}

void TWindowTest::listFilledByShellDropsAndBrowserDrags() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/docs/a.txt"), std::string(1000, 'a'));
    WriteFile(env.Sub("src/docs/sub/b.txt"), std::string(2000, 'b'));
    WriteFile(env.Sub("src/one.txt"), std::string(10, '1'));
    WriteFile(env.Sub("src/two.txt"), "");
    WriteFile(env.Sub("src/.three"), std::string(3, '3'));
    auto window = ShowWindow();
    TCompilationList* list = window->clBox;

    // From the file manager: a folder gets one trailing "/" and is
    // recursive; a file is kept as it is and is not.
    auto shell = std::make_unique<QMimeData>();
    shell->setUrls({QUrl::fromLocalFile(Q(env.Sub("src/docs"))), QUrl::fromLocalFile(Q(env.Sub("src/one.txt")))});
    QVERIFY(DropOn(list->viewport(), shell.get()));
    QCOMPARE(list->EntryCount(), 2);

    // From the browser: the chosen directory, then three selected files in list order.
    window->pDrivesDir->SetShowHidden(true);
    QVERIFY(window->pDrivesDir->GoTo(Q(env.Sub("src"))));
    std::unique_ptr<QMimeData> dirDrag(BrowserDragData("lbDir", {Q(env.Sub("src"))}));
    QVERIFY(DropOn(list->viewport(), dirDrag.get()));
    window->lbFiles->selectAll();
    std::unique_ptr<QMimeData> fileDrag(BrowserDragData("lbFiles", window->lbFiles->SelectedPaths()));
    QVERIFY(DropOn(list->viewport(), fileDrag.get()));

    const auto entries = list->Entries();
    QCOMPARE(entries.size(), size_t(6));
    QCOMPARE(Q(entries[0].Path), Q(env.Sub("src/docs/")));
    QVERIFY(entries[0].Recursive);
    QCOMPARE(Q(entries[1].Path), Q(env.Sub("src/one.txt")));
    QVERIFY(!entries[1].Recursive);
    QCOMPARE(Q(entries[2].Path), Q(env.Sub("src/")));
    QVERIFY(entries[2].Recursive);
    QCOMPARE(Q(entries[3].Path), Q(env.Sub("src/.three")));
    QCOMPARE(Q(entries[4].Path), Q(env.Sub("src/one.txt")));
    QCOMPARE(Q(entries[5].Path), Q(env.Sub("src/two.txt")));
    for (size_t i = 3; i < 6; ++i) QVERIFY(!entries[i].Recursive);
    QTRY_VERIFY(!list->CountingSizes());
    QCOMPARE(list->topLevelItem(0)->text(TCompilationList::colSize), QString("3,000"));
    QCOMPARE(list->topLevelItem(3)->text(TCompilationList::colSize), QString("3"));
    QCOMPARE(list->topLevelItem(5)->text(TCompilationList::colSize), QString());

    // The root of the file system gives "/" once.
    QVERIFY(window->pDrivesDir->GoTo("/"));
    std::unique_ptr<QMimeData> rootDrag(BrowserDragData("lbDir", {"/"}));
    QVERIFY(DropOn(list->viewport(), rootDrag.get()));
    QCOMPARE(list->Entries().back().Path, std::string("/"));
}

void TWindowTest::clearEmptiesListAndCompilation() {
    TAppTestEnv env;
    WriteFile(env.Sub("f.txt"), "x");
    auto window = ShowWindow();
    window->AddSources({Q(env.Sub("f.txt"))});
    window->Burner().InsertFile("\\", env.Sub("f.txt"), false);
    QCOMPARE(window->Burner().FilesCount(), 1);
    window->bClear->click();
    QCOMPARE(window->clBox->EntryCount(), 0);
    QCOMPARE(window->Burner().FilesCount(), 0);
}

void TWindowTest::logKeysCopyAndClear() {
    TAppTestEnv env;
    auto window = ShowWindow();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    window->Log(">>> SOMETHING");
    // F5 refreshes the file browser now; it leaves the clipboard alone.
    window->clBox->setFocus();
    QApplication::clipboard()->clear();
    QSignalSpy refreshed(window->pDrivesDir->RefreshAction(), &QAction::triggered);
    QTest::keyClick(window->clBox, Qt::Key_F5);
    QCOMPARE(refreshed.count(), 1);
    QVERIFY(QApplication::clipboard()->text().isEmpty());
    // Ctrl+Shift+C ("Copy Log") copies the whole log whichever control has the focus.
    QTest::keyClick(window->clBox, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::clipboard()->text(), window->Memo1->toPlainText());
    QVERIFY(QApplication::clipboard()->text().startsWith(">>> Kestrel CD/DVD Burner 1.22"));
    QVERIFY(QApplication::clipboard()->text().contains(">>> SOMETHING"));
    // F8 clears it.
    QTest::keyClick(window->clBox, Qt::Key_F8);
    QVERIFY(window->Memo1->toPlainText().isEmpty());
}

void TWindowTest::unitCommandsLogTheirResult() {
    TAppTestEnv env;
    auto window = ShowWindow();
    // Each command runs off the GUI thread; its line comes when the drive answered.
    const auto run = [&](QPushButton* button, const char* line) {
        QTRY_VERIFY(button->isEnabled());
        button->click();
        QTRY_COMPARE(LogLines(*window).last(), QString(line));
    };
    run(window->bReady, ">>> DRIVE IS READY");
    run(window->bEject, ">>> EJECT MEDIUM COMMAND DONE.");
    run(window->bReady, ">>> DRIVE IS NOT READY ");
    run(window->bLoad, ">>> LOAD MEDIUM COMMAND DONE.");
    run(window->bReady, ">>> DRIVE IS READY");
}

void TWindowTest::speedListForCdAndDvd() {
    TAppTestEnv env;
    auto window = ShowWindow();
    // Drive 0 holds a DVD: one decimal, steps of 700 KB/s.
    window->cbSpeedDropDown();
    QStringList dvd = ComboItems(window->cbSpeed);
    QVERIFY(dvd.size() > 1);
    QCOMPARE(dvd.first(), QString("Max"));
    QCOMPARE(window->cbSpeed->currentIndex(), 0);
    const QRegularExpression dvdEntry("^\\d+\\.\\dX \\(\\d{1,3}(,\\d{3})* KB/s\\)$");
    for (int i = 1; i < dvd.size(); ++i) QVERIFY2(dvdEntry.match(dvd[i]).hasMatch(), qPrintable(dvd[i]));
    QCOMPARE(dvd.removeDuplicates(), 0);
    // The selection survives a new drop-down.
    window->cbSpeed->setCurrentIndex(1);
    window->cbSpeedDropDown();
    QCOMPARE(window->cbSpeed->currentIndex(), 1);

    // Drive 1 holds a CD: whole factors.
    window->cbDrives->setCurrentIndex(1);
    window->cbDrivesChange();
    window->cbSpeed->setCurrentIndex(0);
    window->cbSpeedDropDown();
    QStringList cd = ComboItems(window->cbSpeed);
    QVERIFY(cd.size() > 1);
    const QRegularExpression cdEntry("^\\d+X \\(\\d{1,3}(,\\d{3})* KB/s\\)$");
    for (int i = 1; i < cd.size(); ++i) QVERIFY2(cdEntry.match(cd[i]).hasMatch(), qPrintable(cd[i]));
    QCOMPARE(cd.removeDuplicates(), 0);
}

void TWindowTest::burnDisabledForDriveThatCannotWrite() {
    TAppTestEnv env;
    std::string output;
    QVERIFY(RunVDriveTool("list", &output) == 0);
    QCOMPARE(RunVDriveTool("model --drive 1 --preset cd-reader", &output), 0);
    auto window = ShowWindow();
    QVERIFY(window->bBurn->isEnabled());  // drive 0 writes
    window->cbDrives->setCurrentIndex(1);
    window->cbDrivesChange();
    QVERIFY(!window->bBurn->isEnabled());
    window->cbDrives->setCurrentIndex(0);
    window->cbDrivesChange();
    QVERIFY(window->bBurn->isEnabled());
}

void TWindowTest::windowRemembersSizeAndSplitters() {
    TAppTestEnv env;
    QSize size;
    QList<int> panes;
    {
        auto window = ShowWindow();
        // 738 by 460, or wider where the drive's line needs it.
        QCOMPARE(window->height(), 460);
        QVERIFY(window->width() >= 738);
        const QString line = window->cbDrives->currentText();
        QVERIFY2(window->cbDrives->width() > window->cbDrives->fontMetrics().horizontalAdvance(line),
                 qPrintable(line));
        window->resize(900, 600);
        auto* splitter = window->findChild<QSplitter*>("splitPanes");
        QVERIFY(splitter);
        splitter->setSizes({300, 500});
        panes = splitter->sizes();
        window->pDrivesDir->SetShowHidden(true);
        window->Memo1->SetShowDeviceLines(true);
        size = window->size();
        window->close();
    }
    auto window = ShowWindow();
    QCOMPARE(window->size(), size);
    QCOMPARE(window->findChild<QSplitter*>("splitPanes")->sizes(), panes);
    // The view choices come back too.
    QVERIFY(window->pDrivesDir->ShowHidden());
    QVERIFY(window->Memo1->ShowDeviceLines());
}

QTEST_MAIN(TWindowTest)
#include "test_window.moc"
