// The dialogs' own pieces without a window: local names for disc names,
// the session line, and writing the settings file whole.
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "app/KestrelIni.h"
#include "app/dialogs/ExtractTarget.h"
#include "app/dialogs/SessionsDialog.h"
#include "app/dialogs/SettingsFile.h"
#include "app/tests/AppTestSupport.h"
#include "app/tests/DialogTestSupport.h"

using namespace kestrel;
using namespace kestrel::app;
using namespace kestrel::test;

namespace {

std::optional<QString> LocalNameOf(const std::string& LongName, bool Directory = false) {
    TFEntry entry;
    TDEntry dir;
    entry.LongName = LongName;
    if (Directory) entry.Dir = &dir;
    return SafeLocalName(entry);
}

}  // namespace

class TDialogPartsTest : public QObject {
    Q_OBJECT
private slots:
    void discNamesBecomeOneLocalName();
    void sessionLineFields();
    void settingsWrittenWholeKeepingOtherSections();
    void settingsFileUnchangedWhenItCannotBeWritten();
};

void TDialogPartsTest::discNamesBecomeOneLocalName() {
    QCOMPARE(LocalNameOf("report.pdf").value(), QString("report.pdf"));
    QCOMPARE(LocalNameOf("README.").value(), QString("README"));   // the compilation's marker goes
    QCOMPARE(LocalNameOf("v1.2.").value(), QString("v1.2."));      // a real extension stays
    QCOMPARE(LocalNameOf("../../etc/passwd").value(), QString(".._.._etc_passwd"));
    QCOMPARE(LocalNameOf("/abs").value(), QString("_abs"));
    QCOMPARE(LocalNameOf(std::string("a\0b", 3)).value(), QString("a_b"));
    QCOMPARE(LocalNameOf("line\nbreak\x7f").value(), QString("line_break_"));
    QVERIFY(!LocalNameOf(".."));
    QVERIFY(!LocalNameOf("."));
    QVERIFY(!LocalNameOf(""));
    QVERIFY(!LocalNameOf("..", true));
    QCOMPARE(ResolveInFolder("/dl", "a.txt"), QString("/dl/a.txt"));
    QCOMPARE(ResolveInFolder("/dl", "sub/a.txt"), QString("/dl/sub/a.txt"));
    QCOMPARE(ResolveInFolder("/dl", "/tmp/a.txt"), QString("/tmp/a.txt"));
}

void TDialogPartsTest::sessionLineFields() {
    QCOMPARE(SessionLine(1, 0, 2560), QString("  001           0      5 MB"));
    QCOMPARE(SessionLine(12, 11633, 256), QString("  012       11633      1 MB"));  // 0.5 MB rounds up
    // Fields wider than their room grow instead of being cut.
    QCOMPARE(SessionLine(255, 123456789, 512 * 12345), QString("  255    123456789   12345 MB"));
}

void TDialogPartsTest::settingsWrittenWholeKeepingOtherSections() {
    TTempDir dir;
    const auto file = dir.Path() / "Kestrel.ini";
    WriteFile(file.string(), "[Other]\nKeep=yes\n[Options]\nSavePath=Grayed\nCacheSize=1\n");
    WriteSettings(file, {{"ArchiveFiles", "1"}, {"CacheSize", "4194304"}, {"VolumeLable", "A"}});
    QCOMPARE(ReadFile(file.string()),
             std::string("[Other]\nKeep=yes\n[Options]\nSavePath=Grayed\nCacheSize=4194304\nArchiveFiles=1\n"
                         "VolumeLable=A\n"));
    // A new file takes the keys in the order given; line breaks in a value
    // cannot add keys of their own.
    const auto fresh = dir.Path() / "new" / "Kestrel.ini";
    WriteSettings(fresh, {{"SessionNo", "1\nCacheSize=0"}});
    QCOMPARE(TKestrelIni(fresh).ReadString("Options", "CacheSize", "none"), std::string("none"));
}

void TDialogPartsTest::settingsFileUnchangedWhenItCannotBeWritten() {
    TTempDir dir;
    const auto file = dir.Path() / "Kestrel.ini";
    WriteFile(file.string(), "[Options]\nEjectDisc=0\n");
    BlockSettingsDraft(file);
    bool thrown = false;
    try {
        WriteSettings(file, {{"EjectDisc", "1"}, {"ShowFiles", "1"}});
    } catch (const TIniWriteError& e) {
        thrown = std::string(e.what()) == "Unable to write to " + file.string();
    }
    QVERIFY(thrown);
    QCOMPARE(ReadFile(file.string()), std::string("[Options]\nEjectDisc=0\n"));
}

QTEST_MAIN(TDialogPartsTest)
#include "test_dialog_parts.moc"
