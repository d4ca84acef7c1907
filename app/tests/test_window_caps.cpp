// The device capabilities dialog opened from the main window: its boxes
// against the virtual recorder's drive models, its labels, and Esc.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMap>
#include <QPushButton>

#include "app/dialogs/DeviceCapsDialog.h"
#include "app/tests/DialogTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

struct TCapsShown {
    bool Seen = false;
    QString Title, Label1, Label2, Label3;
    QMap<QString, bool> Boxes;  // by object name
    QMap<QString, QString> Captions;
    bool PanelEnabled = true;
    bool UnderrunBold = false;
};

TCapsShown OpenCaps(TForm1& Window, const char* Screenshot = nullptr) {
    TCapsShown shown;
    AnswerDialogOf<TForm2>([&shown, Screenshot](TForm2* d) {
        shown.Seen = true;
        shown.Title = d->windowTitle();
        shown.Label1 = d->Label1->text();
        shown.Label2 = d->Label2->text();
        shown.Label3 = d->Label3->text();
        shown.PanelEnabled = d->Panel1->isEnabled();
        for (auto* box : d->findChildren<QCheckBox*>()) {
            shown.Boxes[box->objectName()] = box->isChecked();
            shown.Captions[box->objectName()] = box->text();
        }
        if (auto* underrun = d->findChild<QCheckBox*>("UnderrunProtection"))
            shown.UnderrunBold = underrun->font().bold();
        if (Screenshot) SaveScreenshot(d, Screenshot);
        QTest::keyClick(d, Qt::Key_Escape);  // Esc closes
    });
    Window.bCaps->click();
    return shown;
}

// The drive model's settings as the recorder keeps them (key=value lines).
QMap<QString, QString> ModelOf(const TAppTestEnv& Env, int Drive) {
    QMap<QString, QString> model;
    const std::string text = ReadFile(Env.Sub("vdrive/drive" + std::to_string(Drive) + "/model.conf"));
    for (const QString& line : QString::fromStdString(text).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) model[line.left(eq)] = line.mid(eq + 1);
    }
    return model;
}

// What each box must show for a drive model: the media it reads and writes,
// test writing and underrun protection.
QMap<QString, bool> ExpectedBoxes(const QMap<QString, QString>& Model) {
    const QStringList reads = Model["reads"].split(',', Qt::SkipEmptyParts);
    const QStringList writes = Model["writes"].split(',', Qt::SkipEmptyParts);
    const std::pair<const char*, const char*> media[] = {{"CDR", "cd-r"},       {"CDRW", "cd-rw"},
                                                         {"DVDR", "dvd-r"},     {"DVDRW", "dvd-rw"},
                                                         {"DVDRAM", "dvd-ram"}, {"DVDPR", "dvd+r"},
                                                         {"DVDPRW", "dvd+rw"}};
    QMap<QString, bool> expected;
    for (const auto& [flag, medium] : media) {
        expected[QString("Read") + flag] = reads.contains(medium);
        expected[QString("Write") + flag] = writes.contains(medium);
    }
    expected["ReadDVD"] = reads.contains("dvd-rom");
    // Blu-ray: one box for both layer counts of a medium.
    expected["ReadBD"] = reads.contains("bd-rom");
    expected["ReadBDR"] = reads.contains("bd-r") || reads.contains("bd-r-dl");
    expected["ReadBDRE"] = reads.contains("bd-re") || reads.contains("bd-re-dl");
    expected["WriteBDR"] = writes.contains("bd-r") || writes.contains("bd-r-dl");
    expected["WriteBDRE"] = writes.contains("bd-re") || writes.contains("bd-re-dl");
    expected["WriteTest"] = Model["test-write"] == "yes";
    expected["UnderrunProtection"] = Model["buffer-underrun-free"] == "yes";
    return expected;
}

}  // namespace

class TCapsDialogTest : public QObject {
    Q_OBJECT
private slots:
    void boxesMatchEachDriveModel();
    void captionsLabelsAndScreenshot();
    void cdOnlyWriterShowsNoDvdWriting();
};

void TCapsDialogTest::boxesMatchEachDriveModel() {
    TAppTestEnv env;
    QCOMPARE(RunVDriveTool("list"), 0);
    QCOMPARE(RunVDriveTool("model --add cd-reader"), 0);
    QCOMPARE(RunVDriveTool("model --add bd-writer"), 0);
    auto window = ShowWindow();
    QCOMPARE(window->cbDrives->count(), 4);
    for (int drive = 0; drive < 4; ++drive) {
        window->cbDrives->setCurrentIndex(drive);
        window->cbDrivesChange();
        const TCapsShown shown = OpenCaps(*window);
        QVERIFY(shown.Seen);
        QCOMPARE(shown.Boxes.size(), 22);
        const QMap<QString, bool> expected = ExpectedBoxes(ModelOf(env, drive));
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(shown.Boxes.value(it.key(), !it.value()) == it.value(),
                     qPrintable(QString("drive %1, %2").arg(drive).arg(it.key())));
        QCOMPARE(shown.Label1, "  " + window->cbDrives->currentText());
    }
}

void TCapsDialogTest::captionsLabelsAndScreenshot() {
    TAppTestEnv env;
    auto window = ShowWindow();
    const TCapsShown shown = OpenCaps(*window, "kestrel-dialog-capabilities.png");
    QVERIFY(shown.Seen);
    QCOMPARE(shown.Title, QString("Device Capabilities"));
    QVERIFY(!shown.PanelEnabled);  // read-only
    QVERIFY(shown.UnderrunBold);
    const std::pair<const char*, const char*> captions[] = {
        {"ReadCDR", "Read CDR"},         {"WriteCDR", "Write CDR"},       {"ReadCDRW", "Read CDRW"},
        {"WriteCDRW", "Write CDRW"},     {"ReadDVDR", "Read DVD-R"},      {"WriteDVDR", "Write DVD-R"},
        {"ReadDVDRW", "Read DVD-RW"},    {"WriteDVDRW", "Write DVD-RW"},  {"ReadDVDRAM", "Read DVD-RAM"},
        {"WriteDVDRAM", "Write DVD-RAM"}, {"ReadDVDPR", "Read DVD+R"},    {"WriteDVDPR", "Write DVD+R"},
        {"ReadDVDPRW", "Read DVD+RW"},   {"WriteDVDPRW", "Write DVD+RW"}, {"ReadDVD", "Read DVD"},
        {"WriteTest", "Write Test"},     {"ReadBD", "Read BD"},           {"ReadBDR", "Read BD-R"},
        {"WriteBDR", "Write BD-R"},      {"ReadBDRE", "Read BD-RE"},      {"WriteBDRE", "Write BD-RE"},
        {"UnderrunProtection", "Underrun Protection"}};
    for (const auto& [name, caption] : captions) QCOMPARE(shown.Captions.value(name), QString(caption));
    const auto& burner = window->Burner();
    QVERIFY(burner.DeviceMaxWriteSpeed() > 0);
    QCOMPARE(shown.Label2, QString("Max Write Speed : %1 KB/s").arg(burner.DeviceMaxWriteSpeed()));
    QCOMPARE(shown.Label3, QString("Max Read Speed  : %1 KB/s").arg(burner.DeviceMaxReadSpeed()));
}

void TCapsDialogTest::cdOnlyWriterShowsNoDvdWriting() {
    TAppTestEnv env;
    QCOMPARE(RunVDriveTool("list"), 0);
    QCOMPARE(RunVDriveTool("model --drive 0 reads=cd-rom,cd-r,cd-rw,dvd-rom writes=cd-r test-write=no"), 0);
    auto window = ShowWindow();
    const TCapsShown shown = OpenCaps(*window);
    QVERIFY(shown.Seen);
    QVERIFY(shown.Boxes["WriteCDR"]);
    for (const char* name : {"WriteDVDR", "WriteDVDRW", "WriteDVDRAM", "WriteDVDPR", "WriteDVDPRW", "WriteCDRW",
                             "WriteTest"})
        QVERIFY2(!shown.Boxes[name], name);
    QVERIFY(shown.Boxes["ReadDVD"]);
    QVERIFY(window->bBurn->isEnabled());
}

QTEST_MAIN(TCapsDialogTest)
#include "test_window_caps.moc"
