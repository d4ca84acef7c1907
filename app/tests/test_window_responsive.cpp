// The window never waits for the drive: with a recorder that answers every
// command late, the GUI thread keeps serving its events during a disc's
// reading and an extraction, an eject and a whole burn.
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

#include "app/dialogs/SessionsDialog.h"
#include "app/dialogs/TreeViewDialog.h"
#include "app/tests/JobTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

constexpr int kCDDrive = 1;
// Every command of the drive answers this late: one of them on the GUI
// thread would keep it from its events for longer than is allowed.
constexpr int kDelayMs = 220;
constexpr qint64 kLongestStallMs = 200;

int RowOf(QTableWidget* Grid, const QString& Name) {
    for (int r = 0; r < Grid->rowCount(); ++r)
        if (Grid->item(r, 0) && Grid->item(r, 0)->text().mid(3) == Name) return r;
    return -1;
}

}  // namespace

class TWindowResponsiveTest : public QObject {
    Q_OBJECT
private slots:
    void neverBlockedDuringExtractionEjectAndBurn();
};

void TWindowResponsiveTest::neverBlockedDuringExtractionEjectAndBurn() {
    TAppTestEnv env;
    WriteFile(env.Sub("s1/data.bin"), std::string(200000, 'x'));
    QVERIFY(MakeImage(env.Sub("s1"), env.Sub("s1.iso")));
    QCOMPARE(RunVDriveTool("insert --drive 1 --media cd-r --image " + env.Sub("s1.iso")), 0);
    const std::string out = env.Sub("out");
    std::filesystem::create_directories(out);
    auto window = WindowOnDrive(kCDDrive);
    QTRY_VERIFY(window->pTop2->isEnabled());
    QCOMPARE(RunVDriveTool("fault --drive 1 delay-ms=" + std::to_string(kDelayMs)), 0);
    TLatenessProbe probe;

    // The disc's sessions read, one session imported and a file extracted.
    probe.Start();
    bool extracted = false;
    AnswerDialogOf<TfrmSessions>([&](TfrmSessions* d) {
        (void)QTest::qWaitFor([d] { return !d->Reading(); }, 60000);
        d->lb->setCurrentRow(0);
        AnswerDialogOf<TfrmTree>([&](TfrmTree* v) {
            v->fl->setCurrentCell(RowOf(v->fl, "data.bin"), 0);
            AnswerInput(Q(out + "/data.bin"));
            v->Extract1Click();
            (void)QTest::qWaitFor([v] { return !v->Extracting(); }, 60000);
            extracted = true;
            v->close();
        }, 60000);
        d->SpeedButton1->click();
        (void)QTest::qWaitFor([d] { return !d->Reading() && QApplication::activeModalWidget() == d; }, 60000);
        d->accept();
    }, 60000);
    window->bDisc->click();
    const qint64 extractionStall = probe.Stop();
    QVERIFY(extracted);
    QCOMPARE(ReadFile(out + "/data.bin"), std::string(200000, 'x'));
    QVERIFY2(extractionStall < kLongestStallMs, qPrintable(QString::number(extractionStall)));

    // Eject: three commands, each answered late.
    QTRY_VERIFY(window->bEject->isEnabled());
    probe.Start();
    QElapsedTimer took;
    took.start();
    window->bEject->click();
    QVERIFY(WaitForLogLine(*window, ">>> EJECT MEDIUM COMMAND DONE."));
    const qint64 ejectStall = probe.Stop();
    QVERIFY2(took.elapsed() >= 3 * kDelayMs, "the recorder's delay was not on");
    QVERIFY2(ejectStall < kLongestStallMs, qPrintable(QString::number(ejectStall)));

    // A whole burn, its checks and questions included.
    QCOMPARE(RunVDriveTool("insert --drive 1 --media cd-r"), 0);
    WriteFile(env.Sub("new/n.txt"), "burnt while the window stays alive\n");
    window->AddSources({Q(env.Sub("new/n.txt"))});
    QTRY_VERIFY(window->pTop->isEnabled());
    probe.Start();
    const qsizetype from = LogLines(*window).size();
    AnswerBox("Want to Burn the CD ?", QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE", 110000, from));
    QTRY_VERIFY(!window->Timer1->isActive());
    const qint64 burnStall = probe.Stop();
    QVERIFY(!LogLines(*window).mid(from).contains(">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    QVERIFY2(burnStall < kLongestStallMs, qPrintable(QString::number(burnStall)));
}

QTEST_MAIN(TWindowResponsiveTest)
#include "test_window_responsive.moc"
