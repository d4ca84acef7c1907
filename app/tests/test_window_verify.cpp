// "Verify written data" in the desktop program: the option kept in the
// settings file (a file from before it reads as off), and a burn with it on
// showing the Verifying phase and its result in a message box and the log.
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/CompilationList.h"
#include "app/KestrelIni.h"
#include "app/dialogs/SettingsDialog.h"
#include "app/tests/DialogTestSupport.h"
#include "app/tests/JobTestSupport.h"
#include "app/tests/WindowTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

// Opens the settings dialog, sets its verify box to Checked and presses
// OK; what the box showed when the dialog opened.
std::optional<bool> SetVerifyOption(TForm1& Window, bool Checked) {
    std::optional<bool> shown;
    AnswerDialogOf<TfrmSettings>([&](TfrmSettings* d) {
        shown = d->cVerify->isChecked();
        QCOMPARE(d->cVerify->text(), QString("Verify written data"));
        d->cVerify->setChecked(Checked);
        d->Button1->click();
    });
    Window.bAdvance->click();
    return shown;
}

}  // namespace

class TWindowVerifyTest : public QObject {
    Q_OBJECT
private slots:
    void optionRoundTripsThroughTheSettingsFile();
    void burnWithTheOptionShowsVerifyingAndTheResult();
};

void TWindowVerifyTest::optionRoundTripsThroughTheSettingsFile() {
    TAppTestEnv env;
    const std::string file = TKestrelIni::DefaultPath().string();
    WriteFile(file, "[Options]\nJolietFS=1\nCacheSize=8392704\n");  // written before the option existed
    auto window = ShowWindow();
    QVERIFY(!window->Burner().VerifyAfterWrite);
    QCOMPARE(SetVerifyOption(*window, true), std::optional<bool>(false));
    QVERIFY(window->Burner().VerifyAfterWrite);
    QCOMPARE(TKestrelIni().ReadString("Options", "VerifyWrittenData", ""), std::string("1"));
    window.reset();

    window = ShowWindow();
    QVERIFY(window->Burner().VerifyAfterWrite);
    QCOMPARE(SetVerifyOption(*window, false), std::optional<bool>(true));
    window.reset();
    window = ShowWindow();
    QVERIFY(!window->Burner().VerifyAfterWrite);
    QCOMPARE(TKestrelIni().ReadString("Options", "VerifyWrittenData", ""), std::string("0"));
}

void TWindowVerifyTest::burnWithTheOptionShowsVerifyingAndTheResult() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/docs/readme.txt"), "hello from kestrel\n");
    WriteFile(env.Sub("src/docs/data.bin"), std::string(300000, 'd'));
    WriteFile(TKestrelIni::DefaultPath().string(), "[Options]\nVerifyWrittenData=1\n");
    // Each block read back answers late, so the phase lasts for several
    // ticks of the progress timer.
    QCOMPARE(RunVDriveTool("fault --drive 0 delay-opcode=28 delay-ms=150"), 0);
    auto window = ShowWindow();
    window->AddSources({QString::fromStdString(env.Sub("src/docs"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    // The progress display as its timer brings it up to date.
    QVERIFY(QTest::qWaitFor(
        [&] {
            window->Timer1Timer();
            return window->pcd->format().startsWith("Verifying");
        },
        60000));
    QVERIFY2(window->lSize->text().startsWith("Verifying "), qPrintable(window->lSize->text()));

    auto result = PressOnNextBox(QMessageBox::Ok);
    QTRY_VERIFY_WITH_TIMEOUT(result->Seen, 30000);
    QCOMPARE(result->Title, QString("Verify written data"));
    QVERIFY2(result->Text.startsWith("VERIFIED: THE DISC HOLDS WHAT WAS WRITTEN (SECTORS 0.."), qPrintable(result->Text));
    const QStringList lines = LogLines(*window);
    QVERIFY(lines.contains(">>> WRITE/BURNCD PROCESS DONE"));
    QVERIFY(lines.contains(">>> " + result->Text));
    QCOMPARE(window->Burner().LastVerification().Outcome, kestrel::TVerifyOutcome::Verified);
    window->Timer1Timer();
    QVERIFY(!window->pcd->format().startsWith("Verifying"));

    // A second volume on the DVD+RW whose copy of the descriptors at the
    // disc's start the drive records wrongly: a warning naming it.
    QCOMPARE(RunVDriveTool("fault --drive 0 --clear"), 0);
    QCOMPARE(RunVDriveTool("fault --drive 0 corrupt-write-lba=16"), 0);
    QCOMPARE(window->clBox->EntryCount(), 1);  // the list stays after a burn
    auto replace = AnswerBox("OverwriteQuestion", QMessageBox::Yes);
    auto start = AnswerBox("Want to Burn the CD ?", QMessageBox::Yes);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(replace->Seen && start->Seen, 60000);
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    auto failed = PressOnNextBox(QMessageBox::Ok);
    QTRY_VERIFY_WITH_TIMEOUT(failed->Seen, 30000);
    QCOMPARE(failed->Text, QString("THE DISC DOES NOT HOLD WHAT WAS WRITTEN:\nfile system structures differ (sector 16)"));
    QVERIFY(LogLines(*window).contains(">>> VERIFY: file system structures differ (sector 16)"));
}

QTEST_MAIN(TWindowVerifyTest)
#include "test_window_verify.moc"
