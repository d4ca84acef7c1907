// The main window's commands end to end on the virtual recorder: image
// builds, burns, image burns, erasing, abort and failures, checked with
// peer tools where a disc or an image comes out.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <sys/xattr.h>

#include "app/CompilationList.h"
#include "app/FileBrowser.h"
#include "app/tests/DialogTestSupport.h"
#include "app/tests/WindowTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

QString Q(const std::string& S) { return QString::fromStdString(S); }

void MakeSources(const TAppTestEnv& Env) {
    WriteFile(Env.Sub("src/docs/readme.txt"), "hello from kestrel\n");
    WriteFile(Env.Sub("src/docs/deep/data.bin"), std::string(300000, 'd'));
    WriteFile(Env.Sub("src/single.txt"), "single file\n");
}

// Answers the "Build ISO" input box with Name.
void AnswerImageName(const std::string& Name) {
    AnswerNextDialog([Name](QWidget* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        if (!input) {
            dialog->close();
            return;
        }
        input->setTextValue(Q(Name));
        input->accept();
    });
}

bool ControlsIdle(TForm1& W) {
    return W.pTop->isEnabled() && W.pTop2->isEnabled() && W.bSaveISO->isEnabled() && W.bBurnISO->isEnabled() &&
           W.DriveCB->isEnabled() && !W.bAbort->isVisible() && !W.Timer1->isActive();
}

bool ControlsRunning(TForm1& W) {
    return !W.pTop->isEnabled() && !W.pTop2->isEnabled() && !W.bSaveISO->isEnabled() && !W.bBurnISO->isEnabled() &&
           !W.DriveCB->isEnabled() && W.Timer1->isActive();
}

// The lines logged since index From.
QStringList LinesFrom(TForm1& W, qsizetype From) { return LogLines(W).mid(From); }

// Dumps a virtual drive's disc and lists its files with isoinfo (Joliet names).
std::string DiscListing(const TAppTestEnv& Env, int Drive) {
    const std::string image = Env.Sub("dump.iso");
    if (RunVDriveTool("dump --drive " + std::to_string(Drive) + " -o " + image) != 0) return {};
    return ShellOutput("isoinfo -f -J -i " + image);
}

}  // namespace

class TWindowCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void buildIsoWritesImageReadByPeers();
    void buildIsoQuickSaveRunsOffTheGuiThread();
    void buildIsoRefusesSourceAndAsksBeforeReplacing();
    void buildIsoWithEmptyListLogsNothing();
    void vanishedEntryIsNamedAndAsked();
    void burnAnsweredNoLeavesWindowIdle();
    void refusedBootFileStopsBuildAndBurn();
    void burnAnsweredYesWritesDiscAndSavesScreenshot();
    void burnIsoWritesImage();
    void quickAndCompleteEraseRunProgress();
    void abortInTheMiddleOfABurn();
    void failedWriteLogsExactlyAndKeepsDisc();
    void testWriteClearsNoArchiveBitAndEjectsNothing();
    void secondSessionCarriesFirstButImageNever();
};

void TWindowCommandsTest::buildIsoWritesImageReadByPeers() {
    TAppTestEnv env;
    MakeSources(env);
    auto window = ShowWindow();
    window->SetSavePathState(kestrel::TSavePathState::Grayed);
    window->AddSources({Q(env.Sub("src/docs")), Q(env.Sub("src/single.txt"))});
    const std::string image = env.Sub("out/built.iso");
    std::filesystem::create_directories(env.Sub("out"));
    const qsizetype from = LogLines(*window).size();
    AnswerImageName(image);
    window->bSaveISO->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QTRY_VERIFY(ControlsIdle(*window));
    const QStringList lines = LinesFrom(*window, from);
    QVERIFY(lines.contains(">>> ADD FILES/DIRS TO .ISO DONE."));
    QVERIFY(lines.indexOf(">>> START BUILDING .ISO FILE") > lines.indexOf(">>> ADD FILES/DIRS TO .ISO DONE."));
    QCOMPARE(lines.last(), QString(" "));
    // Grayed: the folder's files go below its own name.
    const std::string listing = ShellOutput("isoinfo -f -J -i " + image);
    QVERIFY2(listing.find("/docs/readme.txt") != std::string::npos, listing.c_str());
    QVERIFY2(listing.find("/docs/deep/data.bin") != std::string::npos, listing.c_str());
    QVERIFY2(listing.find("/single.txt") != std::string::npos, listing.c_str());
    const std::string extracted = env.Sub("x.bin");
    ShellOutput("xorriso -osirrox on -indev " + image + " -extract /docs/deep/data.bin " + extracted);
    QCOMPARE(ReadFile(extracted), std::string(300000, 'd'));
    // The list keeps its entries; the burner's compilation is emptied.
    QCOMPARE(window->clBox->EntryCount(), 2);
    QCOMPARE(window->Burner().FilesCount(), 0);
}

void TWindowCommandsTest::buildIsoQuickSaveRunsOffTheGuiThread() {
    TAppTestEnv env;
    MakeSources(env);
    auto window = ShowWindow();
    window->Options.QuickSaveISO = true;
    window->SetSavePathState(kestrel::TSavePathState::Unchecked);
    window->AddSources({Q(env.Sub("src/docs"))});
    const std::string image = env.Sub("quick.iso");
    AnswerImageName(image);
    window->bSaveISO->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QTRY_VERIFY(ControlsIdle(*window));
    // Unchecked: the folder's files go straight into the root.
    const std::string listing = ShellOutput("isoinfo -f -J -i " + image);
    QVERIFY2(listing.find("/readme.txt") != std::string::npos, listing.c_str());
    QVERIFY2(listing.find("/docs") == std::string::npos, listing.c_str());

    // A quick save that fails gives the controls back with the error logged.
    const std::string blocked = env.Sub("blocked");
    WriteFile(blocked, "a file, not a folder");
    AnswerImageName(blocked + "/x.iso");
    const qsizetype from = LogLines(*window).size();
    window->bSaveISO->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    QTRY_VERIFY(ControlsIdle(*window));
    const QStringList lines = LinesFrom(*window, from);
    const qsizetype at = lines.indexOf(">>> WRITE/BURNCD PROCESS DONE WITH ERROR");
    QVERIFY(at + 2 < lines.size());
    QVERIFY(lines[at + 1].startsWith(">>> ") && lines[at + 1].size() > 4);
}

void TWindowCommandsTest::buildIsoRefusesSourceAndAsksBeforeReplacing() {
    TAppTestEnv env;
    MakeSources(env);
    auto window = ShowWindow();
    window->AddSources({Q(env.Sub("src/docs"))});
    const qsizetype from = LogLines(*window).size();

    // Inside a source folder: refused.
    AnswerImageName(env.Sub("src/docs/deep/inside.iso"));
    auto refused = PressOnNextBox(QMessageBox::Ok);
    window->bSaveISOClick();
    QVERIFY(refused->Seen);
    QVERIFY(refused->Text.contains("one of the sources"));
    QVERIFY(!std::filesystem::exists(env.Sub("src/docs/deep/inside.iso")));

    // An existing file: asked, and No leaves it alone.
    const std::string existing = env.Sub("existing.iso");
    WriteFile(existing, "keep me");
    AnswerImageName(existing);
    auto asked = PressOnNextBox(QMessageBox::No);
    window->bSaveISOClick();
    QVERIFY(asked->Seen);
    QVERIFY(asked->Text.contains("already exists"));
    QCOMPARE(ReadFile(existing), std::string("keep me"));
    QCOMPARE(LinesFrom(*window, from), QStringList());
    QVERIFY(ControlsIdle(*window));

    // Yes replaces it.
    AnswerImageName(existing);
    PressOnNextBox(QMessageBox::Yes);
    window->bSaveISOClick();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QVERIFY(ReadFile(existing).size() > 300000);
}

void TWindowCommandsTest::buildIsoWithEmptyListLogsNothing() {
    TAppTestEnv env;
    auto window = ShowWindow();
    const qsizetype from = LogLines(*window).size();
    AnswerImageName(env.Sub("empty.iso"));
    auto box = PressOnNextBox(QMessageBox::Ok);
    window->bSaveISOClick();
    QTRY_VERIFY(box->Seen);
    QCOMPARE(box->Text, QString("Atleast one file/directory should be selected"));
    QCOMPARE(LinesFrom(*window, from), QStringList());
    QVERIFY(ControlsIdle(*window));
}

void TWindowCommandsTest::vanishedEntryIsNamedAndAsked() {
    TAppTestEnv env;
    MakeSources(env);
    WriteFile(env.Sub("gone.txt"), "soon gone");
    auto window = ShowWindow();
    window->AddSources({Q(env.Sub("gone.txt")), Q(env.Sub("src/single.txt"))});
    std::filesystem::remove(env.Sub("gone.txt"));
    const qsizetype from = LogLines(*window).size();
    AnswerImageName(env.Sub("a.iso"));
    auto asked = PressOnNextBox(QMessageBox::No);
    window->bSaveISOClick();
    QVERIFY(asked->Seen);
    QVERIFY(asked->Text.contains(Q(env.Sub("gone.txt"))));
    QCOMPARE(LinesFrom(*window, from), QStringList({Q(">>> SOURCE NOT FOUND: " + env.Sub("gone.txt"))}));
    QVERIFY(!std::filesystem::exists(env.Sub("a.iso")));
    // Going on builds the image without it.
    AnswerImageName(env.Sub("a.iso"));
    PressOnNextBox(QMessageBox::Yes);
    window->bSaveISOClick();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    const std::string listing = ShellOutput("isoinfo -f -J -i " + env.Sub("a.iso"));
    QVERIFY2(listing.find("single.txt") != std::string::npos, listing.c_str());
}

void TWindowCommandsTest::burnAnsweredNoLeavesWindowIdle() {
    TAppTestEnv env;
    MakeSources(env);
    auto window = ShowWindow();
    window->AddSources({Q(env.Sub("src/docs"))});
    const qsizetype from = LogLines(*window).size();
    auto box = PressOnNextBox(QMessageBox::No);
    window->bBurn->click();
    QTRY_VERIFY(box->Seen);
    QCOMPARE(box->Title, QString("Want to Burn the CD ?"));
    QVERIFY2(QRegularExpression("^Start Writing \\d[\\d,]*\\.\\d\\d MB$").match(box->Text).hasMatch(),
             qPrintable(box->Text));
    QCOMPARE(LinesFrom(*window, from).filter(">>> ADD FILES/DIRS TO CD DONE.").size(), 1);
    QVERIFY(LinesFrom(*window, from).filter("STARTING BURNCD").isEmpty());
    QTRY_VERIFY(ControlsIdle(*window));
    QVERIFY(window->bBurn->isEnabled());

    // An empty list: the message, then nothing to burn.
    window->bClear->click();
    const qsizetype from2 = LogLines(*window).size();
    auto empty = PressOnNextBox(QMessageBox::Ok);
    window->bBurn->click();
    QVERIFY(empty->Seen);
    QCOMPARE(LinesFrom(*window, from2),
             QStringList({">>> ADD FILES/DIRS TO CD DONE.", ">>> NOTHING TO BURN, ABORTING ..."}));
}

void TWindowCommandsTest::refusedBootFileStopsBuildAndBurn() {
    TAppTestEnv env;
    MakeSources(env);
    WriteFile(env.Sub("efi.img"), std::string(65536, 'x'));
    auto window = ShowWindow();
    window->Burner().EfiBootable = true;
    window->Burner().EfiBootImageFile = env.Sub("efi.img");
    window->AddSources({Q(env.Sub("src/docs"))});

    // Build .ISO: the refusal ends the build, no image file is made.
    const std::string image = env.Sub("refused.iso");
    AnswerImageName(image);
    window->bSaveISO->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    QTRY_VERIFY(ControlsIdle(*window));
    QVERIFY(!LogLines(*window).filter("IS NOT A FAT FILE SYSTEM").isEmpty());
    QVERIFY(!std::filesystem::exists(image));

    // Burn: refused before the question, nothing started.
    const qsizetype from = LogLines(*window).size();
    auto box = PressOnNextBox(QMessageBox::No);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> BURN NOT STARTED", 60000, from));
    QTRY_VERIFY(ControlsIdle(*window));
    // The answerer, still waiting, takes the first box that comes: this one.
    QMessageBox::information(window.get(), QStringLiteral("check"), QStringLiteral("no question before this"));
    QCOMPARE(box->Text, QString("no question before this"));
    const QStringList lines = LinesFrom(*window, from);
    QVERIFY(!lines.filter("IS NOT A FAT FILE SYSTEM").isEmpty());
    QVERIFY(lines.filter("STARTING BURNCD").isEmpty());
}

void TWindowCommandsTest::burnAnsweredYesWritesDiscAndSavesScreenshot() {
    TAppTestEnv env;
    MakeSources(env);
    auto window = ShowWindow();
    window->SetSavePathState(kestrel::TSavePathState::Grayed);
    window->AddSources({Q(env.Sub("src/docs")), Q(env.Sub("src/single.txt"))});
    const qsizetype from = LogLines(*window).size();
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(window->bAbort->isVisible() || LogLines(*window).contains(">>> WRITE/BURNCD PROCESS DONE"));
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QTRY_VERIFY(ControlsIdle(*window));
    const QStringList lines = LinesFrom(*window, from);
    QVERIFY(lines.contains(Q(">>> STARTING BURNCD ON " + window->Burner().CurrentDevice())));
    QVERIFY(!lines.contains(">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    QCOMPARE(lines.last(), QString(" "));
    QCOMPARE(window->pcd->value(), window->pcd->maximum());
    const std::string listing = DiscListing(env, 0);
    QVERIFY2(listing.find("/docs/readme.txt") != std::string::npos, listing.c_str());
    QVERIFY2(listing.find("/single.txt") != std::string::npos, listing.c_str());
    QCOMPARE(window->clBox->EntryCount(), 2);

    const QString shot = QStringLiteral(KESTREL_APP_BUILD_DIR "/kestrel-window-after-burn.png");
    QVERIFY(window->grab().save(shot, "PNG"));
    QVERIFY(QFileInfo(shot).size() > 1000);
}

void TWindowCommandsTest::burnIsoWritesImage() {
    if (!HaveProgram("xorriso")) QSKIP("xorriso is not installed");
    TAppTestEnv env;
    MakeSources(env);
    const std::string image = env.Sub("peer.iso");
    int code = 0;
    ShellOutput("xorriso -as mkisofs -J -o " + image + " " + env.Sub("src"), &code);
    QCOMPARE(code, 0);
    auto window = ShowWindow();
    AnswerNextDialog([image](QWidget* dialog) {
        if (auto* od = qobject_cast<QFileDialog*>(dialog)) ChooseInFileDialog(od, Q(image));
        else dialog->close();
    });
    const qsizetype from = LogLines(*window).size();
    window->bBurnISO->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QTRY_VERIFY(ControlsIdle(*window));
    QVERIFY(LinesFrom(*window, from).contains(Q(">>> STARTING BURN .ISO IMAGE ON " + window->Burner().CurrentDevice())));
    const std::string listing = DiscListing(env, 0);
    QVERIFY2(listing.find("/docs/readme.txt") != std::string::npos, listing.c_str());
}

void TWindowCommandsTest::quickAndCompleteEraseRunProgress() {
    TAppTestEnv env;
    // Slow enough that even the quick blank (10 s at full scale) spans
    // several ticks of the window's 500 ms progress timer.
    TScopedEnv slower("KESTREL_VDRIVE_TIME_SCALE", "0.1");
    QCOMPARE(RunVDriveTool("insert --drive 1 --media cd-rw"), 0);
    auto window = ShowWindow();
    window->cbDrives->setCurrentIndex(1);
    window->cbDrivesChange();
    // The erase buttons wait for the disc to be known as erasable.
    QTRY_VERIFY(window->bQErase->isEnabled() && window->bCErase->isEnabled());
    for (const bool quick : {true, false}) {
        QList<int> seen;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (window->Timer1->isActive()) seen << window->pcd->value();
        });
        sampler.start(20);
        auto box = PressOnNextBox(QMessageBox::Yes);
        const qsizetype from = LogLines(*window).size();
        QTRY_VERIFY((quick ? window->bQErase : window->bCErase)->isEnabled());
        (quick ? window->bQErase : window->bCErase)->click();
        QTRY_VERIFY(box->Seen);
        QTRY_VERIFY(window->Timer1->isActive());
        QCOMPARE(box->Title, quick ? QString("Want to Quick Erase the Disc ?")
                                   : QString("Want to Complete Erase the Disc ? (may take 10-70 mins)"));
        QCOMPARE(box->Text, QString("All Data on the CD will be lost"));
        // While the erase runs, no other device command can be started.
        QVERIFY(!window->pTop->isEnabled() && !window->pTop2->isEnabled() && !window->bBurnISO->isEnabled());
        QVERIFY(WaitForLogLine(*window, ">>> ERASE PROCESS DONE", 120000, from));
        sampler.stop();
        QCOMPARE(LinesFrom(*window, from).last(), QString(" "));
        QCOMPARE(window->pcd->value(), 0);
        QVERIFY(!window->Timer1->isActive());
        QVERIFY(window->pTop->isEnabled() && window->pTop2->isEnabled());
        QVERIFY2(std::any_of(seen.begin(), seen.end(), [](int v) { return v > 0; }), "no progress shown");
        QCOMPARE(window->pcd->maximum(), 100);
        for (int i = 1; i < seen.size(); ++i) QVERIFY(seen[i] >= seen[i - 1]);
    }
}

void TWindowCommandsTest::abortInTheMiddleOfABurn() {
    TAppTestEnv env;
    TScopedEnv throttle("KESTREL_VDRIVE_THROTTLE", "yes");
    WriteFile(env.Sub("big/blob.bin"), std::string(40 * 1048576, 'b'));
    auto window = ShowWindow();
    window->AddSources({Q(env.Sub("big"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(window->bAbort->isVisible());
    QVERIFY(ControlsRunning(*window));
    QVERIFY(QTest::qWaitFor([&] { return window->Burner().BytesWritten() > 0; }, 60000));
    // Clear empties the list but leaves the running write its compilation.
    window->bClear->click();
    QCOMPARE(window->clBox->EntryCount(), 0);
    QVERIFY(window->Burner().FilesCount() > 0);
    const qsizetype from = LogLines(*window).size();
    // Asked first; the default goes on burning.
    auto asked = PressOnNextBox(QMessageBox::Yes);
    window->bAbort->click();
    QVERIFY(asked->Seen);
    QVERIFY(!window->bAbort->isVisible());
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    QTRY_VERIFY(ControlsIdle(*window));
    const QStringList lines = LinesFrom(*window, from);
    const qsizetype at = lines.indexOf(">>> WRITE/BURNCD PROCESS DONE WITH ERROR");
    QCOMPARE(lines.at(at + 1), QString(">>> OPERATION ABORTED BY USER"));
}

void TWindowCommandsTest::failedWriteLogsExactlyAndKeepsDisc() {
    TAppTestEnv env;
    MakeSources(env);
    QCOMPARE(RunVDriveTool("fault --drive 0 fail-write-lba=40 fail-write-count=-1"), 0);
    auto window = ShowWindow();
    window->Options.EjectDisc = true;
    window->AddSources({Q(env.Sub("src/docs"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    QTRY_VERIFY(ControlsIdle(*window));
    const QStringList lines = LogLines(*window);
    const qsizetype at = lines.indexOf(">>> WRITE/BURNCD PROCESS DONE WITH ERROR");
    QCOMPARE(lines.size(), at + 3);
    QVERIFY(lines.at(at + 1).startsWith(">>> ") && lines.at(at + 1).size() > 4);
    QCOMPARE(lines.at(at + 2), QString(" "));
    // Nothing is ejected after a failed write.
    window->bReady->click();
    QTRY_COMPARE(LogLines(*window).last(), QString(">>> DRIVE IS READY"));
}

void TWindowCommandsTest::testWriteClearsNoArchiveBitAndEjectsNothing() {
    TAppTestEnv env;
    MakeSources(env);
    auto window = ShowWindow();
    window->cbDrives->setCurrentIndex(1);  // the CD writer with its CD-R
    window->cbDrivesChange();
    window->Burner().TestWrite = true;
    window->Options.ArchiveFiles = true;
    window->Options.EjectDisc = true;
    window->AddSources({Q(env.Sub("src/single.txt"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QTRY_VERIFY(ControlsIdle(*window));
    window->bReady->click();
    QTRY_COMPARE(LogLines(*window).last(), QString(">>> DRIVE IS READY"));
    char value[256];
    QVERIFY(getxattr(env.Sub("src/single.txt").c_str(), "user.kestrel.archived", value, sizeof value) < 0);
}

void TWindowCommandsTest::secondSessionCarriesFirstButImageNever() {
    TAppTestEnv env;
    WriteFile(env.Sub("first/a.txt"), "first session\n");
    WriteFile(env.Sub("second/b.txt"), "second session\n");
    auto window = ShowWindow();
    window->cbDrives->setCurrentIndex(1);  // the CD writer with its blank CD-R
    window->cbDrivesChange();
    window->SetSavePathState(kestrel::TSavePathState::Unchecked);
    window->AddSources({Q(env.Sub("first/a.txt"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QTRY_VERIFY(ControlsIdle(*window));

    // The last session is imported: the new session holds both files.
    window->Options.SessionNo = -1;
    window->bClear->click();
    window->AddSources({Q(env.Sub("second/b.txt"))});
    qsizetype from = LogLines(*window).size();
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE", 60000, from));
    QTRY_VERIFY(ControlsIdle(*window));
    QVERIFY(!LinesFrom(*window, from).contains(">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    const std::string dump = env.Sub("disc.img");
    QCOMPARE(RunVDriveTool("dump --drive 1 -o " + dump), 0);
    std::string sessions;
    QCOMPARE(RunVDriveTool("sessions --drive 1", &sessions), 0);
    const auto second = QRegularExpression("session 2: start (\\d+)").match(Q(sessions));
    QVERIFY2(second.hasMatch(), sessions.c_str());
    const std::string tree = ShellOutput("xorriso -indev " + dump + " -load sbsector " + second.captured(1).toStdString() +
                                   " -find / -type f");
    QVERIFY2(tree.find("a.txt") != std::string::npos && tree.find("b.txt") != std::string::npos, tree.c_str());

    // An image file never carries the disc's session.
    AnswerImageName(env.Sub("only-list.iso"));
    window->bSaveISOClick();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE", 60000, LogLines(*window).size()));
    const std::string listing = ShellOutput("isoinfo -f -J -i " + env.Sub("only-list.iso"));
    QVERIFY2(listing.find("b.txt") != std::string::npos, listing.c_str());
    QVERIFY2(listing.find("a.txt") == std::string::npos, listing.c_str());
}

QTEST_MAIN(TWindowCommandsTest)
#include "test_window_commands.moc"
