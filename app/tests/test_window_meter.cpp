// The disc fill meter in the window against discs of the virtual recorder:
// its words and numbers for blank, appendable and no discs, following disc
// changes made from outside, its colours, and the question before a burn
// that does not fit.
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include <filesystem>

#include "app/CompilationList.h"
#include "app/DiscWatcher.h"
#include "app/FillMeter.h"
#include "app/tests/DialogTestSupport.h"
#include "app/tests/WindowTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

constexpr int kDVDDrive = 0, kCDDrive = 1;
// The recorder's 80-minute CD-R, and its DVD±RW.
constexpr int64_t kCDBytes = 359847LL * 2048, kDVDBytes = 2295104LL * 2048;

QString Q(const std::string& S) { return QString::fromStdString(S); }

std::unique_ptr<TForm1> WindowOnDrive(int Drive) {
    auto window = ShowWindow();
    window->cbDrives->setCurrentIndex(Drive);
    window->cbDrivesChange();
    // Looks at the drive often, so the tests wait for states, not seconds.
    window->DiscWatcher()->Start(50);
    return window;
}

// A file of Bytes that takes no room on the test's disk.
std::string SparseFile(const TAppTestEnv& Env, const std::string& Name, int64_t Bytes) {
    const std::string path = Env.Sub(Name);
    WriteFile(path, "");
    std::filesystem::resize_file(path, static_cast<uintmax_t>(Bytes));
    return path;
}

// The colour painted at the left end of the bar.
QColor BarColour(TFillMeter* Meter) {
    auto* bar = Meter->findChild<TFillBar*>("pFill");
    const QImage image = bar->grab().toImage();
    return image.pixelColor(4, image.height() / 2);
}

}  // namespace

class TWindowMeterTest : public QObject {
    Q_OBJECT
private slots:
    void blankDiscsInWordsAndNumbers();
    void followsDiscsInsertedAndEjected();
    void coloursFollowTheFill();
    void burnAsksWhenTheCompilationDoesNotFit();
    void readsTheDiscAgainAfterABurn();
};

void TWindowMeterTest::blankDiscsInWordsAndNumbers() {
    TAppTestEnv env;
    auto window = WindowOnDrive(kDVDDrive);
    TFillMeter* meter = window->FillMeter();
    QTRY_COMPARE(meter->DiscText(), QString("DVD+RW, blank, 4.38 GB free"));
    QCOMPARE(meter->Disc().FreeBytes, kDVDBytes);
    QCOMPARE(window->findChild<QLabel*>("lDiscSpace")->text(), meter->DiscText());
    // An empty list fills nothing.
    QCOMPARE(meter->Percent(), 0);
    QCOMPARE(int(meter->Level()), int(TFillLevel::Green));
    window->cbDrives->setCurrentIndex(kCDDrive);
    window->cbDrivesChange();
    QTRY_VERIFY(meter->DiscText().startsWith("CD-R, blank, "));
    QVERIFY2(meter->Disc().FreeBytes >= kCDBytes && meter->Disc().FreeBytes <= kCDBytes + 150 * 2048,
             qPrintable(QString::number(meter->Disc().FreeBytes)));
    QCOMPARE(meter->DiscText(), QStringLiteral("CD-R, blank, %1 free").arg(SpaceText(meter->Disc().FreeBytes)));
}

void TWindowMeterTest::followsDiscsInsertedAndEjected() {
    if (!HaveProgram("xorriso")) QSKIP("xorriso is not installed");
    TAppTestEnv env;
    WriteFile(env.Sub("s1/first.bin"), std::string(5 * 1048576, 'f'));
    const std::string image = env.Sub("s1.iso");
    QVERIFY(MakeImage(env.Sub("s1"), image));
    const int64_t imageBytes = static_cast<int64_t>(std::filesystem::file_size(image));
    auto window = WindowOnDrive(kCDDrive);
    TFillMeter* meter = window->FillMeter();
    QTRY_VERIFY(meter->DiscText().startsWith("CD-R, blank"));

    // A disc with one closed session, put in while the window runs.
    QCOMPARE(RunVDriveTool("insert --drive 1 --media cd-r --image " + image + " --appendable"), 0);
    QTRY_VERIFY2(meter->DiscText().startsWith("CD-R, appendable, 1 session, "), qPrintable(meter->DiscText()));
    // What the session and the gap a second session needs on CD leave free.
    const int64_t free = meter->Disc().FreeBytes;
    QVERIFY2(free < kCDBytes - imageBytes && free > kCDBytes - imageBytes - 12000LL * 2048,
             qPrintable(QString::number(free)));
    QCOMPARE(meter->DiscText(), QStringLiteral("CD-R, appendable, 1 session, %1 free").arg(SpaceText(free)));

    // The window's own Eject and Load are followed at once.
    window->bEject->click();
    QTRY_COMPARE(meter->DiscText(), QString("No disc"));
    QCOMPARE(int(meter->Level()), int(TFillLevel::None));
    QCOMPARE(meter->Percent(), -1);
    window->bLoad->click();
    QTRY_VERIFY(meter->DiscText().startsWith("CD-R, appendable"));
    // A disc taken out from outside too.
    QCOMPARE(RunVDriveTool("eject --drive 1"), 0);
    QTRY_COMPARE(meter->DiscText(), QString("No disc"));
}

void TWindowMeterTest::coloursFollowTheFill() {
    TAppTestEnv env;
    auto window = WindowOnDrive(kCDDrive);
    TFillMeter* meter = window->FillMeter();
    QTRY_VERIFY(meter->DiscText().startsWith("CD-R, blank"));
    const int64_t free = meter->Disc().FreeBytes;

    window->AddSources({Q(SparseFile(env, "small.bin", 100LL * 1048576))});
    QTRY_VERIFY(!window->clBox->CountingSizes() && meter->Needed() > 100LL * 1048576);
    QCOMPARE(int(meter->Level()), int(TFillLevel::Green));
    QCOMPARE(meter->Percent(), int((meter->Needed() * 100 + free - 1) / free));
    QVERIFY2(meter->BarText().startsWith("100.") && meter->BarText().contains(" MB of " + SpaceText(free)),
             qPrintable(meter->BarText()));
    QCOMPARE(BarColour(meter), FillColor(TFillLevel::Green));

    // Past 90 %: yellow.
    window->bClear->click();
    window->AddSources({Q(SparseFile(env, "most.bin", free * 95 / 100))});
    QTRY_COMPARE(int(meter->Level()), int(TFillLevel::Yellow));
    QCOMPARE(BarColour(meter), FillColor(TFillLevel::Yellow));
    // Past 100 %: red.
    window->AddSources({Q(SparseFile(env, "more.bin", free / 10))});
    QTRY_COMPARE(int(meter->Level()), int(TFillLevel::Red));
    QVERIFY(meter->Percent() > 100);
    QCOMPARE(BarColour(meter), FillColor(TFillLevel::Red));
    // Taking an entry out brings it back; so does clearing the "R" box of a
    // folder whose files are all below.
    window->clBox->topLevelItem(1)->setSelected(true);
    window->clBox->Remove1Click();
    QTRY_COMPARE(int(meter->Level()), int(TFillLevel::Yellow));
    window->bClear->click();
    SparseFile(env, "tree/deep/big.bin", free + 1048576);
    window->AddSources({Q(env.Sub("tree"))});
    QTRY_COMPARE(int(meter->Level()), int(TFillLevel::Red));
    window->clBox->topLevelItem(0)->setCheckState(TCompilationList::colR, Qt::Unchecked);
    QTRY_COMPARE(int(meter->Level()), int(TFillLevel::Green));
}

void TWindowMeterTest::burnAsksWhenTheCompilationDoesNotFit() {
    TAppTestEnv env;
    auto window = WindowOnDrive(kCDDrive);
    QTRY_VERIFY(window->FillMeter()->DiscText().startsWith("CD-R, blank"));
    window->AddSources({Q(SparseFile(env, "huge.bin", kCDBytes + 50LL * 1048576))});
    const qsizetype from = LogLines(*window).size();
    // The question comes first, and No is its default.
    QString title, text;
    bool defaultNo = false;
    AnswerDialogOf<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        defaultNo = static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::No);
        box->button(QMessageBox::No)->click();
    });
    window->bBurn->click();
    QTRY_COMPARE(title, QString("The compilation does not fit"));
    QVERIFY2(text.contains("CD-R, blank"), qPrintable(text));
    QVERIFY(defaultNo);
    QVERIFY(LogLines(*window).mid(from).filter("STARTING BURNCD").isEmpty());
    QTRY_VERIFY(window->pTop->isEnabled() && !window->bAbort->isVisible());
    // Going on leads to the usual question; answered No, nothing is written.
    QStringList titles;
    AnswerDialogOf<QMessageBox>([&](QMessageBox* box) {
        titles << box->windowTitle();
        AnswerDialogOf<QMessageBox>([&](QMessageBox* next) {
            titles << next->windowTitle();
            next->button(QMessageBox::No)->click();
        });
        box->button(QMessageBox::Yes)->click();
    });
    window->bBurn->click();
    QTRY_COMPARE(titles, QStringList({"The compilation does not fit", "Want to Burn the CD ?"}));
    QTRY_VERIFY(window->pTop->isEnabled());
    QVERIFY(LogLines(*window).mid(from).filter("STARTING BURNCD").isEmpty());
    window->DiscWatcher()->Refresh();
    QTRY_VERIFY(window->FillMeter()->DiscText().startsWith("CD-R, blank"));
}

void TWindowMeterTest::readsTheDiscAgainAfterABurn() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/data.bin"), std::string(3 * 1048576, 'd'));
    auto window = WindowOnDrive(kDVDDrive);
    TFillMeter* meter = window->FillMeter();
    QTRY_COMPARE(meter->DiscText(), QString("DVD+RW, blank, 4.38 GB free"));
    window->AddSources({Q(env.Sub("src"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    // The session written now holds data, and less is free.
    QTRY_VERIFY2(meter->DiscText().startsWith("DVD+RW, holds data, "), qPrintable(meter->DiscText()));
    QVERIFY(meter->Disc().FreeBytes < kDVDBytes - 3LL * 1048576);
}

QTEST_MAIN(TWindowMeterTest)
#include "test_window_meter.moc"
