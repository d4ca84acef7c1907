// The settings dialog opened from the main window: what it shows, what OK
// applies and writes, the session number's edge cases, the boot image
// chooser, Cancel, and a settings file that cannot be written.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include <sys/stat.h>
#include <unistd.h>

#include "app/KestrelIni.h"
#include "app/dialogs/SettingsDialog.h"
#include "app/tests/DialogTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

// What the dialog showed when it opened.
struct TShown {
    bool Seen = false;
    QString Title;
    bool Joliet = false, CloseDisc = false, Import = false, SessionEnabled = false, Underrun = false,
         UnderrunEnabled = false, TestWrite = false, Eject = false, OPC = false, QuickSave = false, Bootable = false,
         ShowFiles = false, Archive = false;
    QString VolLabel, Session, BootImage, CacheLabel;
    int Cache = 0;
};

void Record(TfrmSettings* D, TShown& S) {
    S.Seen = true;
    S.Title = D->windowTitle();
    S.Joliet = D->cJoliet->isChecked();
    S.CloseDisc = D->cCloseDisc->isChecked();
    S.Import = D->cImportSession->isChecked();
    S.SessionEnabled = D->eSession->isEnabled();
    S.Underrun = D->cUnderrunProtection->isChecked();
    S.UnderrunEnabled = D->cUnderrunProtection->isEnabled();
    S.TestWrite = D->cTestWrite->isChecked();
    S.Eject = D->cEject->isChecked();
    S.OPC = D->cOPC->isChecked();
    S.QuickSave = D->cQuickSaveISO->isChecked();
    S.Bootable = D->cBootable->isChecked();
    S.ShowFiles = D->cShowFiles->isChecked();
    S.Archive = D->cArchiveOnly->isChecked();
    S.VolLabel = D->eVolLabel->text();
    S.Session = D->eSession->text();
    S.BootImage = D->Label2->text();
    S.Cache = D->sCacheSize->value();
    S.CacheLabel = D->Label3->text();
}

// Opens the dialog with the main window's button; Answer runs while it is open.
void OpenSettings(TForm1& Window, std::function<void(TfrmSettings*)> Answer) {
    AnswerDialogOf<TfrmSettings>(std::move(Answer));
    Window.bAdvance->click();
}

TShown ShowAndCancel(TForm1& Window) {
    TShown shown;
    OpenSettings(Window, [&shown](TfrmSettings* d) {
        Record(d, shown);
        d->Button2->click();
    });
    return shown;
}

}  // namespace

class TSettingsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void defaultsShownWithCaptionsAndScreenshot();
    void okWritesEveryKeyInOrderAndRestartKeepsThem();
    void sessionNumberEdgeCases();
    void bootableAsksForImageAndCancelUnchecks();
    void bootChoicesRoundTrip();
    void cancelAppliesNothing();
    void unwritableFileKeepsDialogOpenAndFileWhole();
    void underrunBoxDisabledWithoutCapability();
    void sessionNumberAndArchiveMarkExplainedInTheDialog();
    void tickingImportOffersTheLastSession();
};

void TSettingsDialogTest::defaultsShownWithCaptionsAndScreenshot() {
    TAppTestEnv env;
    auto window = ShowWindow();
    TShown shown;
    QStringList captions;
    bool shot = false;
    OpenSettings(*window, [&](TfrmSettings* d) {
        Record(d, shown);
        for (auto* box : d->findChildren<QCheckBox*>()) captions << box->objectName() + "=" + box->text();
        captions << "hint:" + d->cJoliet->toolTip() << "hint:" + d->eSession->toolTip();
        captions << d->Button1->text() << d->Button2->text() << d->Button3->text();
        shot = SaveScreenshot(d, "kestrel-dialog-settings.png");
        d->Button2->click();
    });
    QVERIFY(shown.Seen);
    QVERIFY(shot);
    QCOMPARE(shown.Title, QString("Advanced options"));
    // No settings file: Joliet and OPC on, the rest off, cache 8 MB.
    QVERIFY(shown.Joliet);
    QVERIFY(shown.OPC);
    QVERIFY(shown.Underrun);
    QVERIFY(!shown.CloseDisc && !shown.TestWrite && !shown.Import && !shown.Bootable && !shown.Eject);
    QVERIFY(!shown.SessionEnabled);
    QCOMPARE(shown.Session, QString("0"));
    QCOMPARE(shown.VolLabel, QString());
    QCOMPARE(shown.Cache, 8);
    QCOMPARE(shown.CacheLabel, QString(" 8 MB"));
    for (const char* expected :
         {"cJoliet=Joliet File System", "cCloseDisc=Close Disc (Finalize)", "cImportSession=Import Session",
          "cUnderrunProtection=Underrun Protection", "cTestWrite=Test Write", "cEject=Eject after Write/Erase",
          "cOPC=Perform OPC", "cQuickSaveISO=Quick Save .ISO", "cBootable=Bootable",
          "cShowFiles=Show files before burning", "cArchiveOnly=Archive files only && Clear Archive Bit",
          "hint:Long File Name", "hint:Session Number to Import; for Last Session enter -1", "OK", "Cancel",
          "Close Track"})
        QVERIFY2(captions.contains(expected), expected);
}

void TSettingsDialogTest::okWritesEveryKeyInOrderAndRestartKeepsThem() {
    TAppTestEnv env;
    WriteFile(env.Sub("boot.img"), std::string(2048, 'b'));
    const QString bootImage = QString::fromStdString(env.Sub("boot.img"));
    {
        auto window = ShowWindow();
        window->SetSavePathState(kestrel::TSavePathState::Checked);
        bool closed = false;
        OpenSettings(*window, [&](TfrmSettings* d) {
            d->eVolLabel->setText("BACKUP_2026");
            d->cJoliet->setChecked(false);
            d->cCloseDisc->setChecked(true);
            d->cImportSession->click();
            d->eSession->setText(" -1 ");
            d->cTestWrite->setChecked(true);
            d->cEject->setChecked(true);
            d->cOPC->setChecked(false);
            d->cQuickSaveISO->setChecked(true);
            d->cShowFiles->setChecked(true);
            d->cArchiveOnly->setChecked(true);
            d->cBootable->setChecked(true);  // no click: the path is set directly
            d->Label2->setText(bootImage);
            d->sCacheSize->setValue(12);
            d->Button1->click();
            closed = !d->isVisible();
        });
        QVERIFY(closed);
        auto& b = window->Burner();
        QCOMPARE(b.IdVolume, std::string("BACKUP_2026"));
        QVERIFY(!b.JolietFileSystem && b.FinalizeDisc && b.TestWrite && !b.PerformOPC && b.Bootable);
        QCOMPARE(b.CacheSize(), 12 * 1048576);
        QCOMPARE(int(window->Options.SessionNo), -1);
        QVERIFY(window->Options.ImportSession && window->Options.EjectDisc && window->Options.QuickSaveISO &&
                window->Options.ShowFiles && window->Options.ArchiveFiles);
    }
    // The file: [Options], "SavePath" first (written at start-up), then the
    // dialog's keys in the order OK writes them.
    const std::string file = TKestrelIni::DefaultPath().string();
    QVERIFY(ReadFile(file).rfind("[Options]\n", 0) == 0);
    QCOMPARE(KeysOf(file), QStringList({"SavePath", "ArchiveFiles", "ImportSession", "CloseDisc", "EjectDisc",
                                        "JolietFS", "RockRidge", "Bootable", "TestWrite", "QuickSaveISO", "ShowFiles",
                                        "PerformOPC", "SessionNo", "BootImage", "VolumeLable", "CacheSize",
                                        "BootNoEmulation", "BootLoadSize", "BootInfoTable", "UefiBoot", "UefiBootImage",
                                        "VerifyWrittenData"}));
    TKestrelIni ini;
    QCOMPARE(ini.ReadString("Options", "SavePath", ""), std::string("Checked"));
    QCOMPARE(ini.ReadString("Options", "SessionNo", ""), std::string("-1"));
    QCOMPARE(ini.ReadString("Options", "CacheSize", ""), std::to_string(12 * 1048576));

    // A new run reads every value back.
    auto window = ShowWindow();
    QCOMPARE(window->cPathInfo->checkState(), Qt::Checked);
    QCOMPARE(int(window->Options.SessionNo), -1);
    const TShown shown = ShowAndCancel(*window);
    QVERIFY(shown.Seen);
    QCOMPARE(shown.VolLabel, QString("BACKUP_2026"));
    QVERIFY(!shown.Joliet && shown.CloseDisc && shown.Import && shown.SessionEnabled && shown.TestWrite);
    QVERIFY(shown.Eject && !shown.OPC && shown.QuickSave && shown.ShowFiles && shown.Archive && shown.Bootable);
    QCOMPARE(shown.Session, QString("-1"));
    QCOMPARE(shown.BootImage, bootImage);
    QCOMPARE(shown.Cache, 12);
    QCOMPARE(shown.CacheLabel, QString("12 MB"));
}

void TSettingsDialogTest::sessionNumberEdgeCases() {
    TAppTestEnv env;
    auto window = ShowWindow();
    const std::string file = TKestrelIni::DefaultPath().string();
    const std::string before = ReadFile(file);

    // Not a number while the import is on: the error, the dialog stays, the
    // file is not written, the values before the session number are in effect.
    bool stillOpen = false;
    std::shared_ptr<TBoxSeen> error;
    OpenSettings(*window, [&](TfrmSettings* d) {
        d->cImportSession->click();
        d->eSession->setText("two");
        d->cTestWrite->setChecked(true);
        error = PressOnNextBox(QMessageBox::Ok);
        d->Button1->click();
        stillOpen = d->isVisible();
        d->Button2->click();
    });
    QVERIFY(error && error->Seen);
    QVERIFY2(error->Text.contains("'two' is not a valid integer value"), qPrintable(error->Text));
    QVERIFY(stillOpen);
    QCOMPARE(ReadFile(file), before);
    QVERIFY(window->Burner().TestWrite);
    QCOMPARE(int(window->Options.SessionNo), 0);

    // Outside -128..127: refused the same way.
    OpenSettings(*window, [&](TfrmSettings* d) {
        d->eSession->setText("128");
        error = PressOnNextBox(QMessageBox::Ok);
        d->Button1->click();
        stillOpen = d->isVisible();
        d->Button2->click();
    });
    QVERIFY(error->Seen);
    QVERIFY(stillOpen);
    QCOMPARE(ReadFile(file), before);

    // Zero: the reminder, then no import.
    std::shared_ptr<TBoxSeen> reminder;
    OpenSettings(*window, [&](TfrmSettings* d) {
        d->eSession->setText("0");
        reminder = PressOnNextBox(QMessageBox::Ok);
        d->Button1->click();
    });
    QVERIFY(reminder->Seen);
    QCOMPARE(reminder->Text, QString("Session to import; Zero means not to import any session"));
    QCOMPARE(int(window->Options.SessionNo), 0);
    QCOMPARE(TKestrelIni().ReadString("Options", "SessionNo", ""), std::string("0"));

    // The import off: the typed number is kept in the file, the option is 0.
    OpenSettings(*window, [&](TfrmSettings* d) {
        d->cImportSession->click();
        d->eSession->setText("3");
        d->Button1->click();
    });
    QCOMPARE(int(window->Options.SessionNo), 0);
    QVERIFY(!window->Options.ImportSession);
    window.reset();
    // "ImportSession" = 0 with "SessionNo" = 3 gives no session at start.
    QCOMPARE(TKestrelIni().ReadString("Options", "SessionNo", ""), std::string("3"));
    window = ShowWindow();
    QCOMPARE(int(window->Options.SessionNo), 0);
}

void TSettingsDialogTest::bootableAsksForImageAndCancelUnchecks() {
    TAppTestEnv env;
    WriteFile(env.Sub("images/boot.img"), std::string(2048, 'b'));
    auto window = ShowWindow();
    bool cancelledUnchecks = false, chosenShown = false, uncheckKeeps = false;
    OpenSettings(*window, [&](TfrmSettings* d) {
        // Cancel in the chooser: the box goes off again.
        AnswerDialogOf<QFileDialog>([](QFileDialog* f) { f->reject(); });
        d->cBootable->click();
        cancelledUnchecks = !d->cBootable->isChecked() && d->Label2->text().isEmpty();
        // A chosen file is shown beside the box.
        const QString image = QString::fromStdString(env.Sub("images/boot.img"));
        AnswerDialogOf<QFileDialog>([image](QFileDialog* f) { ChooseInFileDialog(f, image); });
        d->cBootable->click();
        chosenShown = d->cBootable->isChecked() && d->Label2->text() == image;
        // Unchecking keeps the path.
        d->cBootable->click();
        uncheckKeeps = !d->cBootable->isChecked() && d->Label2->text() == image;
        d->Button2->click();
    });
    QVERIFY(cancelledUnchecks);
    QVERIFY(chosenShown);
    QVERIFY(uncheckKeeps);
    QVERIFY(!window->Burner().Bootable);
}

void TSettingsDialogTest::bootChoicesRoundTrip() {
    TAppTestEnv env;
    const QString efiImage = QString::fromStdString(env.Sub("images/efi.img"));
    bool legacyLocksLoaderOptions = false, noEmulationUnlocks = false;
    QStringList modes;
    {
        auto window = ShowWindow();
        OpenSettings(*window, [&](TfrmSettings* d) {
            for (int i = 0; i < d->cbBootMode->count(); ++i) modes << d->cbBootMode->itemText(i);
            legacyLocksLoaderOptions = d->cbBootMode->currentIndex() == 0 && !d->eBootLoadSize->isEnabled() &&
                                       !d->cBootInfoTable->isEnabled() && !d->cUefiBoot->isChecked();
            d->cbBootMode->setCurrentIndex(1);
            noEmulationUnlocks = d->eBootLoadSize->isEnabled() && d->cBootInfoTable->isEnabled();
            d->eBootLoadSize->setValue(8);
            d->cBootInfoTable->setChecked(true);
            d->cUefiBoot->setChecked(true);  // no click: the path is set directly
            d->lUefiImage->setText(efiImage);
            d->Button1->click();
        });
        const auto& b = window->Burner();
        QVERIFY(b.BootNoEmulation && b.BootInfoTable && b.EfiBootable);
        QCOMPARE(b.BootLoadSize, 8);
        QCOMPARE(b.EfiBootImageFile, efiImage.toStdString());
    }
    QCOMPARE(modes, QStringList({"Floppy/hard-disk emulation (legacy)", "No emulation"}));
    QVERIFY(legacyLocksLoaderOptions);
    QVERIFY(noEmulationUnlocks);
    TKestrelIni ini;
    QCOMPARE(ini.ReadString("Options", "BootNoEmulation", ""), std::string("1"));
    QCOMPARE(ini.ReadString("Options", "BootLoadSize", ""), std::string("8"));
    QCOMPARE(ini.ReadString("Options", "UefiBootImage", ""), efiImage.toStdString());

    // A new run reads them back and the dialog shows them.
    auto window = ShowWindow();
    QVERIFY(window->Burner().BootNoEmulation && window->Burner().EfiBootable);
    bool shownBack = false;
    OpenSettings(*window, [&](TfrmSettings* d) {
        shownBack = d->cbBootMode->currentIndex() == 1 && d->eBootLoadSize->value() == 8 &&
                    d->cBootInfoTable->isChecked() && d->cUefiBoot->isChecked() && d->lUefiImage->text() == efiImage;
        d->Button2->click();
    });
    QVERIFY(shownBack);
}

void TSettingsDialogTest::cancelAppliesNothing() {
    TAppTestEnv env;
    auto window = ShowWindow();
    const std::string file = TKestrelIni::DefaultPath().string();
    const std::string before = ReadFile(file);
    OpenSettings(*window, [](TfrmSettings* d) {
        d->cJoliet->setChecked(false);
        d->cEject->setChecked(true);
        d->sCacheSize->setValue(40);
        QTest::keyClick(d, Qt::Key_Escape);
    });
    QVERIFY(window->Burner().JolietFileSystem);
    QVERIFY(!window->Options.EjectDisc);
    QCOMPARE(window->Burner().CacheSize(), 8392704);
    QCOMPARE(ReadFile(file), before);
}

void TSettingsDialogTest::unwritableFileKeepsDialogOpenAndFileWhole() {
    TAppTestEnv env;
    auto window = ShowWindow();
    const std::filesystem::path file = TKestrelIni::DefaultPath();
    const std::string before = ReadFile(file.string());
    BlockSettingsDraft(file);
    std::shared_ptr<TBoxSeen> error;
    bool stillOpen = false;
    OpenSettings(*window, [&](TfrmSettings* d) {
        d->cEject->setChecked(true);
        error = PressOnNextBox(QMessageBox::Ok);
        d->Button1->click();
        stillOpen = d->isVisible();
        d->Button2->click();
    });
    QVERIFY(error && error->Seen);
    QCOMPARE(error->Text, QString::fromStdString("Unable to write to " + file.string()));
    QVERIFY(stillOpen);
    QVERIFY(window->Options.EjectDisc);  // taken over before the write
    QCOMPARE(ReadFile(file.string()), before);
}

void TSettingsDialogTest::underrunBoxDisabledWithoutCapability() {
    TAppTestEnv env;
    QCOMPARE(RunVDriveTool("model --drive 0 buffer-underrun-free=no"), 0);
    auto window = ShowWindow();
    QVERIFY(!(window->Burner().Capabilities() & kestrel::cap::UnderrunProtection));
    const TShown shown = ShowAndCancel(*window);
    QVERIFY(shown.Seen);
    QVERIFY(!shown.UnderrunEnabled);
    QVERIFY(shown.Underrun);  // the burner's current value, shown
    // Drive 1 has the capability.
    window->cbDrives->setCurrentIndex(1);
    window->cbDrivesChange();
    QVERIFY(ShowAndCancel(*window).UnderrunEnabled);
}

void TSettingsDialogTest::sessionNumberAndArchiveMarkExplainedInTheDialog() {
    TAppTestEnv env;
    auto window = ShowWindow();
    QString help, archive;
    bool helpOffFirst = false, helpOnWithBox = false;
    OpenSettings(*window, [&](TfrmSettings* d) {
        help = d->lSessionHelp->text();
        helpOffFirst = !d->lSessionHelp->isEnabled();
        d->cImportSession->click();
        helpOnWithBox = d->lSessionHelp->isEnabled() && d->lSessionHelp->isVisible();
        archive = d->cArchiveOnly->toolTip();
        d->Button2->click();
    });
    QCOMPARE(help, QString("0 = none, -1 = last, N = session N"));
    QVERIFY(helpOffFirst && helpOnWithBox);
    // Linux files have no archive attribute: the mark is Kestrel's own.
    QVERIFY2(archive.contains("Kestrel's own") && archive.contains("user.kestrel.archived"), qPrintable(archive));
}

void TSettingsDialogTest::tickingImportOffersTheLastSession() {
    TAppTestEnv env;
    auto window = ShowWindow();
    QString offered, kept, cleared;
    OpenSettings(*window, [&](TfrmSettings* d) {
        // A tick where no session is chosen offers the last one.
        d->cImportSession->click();
        offered = d->eSession->text();
        // A session the user typed stays when the box goes off and on again.
        d->eSession->setText("2");
        d->cImportSession->click();
        cleared = d->eSession->text();
        d->cImportSession->click();
        kept = d->eSession->text();
        d->eSession->setText("0");
        d->cImportSession->click();
        d->cImportSession->click();
        offered += "|" + d->eSession->text();
        d->Button1->click();
    });
    QCOMPARE(offered, QString("-1|-1"));
    QCOMPARE(cleared, QString("2"));
    QCOMPARE(kept, QString("2"));
    // OK right after the tick imports the last session, with no reminder.
    QVERIFY(window->Options.ImportSession);
    QCOMPARE(int(window->Options.SessionNo), -1);
}

QTEST_MAIN(TSettingsDialogTest)
#include "test_window_settings.moc"
