// The window's jobs as a user meets them on the virtual recorder: the
// progress line and the message at the end, what is said about discs that
// cannot be written (and the wait for a disc), the questions before a disc's
// files are replaced, an unfinished session is closed, a burn or an image
// build is stopped or the window closed, a failed import, and unmounting a
// disc the desktop mounted.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>

#include <filesystem>

#include "app/CompilationList.h"
#include "app/DiscUnmounter.h"
#include "app/DiscWatcher.h"
#include "app/FillMeter.h"
#include "app/tests/DialogTestSupport.h"
#include "app/tests/JobTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

constexpr int kDVDDrive = 0, kCDDrive = 1;

// An unmounter that answers as it is told and remembers what it was asked.
class TFakeUnmounter : public TDiscUnmounter {
public:
    explicit TFakeUnmounter(TUnmountResult Answer) : answer_(std::move(Answer)) {}
    void Unmount(const QString& Node, TDone Done) override {
        asked << Node;
        if (answer_.Unmounted && Mounted) *Mounted = false;
        QTimer::singleShot(0, this, [Done, answer = answer_] { Done(answer); });
    }
    QStringList asked;
    std::shared_ptr<bool> Mounted;

private:
    TUnmountResult answer_;
};

}  // namespace

class TWindowJobsTest : public QObject {
    Q_OBJECT
private slots:
    void progressNamesPhaseMediumSpeedAndEndsWithAMessage();
    void failedBurnEndsWithTheReason();
    void noDiscWaitsForOneOrCancel();
    void unwritableDiscsAreExplainedBeforeAnyQuestion();
    void rewritableDiscWithFilesIsReplacedOnlyWhenAsked();
    void failedImportStopsTheBurnWithTheReason();
    void unfinishedSessionIsClosedOnlyWhenAsked();
    void abortAndClosingAskAndGoOnByDefault();
    void quickImageBuildAsksOnCloseAndCanBeStopped();
    void closingDuringAnEraseAsksOnce();
    void mountedDiscIsUnmountedAfterAskingOrTheCommandIsNamed();
    void eraseButtonsOnlyForAnErasableDisc();
};

void TWindowJobsTest::progressNamesPhaseMediumSpeedAndEndsWithAMessage() {
    TAppTestEnv env;
    // Written at the drive's speed, so the burn spans several ticks.
    TScopedEnv throttle("KESTREL_VDRIVE_THROTTLE", "yes");
    SparseFile(env, "src/big.bin", 24LL * 1048576);
    auto window = WindowOnDrive(kCDDrive);
    window->AddSources({Q(env.Sub("src"))});
    TLabelSampler phases(window->lPhase), captions(window->lProgress);
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    phases.Stop();
    captions.Stop();
    const QStringList seen = phases.Texts();
    QVERIFY2(!seen.filter(QRegularExpression("^Preparing \u00b7 0:\\d\\d elapsed")).isEmpty(), qPrintable(seen.join('|')));
    // Writing: the percent, the time taken and left, the speed as the CD's x factor and in MB/s.
    QVERIFY2(!seen.filter(QRegularExpression("^Writing: \\d+% \u00b7 \\d+:\\d\\d elapsed \u00b7 about \\d+:\\d\\d left \u00b7 "
                                             "\\d+\\.\\dx \\(\\d+\\.\\d\\d MB/s\\)$"))
                  .isEmpty(),
             qPrintable(seen.join('|')));
    QVERIFY2(captions.Texts().contains(" CD-R Progress : "), qPrintable(captions.Texts().join('|')));
    // The end: a message that says so, and the labels back at rest.
    QTRY_VERIFY(window->EndMessage() && window->EndMessage()->isVisible());
    QCOMPARE(window->EndMessage()->icon(), QMessageBox::Information);
    QVERIFY2(window->EndMessage()->text().startsWith("The burn is complete: 24.") &&
                 window->EndMessage()->text().endsWith(" MB written to the CD-R."),
             qPrintable(window->EndMessage()->text()));
    QCOMPARE(window->lPhase->text(), QString());
    QCOMPARE(window->lProgress->text(), QString(" CD Progress : "));
    // The gauges say what they measure.
    QVERIFY(window->pBuf->text().startsWith("Read cache"));
    QVERIFY(window->pHBuf->text().startsWith("Drive buffer"));
}

void TWindowJobsTest::failedBurnEndsWithTheReason() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/data.bin"), std::string(300000, 'd'));
    QCOMPARE(RunVDriveTool("fault --drive 0 fail-write-lba=40 fail-write-count=-1"), 0);
    auto window = WindowOnDrive(kDVDDrive);
    window->AddSources({Q(env.Sub("src"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    const QStringList lines = LogLines(*window);
    const QString reason = lines.at(lines.indexOf(">>> WRITE/BURNCD PROCESS DONE WITH ERROR") + 1).mid(4);
    QTRY_VERIFY(window->EndMessage() && window->EndMessage()->isVisible());
    QCOMPARE(window->EndMessage()->icon(), QMessageBox::Critical);
    QVERIFY2(window->EndMessage()->text().startsWith("The burn failed.\n\nWhy: " + reason),
             qPrintable(window->EndMessage()->text()));
    QCOMPARE(window->lPhase->text(), QString());
    // The message does not stand in the way: the window is usable at once.
    QTRY_VERIFY(window->pTop->isEnabled());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TWindowJobsTest::noDiscWaitsForOneOrCancel() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/a.txt"), "a file\n");
    QCOMPARE(RunVDriveTool("eject --drive 1"), 0);
    auto window = WindowOnDrive(kCDDrive);
    window->AddSources({Q(env.Sub("src/a.txt"))});
    // The box waits with Cancel only; a disc put in goes on to the question.
    int inserted = -1;
    auto wait = AnswerBox("WaitForDisc", [&inserted](QMessageBox*) {
        inserted = RunVDriveTool("insert --drive 1 --media cd-r");
        return QMessageBox::NoButton;  // it closes by itself
    });
    auto question = AnswerBox("Want to Burn the CD ?", QMessageBox::No);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(question->Seen, 60000);
    QVERIFY(wait->Seen);
    QCOMPARE(inserted, 0);
    QCOMPARE(wait->Buttons, QStringList({"Cancel"}));
    QVERIFY2(wait->Text.startsWith("There is no disc in the drive."), qPrintable(wait->Text));
    QTRY_VERIFY(window->pTop->isEnabled());

    // Cancel ends the burn before anything else is asked.
    QCOMPARE(RunVDriveTool("eject --drive 1"), 0);
    const qsizetype from = LogLines(*window).size();
    wait = AnswerBox("WaitForDisc", QMessageBox::Cancel);
    question = AnswerBox("Want to Burn the CD ?", QMessageBox::No);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(wait->Seen, 60000);
    QTRY_VERIFY(window->pTop->isEnabled() && !window->bAbort->isVisible());
    QVERIFY(!question->Seen);
    QVERIFY(LogLines(*window).mid(from).contains(">>> NOTHING WRITTEN: NO DISC IN THE DRIVE"));
    QVERIFY(LogLines(*window).mid(from).filter("STARTING BURNCD").isEmpty());
}

void TWindowJobsTest::unwritableDiscsAreExplainedBeforeAnyQuestion() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/a.txt"), "a file\n");
    WriteFile(env.Sub("old/old.txt"), "an old disc\n");
    QVERIFY(MakeImage(env.Sub("old"), env.Sub("old.iso")));
    // A drive that writes CDs only.
    QCOMPARE(RunVDriveTool("model --drive 0 writes=cd-r,cd-rw"), 0);
    auto window = WindowOnDrive(kDVDDrive);
    window->AddSources({Q(env.Sub("src/a.txt"))});
    struct TCase {
        const char* Insert;
        const char* Says;
    };
    const TCase cases[] = {
        {"--media cd-rom --image OLD", "The disc in the drive is a CD-ROM, which cannot be written."},
        {"--media cd-r --image OLD", "The CD-R in the drive is closed (finalized): nothing more can be written on it."},
        {"--media dvd+rw", "This drive cannot write DVD+RW discs."},
    };
    for (const TCase& c : cases) {
        std::string insert = c.Insert;
        if (const size_t at = insert.find("OLD"); at != std::string::npos) insert.replace(at, 3, env.Sub("old.iso"));
        QCOMPARE(RunVDriveTool("insert --drive 0 " + insert), 0);
        const qsizetype from = LogLines(*window).size();
        auto problem = AnswerBox("DiscProblem", QMessageBox::Ok);
        auto question = AnswerBox("Want to Burn the CD ?", QMessageBox::No);
        window->bBurn->click();
        QTRY_VERIFY_WITH_TIMEOUT(problem->Seen, 60000);
        QVERIFY2(problem->Text.startsWith(c.Says), qPrintable(problem->Text));
        QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);
        QVERIFY(!question->Seen);
        QVERIFY(LogLines(*window).mid(from).contains(Q(">>> NOTHING WRITTEN: " + std::string(c.Says))));
        question->Stop();
    }
}

void TWindowJobsTest::rewritableDiscWithFilesIsReplacedOnlyWhenAsked() {
    TAppTestEnv env;
    WriteFile(env.Sub("first/a.txt"), "on the disc first\n");
    WriteFile(env.Sub("second/b.txt"), "written later\n");
    auto window = WindowOnDrive(kDVDDrive);
    window->SetSavePathState(kestrel::TSavePathState::Unchecked);
    window->AddSources({Q(env.Sub("first/a.txt"))});
    auto overwrite = AnswerBox("OverwriteQuestion", QMessageBox::Yes);
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QVERIFY(!overwrite->Seen);  // a blank disc holds nothing to lose
    overwrite->Stop();
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);

    // "Import Session" off: asked first, No is the default and keeps the disc.
    window->bClear->click();
    window->AddSources({Q(env.Sub("second/b.txt"))});
    qsizetype from = LogLines(*window).size();
    overwrite = AnswerBox("OverwriteQuestion", QMessageBox::No);
    auto start = AnswerBox("Want to Burn the CD ?", QMessageBox::No);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(overwrite->Seen, 60000);
    QCOMPARE(overwrite->DefaultButton, QMessageBox::No);
    QVERIFY2(overwrite->Text.contains("DVD+RW") && overwrite->Text.contains("\"Import Session\" is off"),
             qPrintable(overwrite->Text));
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);
    QVERIFY(!start->Seen);
    start->Stop();
    QVERIFY(LogLines(*window).mid(from).contains(">>> NOTHING WRITTEN: THE FILES ON THE DISC WERE KEPT"));
    std::string listing = DiscListing(env, kDVDDrive);
    QVERIFY2(listing.find("a.txt") != std::string::npos && listing.find("b.txt") == std::string::npos, listing.c_str());

    // With the last session imported its files go into the new one: no question.
    window->Options.SessionNo = -1;
    overwrite = AnswerBox("OverwriteQuestion", QMessageBox::No);
    start = AnswerBox("Want to Burn the CD ?", QMessageBox::No);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(start->Seen, 60000);
    QVERIFY(!overwrite->Seen);
    overwrite->Stop();
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);

    // Yes replaces them.
    window->Options.SessionNo = 0;
    from = LogLines(*window).size();
    AnswerBox("OverwriteQuestion", QMessageBox::Yes);
    AnswerBox("Want to Burn the CD ?", QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE", 60000, from));
    listing = DiscListing(env, kDVDDrive);
    QVERIFY2(listing.find("b.txt") != std::string::npos && listing.find("a.txt") == std::string::npos, listing.c_str());
}

void TWindowJobsTest::failedImportStopsTheBurnWithTheReason() {
    TAppTestEnv env;
    // A session that holds no ISO 9660 volume (it was written by another kind of program).
    WriteFile(env.Sub("s1.img"), std::string(2048 * 64, 'x'));
    WriteFile(env.Sub("new/n.txt"), "new\n");
    QCOMPARE(RunVDriveTool("insert --drive 1 --media cd-r --image " + env.Sub("s1.img") + " --appendable"), 0);
    auto window = WindowOnDrive(kCDDrive);
    window->AddSources({Q(env.Sub("new/n.txt"))});
    window->Options.ImportSession = true;
    window->Options.SessionNo = 1;
    const qsizetype from = LogLines(*window).size();
    auto failed = AnswerBox("ImportFailed", QMessageBox::Ok);
    auto start = AnswerBox("Want to Burn the CD ?", QMessageBox::Yes);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(failed->Seen, 60000);
    QCOMPARE(failed->Text, QString("Session 1 of the disc could not be imported, so nothing was written."));
    QVERIFY2(failed->Informative.contains("\"Import Session\" off"), qPrintable(failed->Informative));
    // The reason the import logged is in the box.
    const QString reason = ">>> ERROR IMPORTING SESSION 1 (ISO IMAGE NOT FOUND)";
    QVERIFY(LogLines(*window).mid(from).contains(reason));
    QVERIFY2(failed->Informative.startsWith(reason + "\n\n"), qPrintable(failed->Informative));
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);
    QVERIFY(!start->Seen);
    start->Stop();
    QVERIFY(LogLines(*window).mid(from).contains(">>> NOTHING WRITTEN: THE SESSION COULD NOT BE IMPORTED"));
    std::string sessions;
    QCOMPARE(RunVDriveTool("sessions --drive 1", &sessions), 0);
    QVERIFY2(sessions.find("session 2") == std::string::npos, sessions.c_str());

    // "Last" on a blank disc has nothing to import and goes on.
    QCOMPARE(RunVDriveTool("insert --drive 1 --media cd-r"), 0);
    window->Options.SessionNo = -1;
    start = AnswerBox("Want to Burn the CD ?", QMessageBox::No);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(start->Seen, 60000);
}

void TWindowJobsTest::unfinishedSessionIsClosedOnlyWhenAsked() {
    TAppTestEnv env;
    WriteFile(env.Sub("failed/data.bin"), std::string(600000, 'f'));
    WriteFile(env.Sub("second/b.txt"), "behind the unfinished session\n");
    auto window = WindowOnDrive(kCDDrive);
    window->SetSavePathState(kestrel::TSavePathState::Unchecked);
    // A burn that fails half way leaves its session open.
    QCOMPARE(RunVDriveTool("fault --drive 1 fail-write-lba=100 fail-write-count=-1"), 0);
    window->AddSources({Q(env.Sub("failed"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    QCOMPARE(RunVDriveTool("fault --drive 1 --clear"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);

    // Cancel, the default, leaves the disc as it is.
    window->bClear->click();
    window->AddSources({Q(env.Sub("second/b.txt"))});
    qsizetype from = LogLines(*window).size();
    auto unfinished = AnswerBox("UnfinishedQuestion", QMessageBox::Cancel);
    auto start = AnswerBox("Want to Burn the CD ?", QMessageBox::Yes);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(unfinished->Seen, 60000);
    QCOMPARE(unfinished->DefaultButton, QMessageBox::Cancel);
    QVERIFY2(unfinished->Text.startsWith("Session 1 on the CD-R was left unfinished"), qPrintable(unfinished->Text));
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);
    QVERIFY(!start->Seen);
    start->Stop();
    QVERIFY(LogLines(*window).mid(from).contains(">>> NOTHING WRITTEN: THE DISC HOLDS AN UNFINISHED SESSION"));

    // An image is refused with what to do.
    auto problem = AnswerBox("DiscProblem", QMessageBox::Ok);
    AnswerNextDialog([image = env.Sub("any.iso")](QWidget* dialog) {
        if (auto* od = qobject_cast<QFileDialog*>(dialog)) ChooseInFileDialog(od, Q(image));
    });
    WriteFile(env.Sub("any.iso"), std::string(2048 * 20, 'i'));
    window->bBurnISO->click();
    QTRY_VERIFY_WITH_TIMEOUT(problem->Seen, 60000);
    QVERIFY2(problem->Text.contains("An image is written only onto a blank disc"), qPrintable(problem->Text));
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);

    // Closing it and burning behind it.
    from = LogLines(*window).size();
    AnswerBox("UnfinishedQuestion", QMessageBox::Yes);
    AnswerBox("Want to Burn the CD ?", QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE", 60000, from));
    QVERIFY(!LogLines(*window).mid(from).contains(">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    std::string sessions;
    QCOMPARE(RunVDriveTool("sessions --drive 1", &sessions), 0);
    QVERIFY2(sessions.find("session 2") != std::string::npos, sessions.c_str());
}

void TWindowJobsTest::abortAndClosingAskAndGoOnByDefault() {
    TAppTestEnv env;
    TScopedEnv throttle("KESTREL_VDRIVE_THROTTLE", "yes");
    SparseFile(env, "big/blob.bin", 60LL * 1048576);
    auto window = WindowOnDrive(kCDDrive);
    window->AddSources({Q(env.Sub("big"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(QTest::qWaitFor([&] { return window->Burner().BytesWritten() > 0; }, 60000));
    // Abort asks; going on is the default, and goes on.
    auto stop = AnswerBox("StopJobQuestion", QMessageBox::No);
    window->bAbort->click();
    QVERIFY(stop->Seen);
    QCOMPARE(stop->DefaultButton, QMessageBox::No);
    QCOMPARE(stop->Buttons, QStringList({"Stop", "Go On"}));
    QVERIFY2(stop->Text.contains("A CD-R that is stopped half way cannot be written again."), qPrintable(stop->Text));
    QVERIFY(window->bAbort->isVisible() && window->Burner().Writing());
    // So does closing the window.
    stop = AnswerBox("StopJobQuestion", QMessageBox::No);
    QVERIFY(!window->close());
    QVERIFY(stop->Seen);
    QVERIFY2(stop->Text.startsWith("A burn is running."), qPrintable(stop->Text));
    QVERIFY(window->isVisible() && window->Burner().Writing());
    const int64_t before = window->Burner().BytesWritten();
    QVERIFY(QTest::qWaitFor([&] { return window->Burner().BytesWritten() > before; }, 60000));
    // Stop: the window closes once the write has ended.
    stop = AnswerBox("StopJobQuestion", QMessageBox::Yes);
    window->close();
    QVERIFY(stop->Seen);
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 60000);
    QVERIFY(LogLines(*window).contains(">>> OPERATION ABORTED BY USER"));
    QVERIFY(!window->Burner().Writing());
}

void TWindowJobsTest::quickImageBuildAsksOnCloseAndCanBeStopped() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/a.txt"), "into a pipe\n");
    auto window = ShowWindow();
    window->Options.QuickSaveISO = true;
    window->AddSources({Q(env.Sub("src"))});
    // The image goes into a pipe that nobody reads: the build waits there
    // until it is stopped.
    const std::string image = env.Sub("image.pipe");
    QCOMPARE(mkfifo(image.c_str(), 0600), 0);
    AnswerNextDialog([image](QWidget* dialog) {
        if (auto* input = qobject_cast<QInputDialog*>(dialog)) {
            input->setTextValue(Q(image));
            input->accept();
        }
    });
    AnswerBox("Build ISO", QMessageBox::Yes);  // the pipe exists already
    auto stop = AnswerBox("StopJobQuestion", QMessageBox::No);
    window->bSaveISO->click();
    // An image build shows Abort too; closing asks, and No goes on.
    QVERIFY(window->bAbort->isVisible() && window->OperationRunning());
    QVERIFY(!window->close());
    QVERIFY(stop->Seen);
    QVERIFY2(stop->Text.startsWith("An image file is being built.") && stop->Text.contains("not kept"),
             qPrintable(stop->Text));
    QVERIFY(window->isVisible() && window->OperationRunning());
    // Stop: the build ends, and then the window closes.
    stop = AnswerBox("StopJobQuestion", QMessageBox::Yes);
    window->close();
    QVERIFY(stop->Seen);
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 60000);
    QVERIFY(!window->OperationRunning());
    const QStringList lines = LogLines(*window);
    QVERIFY(lines.contains(">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    QVERIFY(lines.contains(">>> OPERATION ABORTED BY USER"));
}

void TWindowJobsTest::closingDuringAnEraseAsksOnce() {
    TAppTestEnv env;
    // The quick blank takes a few seconds.
    TScopedEnv slower("KESTREL_VDRIVE_TIME_SCALE", "0.5");
    QCOMPARE(RunVDriveTool("insert --drive 1 --media cd-rw"), 0);
    auto window = WindowOnDrive(kCDDrive);
    QTRY_VERIFY_WITH_TIMEOUT(window->bQErase->isEnabled(), 60000);
    AnswerBox("Want to Quick Erase the Disc ?", QMessageBox::Yes);
    window->bQErase->click();
    QTRY_VERIFY_WITH_TIMEOUT(window->Burner().Erasing(), 60000);
    // No keeps the window; Yes closes it at once, without asking again.
    auto stop = AnswerBox("StopJobQuestion", QMessageBox::No);
    QVERIFY(!window->close());
    QVERIFY(stop->Seen);
    QVERIFY2(stop->Text.startsWith("The disc is being erased.") && stop->Text.contains("finishes the erase"),
             qPrintable(stop->Text));
    QVERIFY(window->isVisible());
    stop = AnswerBox("StopJobQuestion", QMessageBox::Yes);
    auto again = AnswerBox("StopJobQuestion", QMessageBox::No, 2000);
    QVERIFY(window->close());
    QVERIFY(stop->Seen);
    QVERIFY(!window->isVisible());
    QVERIFY(!again->Seen);
    again->Stop();
}

void TWindowJobsTest::mountedDiscIsUnmountedAfterAskingOrTheCommandIsNamed() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/a.txt"), "a file\n");
    auto window = WindowOnDrive(kCDDrive);
    window->AddSources({Q(env.Sub("src/a.txt"))});
    const std::string node = window->Burner().GetDriveLetter();
    auto mounted = std::make_shared<bool>(true);
    window->MountPointOf = [mounted, node](const std::string& Node) -> std::optional<std::string> {
        if (Node == node && *mounted) return std::string("/media/me/KESTREL DISC");
        return std::nullopt;
    };
    // No: nothing is written, and the log says why.
    qsizetype from = LogLines(*window).size();
    auto ask = AnswerBox("UnmountQuestion", QMessageBox::No);
    auto start = AnswerBox("Want to Burn the CD ?", QMessageBox::No);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(ask->Seen, 60000);
    QVERIFY2(ask->Text.contains("is mounted on /media/me/KESTREL DISC"), qPrintable(ask->Text));
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);
    QVERIFY(!start->Seen);
    start->Stop();
    QVERIFY(LogLines(*window).mid(from).contains(">>> NOTHING WRITTEN: THE DISC IS MOUNTED ON /media/me/KESTREL DISC"));

    // Without udisks2 the box names the commands that unmount it.
    auto missing = std::make_unique<TFakeUnmounter>(TUnmountResult{false, true, "no udisks2"});
    TFakeUnmounter* fake = missing.get();
    window->SetUnmounter(std::move(missing));
    AnswerBox("UnmountQuestion", QMessageBox::Yes);
    auto failed = AnswerBox("UnmountFailed", QMessageBox::Ok);
    start = AnswerBox("Want to Burn the CD ?", QMessageBox::No);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(failed->Seen, 60000);
    QCOMPARE(fake->asked, QStringList({Q(node)}));
    QVERIFY2(failed->Text.contains("udisks2") &&
                 failed->Text.contains("umount \"/media/me/KESTREL DISC\"   (or: udisksctl unmount -b " + Q(node) + ")"),
             qPrintable(failed->Text));
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);
    QVERIFY(!start->Seen);
    start->Stop();

    // Unmounted through udisks2: the burn goes on to its question.
    auto working = std::make_unique<TFakeUnmounter>(TUnmountResult{true, false, {}});
    working->Mounted = mounted;
    window->SetUnmounter(std::move(working));
    from = LogLines(*window).size();
    AnswerBox("UnmountQuestion", QMessageBox::Yes);
    start = AnswerBox("Want to Burn the CD ?", QMessageBox::No);
    window->bBurn->click();
    QTRY_VERIFY_WITH_TIMEOUT(start->Seen, 60000);
    QVERIFY(LogLines(*window).mid(from).contains(">>> UNMOUNTED /media/me/KESTREL DISC"));
    QTRY_VERIFY_WITH_TIMEOUT(window->pTop->isEnabled() && !window->Timer1->isActive(), 60000);

    // The real unmounter, where no system bus answers, says udisks2 is missing.
    TScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + env.Sub("no-bus-here"));
    TDiscUnmounter real;
    std::optional<TUnmountResult> result;
    real.Unmount(Q(node), [&](const TUnmountResult& r) { result = r; });
    QTRY_VERIFY(result.has_value());
    QVERIFY(!result->Unmounted && result->ServiceMissing);
}

void TWindowJobsTest::eraseButtonsOnlyForAnErasableDisc() {
    TAppTestEnv env;
    auto window = WindowOnDrive(kCDDrive);
    QTRY_VERIFY(window->FillMeter()->DiscText().startsWith("CD-R, blank"));
    QVERIFY(!window->bQErase->isEnabled() && !window->bCErase->isEnabled());
    QCOMPARE(RunVDriveTool("insert --drive 1 --media cd-rw"), 0);
    QTRY_VERIFY(window->bQErase->isEnabled() && window->bCErase->isEnabled());
    QCOMPARE(RunVDriveTool("eject --drive 1"), 0);
    QTRY_VERIFY(!window->bQErase->isEnabled() && !window->bCErase->isEnabled());
    // The rest of the bar does not depend on the disc.
    QVERIFY(window->bLoad->isEnabled() && window->bEject->isEnabled() && window->bReady->isEnabled());
}

QTEST_MAIN(TWindowJobsTest)
#include "test_window_jobs.moc"
