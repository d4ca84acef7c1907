// The disc and sessions dialog and the file viewer opened from the main
// window on the virtual recorder: the session lines of blank, closed and
// two-session discs, Show Files of a chosen session, and extracting single
// files and whole directories into local files.
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "app/CompilationList.h"
#include "app/dialogs/SessionsDialog.h"
#include "app/dialogs/TreeViewDialog.h"
#include "app/tests/DialogTestSupport.h"
#include "app/tests/JobTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {


struct TSessionsShown {
    bool Seen = false;
    QString Title, Medium, DiscSize, UsedSpace, FreeSpace;
    QStringList Lines;
};

void Record(TfrmSessions* D, TSessionsShown& S) {
    S.Seen = true;
    S.Title = D->windowTitle();
    S.Medium = D->lMedium->text();
    S.DiscSize = D->lDiscSize->text();
    S.UsedSpace = D->lUsedSpace->text();
    S.FreeSpace = D->lFreeSpace->text();
    for (int i = 0; i < D->lb->count(); ++i) S.Lines << D->lb->item(i)->text();
}

// Opens the dialog from the main window; Answer runs while it is open and
// the dialog is closed (with Enter) afterwards.
TSessionsShown OpenSessions(TForm1& Window, std::function<void(TfrmSessions*)> Answer = {}) {
    auto shown = std::make_shared<TSessionsShown>();
    AnswerDialogOf<TfrmSessions>([shown, Answer](TfrmSessions* d) {
        // The disc is read off the GUI thread: the dialog fills when it has been.
        (void)QTest::qWaitFor([d] { return !d->Reading(); }, 20000);
        Record(d, *shown);
        if (Answer) Answer(d);
        // A session's files are imported off the GUI thread too; the viewer
        // opens, and is answered, once they are.
        (void)QTest::qWaitFor([d] { return !d->Reading() && QApplication::activeModalWidget() == d; }, 20000);
        QTest::keyClick(d->lb, Qt::Key_Return);  // the hidden default button closes
    });
    Window.bDisc->click();
    return *shown;
}

// The grid's rows as the viewer shows them: name cell, size cell.
QStringList GridNames(QTableWidget* Grid) {
    QStringList names;
    for (int r = 0; r < Grid->rowCount(); ++r)
        if (Grid->item(r, 0)) names << Grid->item(r, 0)->text();
    return names;
}

int RowOf(QTableWidget* Grid, const QString& Name) {
    for (int r = 0; r < Grid->rowCount(); ++r)
        if (Grid->item(r, 0) && Grid->item(r, 0)->text().mid(3) == Name) return r;
    return -1;
}

QTreeWidgetItem* NodeNamed(QTreeWidget* Tree, const QString& Name) {
    const auto found = Tree->findItems(Name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

// Session lines the recorder's control tool reports: start and size in blocks.
QList<QPair<uint32_t, uint32_t>> ToolSessions(int Drive) {
    std::string text;
    RunVDriveTool("sessions --drive " + std::to_string(Drive), &text);
    QList<QPair<uint32_t, uint32_t>> sessions;
    const QRegularExpression line("^session \\d+: start (\\d+), size (\\d+) blocks", QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(Q(text)); it.hasNext();) {
        const auto m = it.next();
        sessions.append({m.captured(1).toUInt(), m.captured(2).toUInt()});
    }
    return sessions;
}

void UseDrive(TForm1& Window, int Drive) {
    Window.cbDrives->setCurrentIndex(Drive);
    Window.cbDrivesChange();
}

// A first session with text files, a larger binary file and subfolders.
struct TFirstSession {
    std::string Folder, Image;
};

TFirstSession MakeFirstSession(const TAppTestEnv& Env) {
    TFirstSession s{Env.Sub("s1"), Env.Sub("s1.iso")};
    WriteFile(s.Folder + "/a.txt", "first session\n");
    std::string big;
    for (int i = 0; i < 150000; ++i) big.push_back(static_cast<char>((i * 7919) % 251));
    WriteFile(s.Folder + "/big.bin", big);
    WriteFile(s.Folder + "/empty.txt", "");
    WriteFile(s.Folder + "/sub/c.txt", "in a subfolder\n");
    WriteFile(s.Folder + "/only/inner/x.txt", "deep\n");
    return s;
}

// The first session's image (made by xorriso) in drive 1 as a closed CD-R,
// or an appendable one; false when either step failed.
bool InsertFirstSession(const TFirstSession& S, bool Appendable = false) {
    const std::string media = Appendable ? "cd-r --appendable" : "cd-r";
    return MakeImage(S.Folder, S.Image) &&
           RunVDriveTool("insert --drive 1 --media " + media + " --image " + S.Image) == 0;
}

}  // namespace

class TSessionsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void blankDiscShowsNoSessions();
    void closedSingleSessionCd();
    void twoSessionsAndShowFilesOfTheSecond();
    void noDiscShowsTheErrorLine();
    void singleFileExtractionAsksBeforeReplacing();
    void extractAllWritesIdenticalFilesIntoChosenFolder();
    void extractionCancelledHalfWayLeavesNoFile();
};

void TSessionsDialogTest::blankDiscShowsNoSessions() {
    TAppTestEnv env;
    auto window = ShowWindow();
    UseDrive(*window, 1);  // a blank CD-R
    bool shot = false;
    const TSessionsShown shown =
        OpenSessions(*window, [&](TfrmSessions* d) { shot = SaveScreenshot(d, "kestrel-dialog-sessions-blank.png"); });
    QVERIFY(shown.Seen);
    QVERIFY(shot);
    QCOMPARE(shown.Title, QString("Disc & Sessions Information"));
    QCOMPARE(shown.Lines, QStringList());
    QCOMPARE(shown.Medium, QString("CD-R"));
    QVERIFY2(shown.UsedSpace.endsWith(",  Sessions : 0"), qPrintable(shown.UsedSpace));
    QVERIFY2(shown.FreeSpace.endsWith(" MB, Disc is Open"), qPrintable(shown.FreeSpace));
    // 359,847 blocks of an 80 minute CD.
    QVERIFY2(QRegularExpression("^\\d[\\d,]*\\.\\d\\d MB$").match(shown.DiscSize).hasMatch(), qPrintable(shown.DiscSize));
}

void TSessionsDialogTest::closedSingleSessionCd() {
    TAppTestEnv env;
    const TFirstSession s1 = MakeFirstSession(env);
    QVERIFY(InsertFirstSession(s1));
    auto window = ShowWindow();
    UseDrive(*window, 1);
    const TSessionsShown shown = OpenSessions(*window);
    QVERIFY(shown.Seen);
    const auto sessions = ToolSessions(1);
    QCOMPARE(sessions.size(), 1);
    QCOMPARE(shown.Lines, QStringList({SessionLine(1, sessions[0].first, sessions[0].second)}));
    QVERIFY(shown.Lines[0].startsWith("  001    "));
    QVERIFY2(shown.FreeSpace.endsWith(", Disc Closed/Finalized"), qPrintable(shown.FreeSpace));
    QVERIFY2(shown.UsedSpace.endsWith(",  Sessions : 1"), qPrintable(shown.UsedSpace));
}

void TSessionsDialogTest::twoSessionsAndShowFilesOfTheSecond() {
    TAppTestEnv env;
    const TFirstSession s1 = MakeFirstSession(env);
    QVERIFY(InsertFirstSession(s1, true));
    WriteFile(env.Sub("s2/second.txt"), "second session\n");
    auto window = ShowWindow();
    UseDrive(*window, 1);
    // The second session is burnt by the program itself.
    window->SetSavePathState(kestrel::TSavePathState::Unchecked);
    window->AddSources({Q(env.Sub("s2"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QVERIFY(!LogLines(*window).contains(">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    const auto sessions = ToolSessions(1);
    QCOMPARE(sessions.size(), 2);

    QStringList tree, grid;
    QString viewerTitle, hint;
    bool viewerShot = false;
    const TSessionsShown shown = OpenSessions(*window, [&](TfrmSessions* d) {
        d->lb->setCurrentRow(1);
        AnswerDialogOf<TfrmTree>([&](TfrmTree* viewer) {
            viewerTitle = viewer->windowTitle();
            hint = viewer->fl->toolTip();
            for (QTreeWidgetItemIterator it(viewer->tvDir); *it; ++it) tree << (*it)->text(0);
            grid = GridNames(viewer->fl);
            viewerShot = SaveScreenshot(viewer, "kestrel-dialog-viewer.png");
            QTest::keyClick(viewer, Qt::Key_Escape);
        });
        QTest::mouseClick(d->lb->viewport(), Qt::LeftButton, {}, d->lb->visualItemRect(d->lb->item(1)).center());
    });
    QVERIFY(shown.Seen);
    QCOMPARE(shown.Lines, QStringList({SessionLine(1, sessions[0].first, sessions[0].second),
                                       SessionLine(2, sessions[1].first, sessions[1].second)}));
    QVERIFY2(shown.UsedSpace.endsWith(",  Sessions : 2"), qPrintable(shown.UsedSpace));
    QVERIFY2(shown.FreeSpace.endsWith(", Disc is Open"), qPrintable(shown.FreeSpace));
    QCOMPARE(viewerTitle, QString("File and Directories Viewer and Extractor (Double Click on a file name to extract)"));
    QCOMPARE(hint, QString("Double click on a file name to extract"));
    QVERIFY(viewerShot);
    // Session 2 holds only what the second burn wrote.
    QCOMPARE(tree, QStringList({"CDROOT"}));
    QCOMPARE(grid, QStringList({" 1 second.txt"}));

    // Session 1 through the button: its own tree.
    OpenSessions(*window, [&](TfrmSessions* d) {
        d->lb->setCurrentRow(0);
        tree.clear();
        AnswerDialogOf<TfrmTree>([&](TfrmTree* viewer) {
            for (QTreeWidgetItemIterator it(viewer->tvDir); *it; ++it) tree << (*it)->text(0);
            grid = GridNames(viewer->fl);
            viewer->close();
        });
        d->SpeedButton1->click();
    });
    QVERIFY(tree.contains("sub") && tree.contains("only") && tree.contains("inner"));
    QVERIFY2(grid.filter(QRegularExpression("^ \\d a\\.txt$")).size() == 1, qPrintable(grid.join('|')));
    QVERIFY(!grid.join('|').contains("second.txt"));
}

void TSessionsDialogTest::noDiscShowsTheErrorLine() {
    TAppTestEnv env;
    QCOMPARE(RunVDriveTool("eject --drive 1"), 0);
    auto window = ShowWindow();
    UseDrive(*window, 1);
    std::shared_ptr<TBoxSeen> select;
    const TSessionsShown shown = OpenSessions(*window);
    QVERIFY(shown.Seen);
    QCOMPARE(shown.Lines, QStringList({"     Error getting session information"}));
    QCOMPARE(shown.Medium, QString());
    QCOMPARE(shown.UsedSpace, QString());
}

void TSessionsDialogTest::singleFileExtractionAsksBeforeReplacing() {
    TAppTestEnv env;
    TScopedEnv home("HOME", env.Sub("home"));
    std::filesystem::create_directories(env.Sub("home/Downloads"));
    const TFirstSession s1 = MakeFirstSession(env);
    QVERIFY(InsertFirstSession(s1));
    auto window = ShowWindow();
    UseDrive(*window, 1);
    std::shared_ptr<TInputSeen> offered;
    std::shared_ptr<TBoxSeen> dirMessage, replaceNo, replaceYes;
    OpenSessions(*window, [&](TfrmSessions* d) {
        d->lb->setCurrentRow(0);
        AnswerDialogOf<TfrmTree>([&](TfrmTree* v) {
            // A directory row only brings the message.
            v->fl->setCurrentCell(RowOf(v->fl, "sub"), 0);
            dirMessage = PressOnNextBox(QMessageBox::Ok);
            v->Extract1Click();
            // A file row: the input box offers the bare name, which lands in
            // the default folder; a double click does it.
            const int big = RowOf(v->fl, "big.bin");
            offered = AnswerInput("big.bin");
            v->fl->setCurrentCell(big, 0);
            emit v->fl->cellDoubleClicked(big, 0);
            (void)QTest::qWaitFor([v] { return !v->Extracting(); }, 20000);
            // Again: asked, and No keeps the file as it is.
            WriteFile(env.Sub("home/Downloads/a.txt"), "local");
            v->fl->setCurrentCell(RowOf(v->fl, "a.txt"), 0);
            AnswerInput("a.txt", [&] { replaceNo = PressOnNextBox(QMessageBox::No); });
            v->Extract1Click();
            // Yes replaces it; a path typed by the user is used as typed.
            AnswerInput(Q(env.Sub("home/Downloads/a.txt")), [&] { replaceYes = PressOnNextBox(QMessageBox::Yes); });
            v->Extract1Click();
            (void)QTest::qWaitFor([v] { return !v->Extracting(); }, 20000);
            // An empty file.
            v->fl->setCurrentCell(RowOf(v->fl, "empty.txt"), 0);
            AnswerInput("copies/empty.txt");
            std::filesystem::create_directories(env.Sub("home/Downloads/copies"));
            v->Extract1Click();
            (void)QTest::qWaitFor([v] { return !v->Extracting(); }, 20000);
            v->close();
        });
        d->SpeedButton1->click();
    });
    QVERIFY(dirMessage && dirMessage->Seen);
    QCOMPARE(dirMessage->Text, QString("You can not extract directory, sub is a directory"));
    QVERIFY(offered && offered->Seen);
    QCOMPARE(offered->Title, QString("Extract File"));
    QCOMPARE(offered->Prompt, QString("Enter Filename and Path"));
    QCOMPARE(offered->Offered, QString("big.bin"));
    QCOMPARE(ReadFile(env.Sub("home/Downloads/big.bin")), ReadFile(s1.Folder + "/big.bin"));
    QVERIFY(replaceNo && replaceNo->Seen && replaceNo->Text.contains("already exists"));
    QVERIFY(replaceYes && replaceYes->Seen);
    QCOMPARE(ReadFile(env.Sub("home/Downloads/a.txt")), ReadFile(s1.Folder + "/a.txt"));
    QVERIFY(std::filesystem::exists(env.Sub("home/Downloads/copies/empty.txt")));
    QCOMPARE(ReadFile(env.Sub("home/Downloads/copies/empty.txt")), std::string());
}

void TSessionsDialogTest::extractAllWritesIdenticalFilesIntoChosenFolder() {
    TAppTestEnv env;
    TScopedEnv home("HOME", env.Sub("home"));
    std::filesystem::create_directories(env.Sub("home"));
    const TFirstSession s1 = MakeFirstSession(env);
    QVERIFY(InsertFirstSession(s1));
    const std::string out = env.Sub("out");
    std::filesystem::create_directories(out);
    auto window = ShowWindow();
    UseDrive(*window, 1);
    bool noQuestionForSubdirsOnly = false, skipKept = false, cancelWroteNothing = false;
    int folderQuestions = 0;
    std::shared_ptr<TBoxSeen> skip, cancel, replace;
    QString status;
    OpenSessions(*window, [&](TfrmSessions* d) {
        d->lb->setCurrentRow(0);
        AnswerDialogOf<TfrmTree>([&](TfrmTree* v) {
            // A directory holding only a subdirectory: nothing to write, nothing asked.
            v->tvDir->setCurrentItem(NodeNamed(v->tvDir, "only"));
            QTest::mouseClick(v->Msg, Qt::LeftButton);
            noQuestionForSubdirsOnly = QApplication::activeModalWidget() == v;
            // The root: the folder is asked for once.
            v->tvDir->setCurrentItem(v->tvDir->topLevelItem(0));
            AnswerDialogOf<QFileDialog>([&](QFileDialog* f) {
                ++folderQuestions;
                ChooseInFileDialog(f, Q(out));
            });
            QTest::mouseClick(v->Msg, Qt::LeftButton);
            (void)QTest::qWaitFor([v] { return !v->Extracting(); }, 20000);
            status = v->Msg->text();
            // Once more with a changed local copy: one question for the batch.
            WriteFile(out + "/a.txt", "changed locally");
            std::filesystem::remove(out + "/big.bin");
            skip = PressOnNextBox(QMessageBox::NoToAll);
            QTest::mouseClick(v->Msg, Qt::LeftButton);
            (void)QTest::qWaitFor([v] { return !v->Extracting(); }, 20000);
            skipKept = ReadFile(out + "/a.txt") == "changed locally" && std::filesystem::exists(out + "/big.bin");
            // Cancel writes nothing.
            std::filesystem::remove(out + "/big.bin");
            cancel = PressOnNextBox(QMessageBox::Cancel);
            QTest::mouseClick(v->Msg, Qt::LeftButton);
            cancelWroteNothing = !std::filesystem::exists(out + "/big.bin");
            // Replace writes every file again.
            replace = PressOnNextBox(QMessageBox::YesToAll);
            QTest::mouseClick(v->Msg, Qt::LeftButton);
            (void)QTest::qWaitFor([v] { return !v->Extracting(); }, 20000);
            v->close();
        });
        d->SpeedButton1->click();
    });
    QVERIFY(noQuestionForSubdirsOnly);
    QCOMPARE(folderQuestions, 1);
    QVERIFY2(status.startsWith("Extracting "), qPrintable(status));
    QVERIFY(skip && skip->Seen);
    QCOMPARE(skip->Title, QString("Extract Files"));
    QVERIFY(skip->Text.contains("a.txt"));
    QVERIFY(skipKept);
    QVERIFY(cancel->Seen);
    QVERIFY(cancelWroteNothing);
    QVERIFY(replace->Seen);
    // After Replace: every file of the root identical to what was burnt;
    // directories were skipped.
    for (const char* name : {"a.txt", "big.bin", "empty.txt"})
        QCOMPARE(ReadFile(out + "/" + name), ReadFile(s1.Folder + "/" + name));
    QVERIFY(!std::filesystem::exists(out + "/sub"));
    QVERIFY(!std::filesystem::exists(out + "/only"));
    QVERIFY(!std::filesystem::exists(env.Sub("home/Downloads")));
}

void TSessionsDialogTest::extractionCancelledHalfWayLeavesNoFile() {
    TAppTestEnv env;
    WriteFile(env.Sub("s1/big.bin"), std::string(12 * 1048576, 'b'));
    QVERIFY(MakeImage(env.Sub("s1"), env.Sub("s1.iso")));
    QCOMPARE(RunVDriveTool("insert --drive 1 --media cd-r --image " + env.Sub("s1.iso")), 0);
    const std::string out = env.Sub("out");
    std::filesystem::create_directories(out);
    auto window = ShowWindow();
    UseDrive(*window, 1);
    int progressShown = -1;
    QString whileCopying, afterCancel;
    bool stillOpenAfterCancel = false, closedAfterAsking = false;
    std::shared_ptr<TBoxAnswer> closeAsked;
    OpenSessions(*window, [&](TfrmSessions* d) {
        d->lb->setCurrentRow(0);
        AnswerDialogOf<TfrmTree>([&](TfrmTree* v) {
            // Reading the disc slowly, so the copy is caught half way.
            RunVDriveTool("fault --drive 1 delay-ms=40 delay-opcode=28");
            const int big = RowOf(v->fl, "big.bin");
            v->fl->setCurrentCell(big, 0);
            AnswerInput(Q(out + "/big.bin"));
            v->Extract1Click();
            (void)QTest::qWaitFor([v] { return v->pExtract->value() > 0; }, 60000);
            progressShown = v->pExtract->value();
            whileCopying = v->Msg->text();
            QTest::mouseClick(v->bCancel, Qt::LeftButton);
            (void)QTest::qWaitFor([v] { return !v->Extracting(); }, 60000);
            afterCancel = v->Msg->text();
            stillOpenAfterCancel = v->isVisible();
            // Closing while a copy runs asks, then stops it.
            v->fl->setCurrentCell(big, 0);
            AnswerInput(Q(out + "/again.bin"));
            v->Extract1Click();
            (void)QTest::qWaitFor([v] { return v->pExtract->value() > 0; }, 60000);
            closeAsked = AnswerBox(v->windowTitle(), QMessageBox::Yes);
            v->close();
            (void)QTest::qWaitFor([v] { return !v->Extracting(); }, 60000);
            closedAfterAsking = true;
        });
        d->SpeedButton1->click();
    });
    QVERIFY2(progressShown > 0 && progressShown < 100, qPrintable(QString::number(progressShown)));
    QCOMPARE(whileCopying, QString("Extracting big.bin"));
    QVERIFY2(afterCancel.startsWith("Extraction cancelled"), qPrintable(afterCancel));
    QVERIFY(stillOpenAfterCancel);
    QVERIFY(closedAfterAsking && closeAsked && closeAsked->Seen);
    QVERIFY(closeAsked->Text.contains("Stop and close?"));
    // Neither copy left a file, whole or partial.
    QVERIFY(std::filesystem::is_empty(out));
    QVERIFY(LogLines(*window).filter("CANCELLED BY THE USER").size() == 2);
}

QTEST_MAIN(TSessionsDialogTest)
#include "test_window_sessions.moc"
