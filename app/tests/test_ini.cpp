// The settings file: reading rules, key order, whole-file writes, failures.
#include <QTest>

#include "app/KestrelIni.h"
#include "support/TestSupport.h"

using namespace kestrel::app;
using kestrel::test::ReadFile;
using kestrel::test::TScopedEnv;
using kestrel::test::TTempDir;
using kestrel::test::WriteFile;

class TIniTest : public QObject {
    Q_OBJECT
private slots:
    void defaultLocationFollowsXdg();
    void readingRules();
    void writesKeepOrderAndOtherSections();
    void newFileHasKeysInOrderOfFirstWriting();
    void unwritableFileIsReported();
};

void TIniTest::defaultLocationFollowsXdg() {
    TTempDir dir;
    {
        TScopedEnv xdg("XDG_CONFIG_HOME", dir.Path().string());
        QCOMPARE(TKestrelIni::DefaultPath(), dir.Path() / "kestrel" / "Kestrel.ini");
    }
    TScopedEnv noXdg("XDG_CONFIG_HOME", "");
    TScopedEnv home("HOME", dir.Path().string());
    QCOMPARE(TKestrelIni::DefaultPath(), dir.Path() / ".config" / "kestrel" / "Kestrel.ini");
}

void TIniTest::readingRules() {
    TTempDir dir;
    const std::string file = dir / "Kestrel.ini";
    WriteFile(file, "[Other]\nJolietFS=0\n[Options]\nJolietFS = 7\nTestWrite=0\nPerformOPC=yes\n"
                    "SessionNo=-1\nCacheSize=12x\nsavepath=grayed\n; Bootable=1\n");
    const TKestrelIni ini(file);
    QCOMPARE(ini.ReadBool("Options", "JolietFS", false), true);     // any non-zero integer
    QCOMPARE(ini.ReadBool("Options", "TestWrite", true), false);
    QCOMPARE(ini.ReadBool("Options", "PerformOPC", true), true);    // not an integer: default
    QCOMPARE(ini.ReadBool("Options", "PerformOPC", false), false);
    QCOMPARE(ini.ReadInteger("Options", "SessionNo", 0), -1LL);
    QCOMPARE(ini.ReadInteger("Options", "CacheSize", 8392704), 8392704LL);
    QCOMPARE(ini.ReadString("Options", "SavePath", ""), std::string("grayed"));  // keys ignore case
    QCOMPARE(ini.ReadBool("Options", "Bootable", false), false);    // comment line
    QCOMPARE(ini.ReadString("Options", "Missing", "dflt"), std::string("dflt"));
    QCOMPARE(TKestrelIni(dir / "none.ini").ReadBool("Options", "JolietFS", true), true);
}

void TIniTest::writesKeepOrderAndOtherSections() {
    TTempDir dir;
    const std::string file = dir / "Kestrel.ini";
    WriteFile(file, "[Options]\nArchiveFiles=0\nSavePath=Grayed\n\n[Window]\nx=1\n");
    TKestrelIni ini(file);
    ini.WriteString("Options", "SavePath", "Checked");
    ini.WriteBool("Options", "EjectDisc", true);
    ini.WriteInteger("Window", "y", 2);
    QCOMPARE(ReadFile(file), std::string("[Options]\nArchiveFiles=0\nSavePath=Checked\nEjectDisc=1\n\n"
                                         "[Window]\nx=1\ny=2\n"));
    // Nothing is left behind by the temporary file.
    QCOMPARE(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

void TIniTest::newFileHasKeysInOrderOfFirstWriting() {
    TTempDir dir;
    const std::string file = dir / "sub/Kestrel.ini";
    TKestrelIni ini(file);
    ini.WriteString("Options", "SavePath", "Unchecked");
    ini.WriteBool("Options", "ArchiveFiles", false);
    ini.WriteString("Options", "SavePath", "Grayed");
    ini.WriteInteger("Options", "CacheSize", 8392704);
    QCOMPARE(ReadFile(file), std::string("[Options]\nSavePath=Grayed\nArchiveFiles=0\nCacheSize=8392704\n"));
}

void TIniTest::unwritableFileIsReported() {
    TTempDir dir;
    // A plain file where the settings folder should be: nothing can be created below it.
    WriteFile(dir / "kestrel", "not a folder");
    const std::string file = dir / "kestrel/Kestrel.ini";
    TKestrelIni ini(file);
    try {
        ini.WriteBool("Options", "JolietFS", false);
        QFAIL("no error");
    } catch (const TIniWriteError& e) {
        QCOMPARE(std::string(e.what()), "Unable to write to " + file);
    }
    QCOMPARE(ReadFile(dir / "kestrel"), std::string("not a folder"));
}

QTEST_MAIN(TIniTest)
#include "test_ini.moc"
