// The window with the recorder's BD writer: the drive in the list, its
// discs in the fill meter, the speed list in BD factors, a burn onto a BD-R
// and the erase of a BD-RE, which formats it again.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

#include "app/DiscSpace.h"
#include "app/DiscWatcher.h"
#include "app/FillMeter.h"
#include "app/SpeedCombo.h"
#include "app/tests/DialogTestSupport.h"
#include "app/tests/WindowTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

constexpr int kBDDrive = 2;  // added after the DVD and the CD writer
// A single-layer BD-R, and what a BD-RE holds once formatted with the
// drive's usual spare areas.
constexpr int64_t kBDRBytes = 12219392LL * 2048, kBDREBytes = 11826176LL * 2048;

QString Q(const std::string& S) { return QString::fromStdString(S); }

std::unique_ptr<TForm1> WindowOnBdWriter() {
    if (RunVDriveTool("model --add bd-writer") != 0) return nullptr;
    auto window = ShowWindow();
    window->cbDrives->setCurrentIndex(kBDDrive);
    window->cbDrivesChange();
    // Looks at the drive often, so the tests wait for states, not seconds.
    window->DiscWatcher()->Start(50);
    return window;
}

// Blocks of zeros whose sector 16 names a volume of that many blocks.
std::string VolumeOf(uint32_t Blocks) {
    std::string image(size_t(Blocks) * 2048, '\0');
    char* descriptor = image.data() + 16 * 2048;
    descriptor[0] = 1;
    std::copy_n("CD001", 5, descriptor + 1);
    for (int i = 0; i < 4; ++i) descriptor[80 + i] = char((Blocks >> (8 * i)) & 0xFF);
    return image;
}

QStringList ComboItems(QComboBox* Box) {
    QStringList items;
    for (int i = 0; i < Box->count(); ++i) items << Box->itemText(i);
    return items;
}

}  // namespace

class TWindowBluRayTest : public QObject {
    Q_OBJECT
private slots:
    void bdWriterItsDiscsAndItsSpeeds();
    void burnOntoBdRAndEraseOfABdRe();
};

void TWindowBluRayTest::bdWriterItsDiscsAndItsSpeeds() {
    TAppTestEnv env;
    auto window = WindowOnBdWriter();
    QVERIFY(window);
    QCOMPARE(window->cbDrives->count(), 3);
    QVERIFY2(window->cbDrives->currentText().contains("VIRTUAL BD-RE"), qPrintable(window->cbDrives->currentText()));
    QVERIFY(window->bBurn->isEnabled());

    // The writer holds no disc until one is put in.
    TFillMeter* meter = window->FillMeter();
    QCOMPARE(RunVDriveTool("insert --drive 2 --media bd-r"), 0);
    QTRY_COMPARE(meter->DiscText(), QString("BD-R, blank, 23.31 GB free"));
    QCOMPARE(meter->Disc().FreeBytes, kBDRBytes);
    QCOMPARE(RunVDriveTool("insert --drive 2 --media bd-re"), 0);
    QTRY_COMPARE(meter->DiscText(), QString("BD-RE, blank, 22.56 GB free"));
    QCOMPARE(meter->Disc().FreeBytes, kBDREBytes);

    // Speeds in factors of BD's 1x (4,495.5 KB/s), the fastest first.
    window->cbSpeedDropDown();
    const QStringList speeds = ComboItems(window->cbSpeed);
    QVERIFY(speeds.size() > 2);
    QCOMPARE(speeds[0], QString("Max"));
    QCOMPARE(speeds[1], QString("12.0X (53,946 KB/s)"));
    QCOMPARE(speeds.last(), QString("1.0X (4,496 KB/s)"));
    const QRegularExpression entry("^\\d+\\.\\dX \\(\\d{1,3}(,\\d{3})* KB/s\\)$");
    for (int i = 1; i < speeds.size(); ++i) QVERIFY2(entry.match(speeds[i]).hasMatch(), qPrintable(speeds[i]));
}

void TWindowBluRayTest::burnOntoBdRAndEraseOfABdRe() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/docs/readme.txt"), "hello from kestrel\n");
    WriteFile(env.Sub("src/docs/data.bin"), std::string(300000, 'd'));
    auto window = WindowOnBdWriter();
    QVERIFY(window);
    QCOMPARE(RunVDriveTool("insert --drive 2 --media bd-r"), 0);
    TFillMeter* meter = window->FillMeter();
    QTRY_VERIFY(meter->DiscText().startsWith("BD-R, blank"));

    window->AddSources({Q(env.Sub("src/docs"))});
    PressOnNextBox(QMessageBox::Yes);
    window->bBurn->click();
    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QVERIFY(LogLines(*window).contains(">>> STARTING WRITE PROCESS ON BD-R AT 12.0X (53,946 KB/s)"));
    QTRY_VERIFY2(meter->DiscText().startsWith("BD-R, appendable, 1 session, "), qPrintable(meter->DiscText()));

    // A BD-RE holding a volume: the quick erase formats it again.
    WriteFile(env.Sub("bdre.iso"), VolumeOf(64));
    QCOMPARE(RunVDriveTool("insert --drive 2 --media bd-re --image " + env.Sub("bdre.iso")), 0);
    QTRY_VERIFY2(meter->DiscText().startsWith("BD-RE, holds data"), qPrintable(meter->DiscText()));
    const qsizetype from = LogLines(*window).size();
    // The erase buttons wait for the disc to be known as erasable.
    QTRY_VERIFY(window->bQErase->isEnabled());
    auto box = PressOnNextBox(QMessageBox::Yes);
    window->bQErase->click();
    QTRY_VERIFY(box->Seen);
    QVERIFY(WaitForLogLine(*window, ">>> ERASE PROCESS DONE", 60000, from));
    QVERIFY(!LogLines(*window).mid(from).contains(">>> ERASE PROCESS DONE WITH ERROR"));
    QTRY_COMPARE(meter->DiscText(), QString("BD-RE, blank, 22.56 GB free"));
}

QTEST_MAIN(TWindowBluRayTest)
#include "test_window_bluray.moc"
