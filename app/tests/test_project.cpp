// Project files: what goes in comes out, a broken or foreign file is refused
// with the reason and the line, and the recent list keeps its order.
#include <QTest>

#include <filesystem>

#include "app/ProjectFile.h"
#include "app/ProjectSession.h"
#include "app/tests/AppTestSupport.h"

using namespace kestrel::app;
using kestrel::test::ReadFile;
using kestrel::test::TTempDir;
using kestrel::test::WriteFile;

namespace {

TProject Sample() {
    TProject project;
    TProjectOptions& o = project.Options;
    o.SavePath = kestrel::TSavePathState::Grayed;
    o.VolumeLabel = "BACKUP 2024";
    o.JolietFS = false;
    o.Bootable = true;
    o.BootImage = "/boot/eltorito.img";
    o.BootNoEmulation = true;
    o.BootLoadSize = 65535;
    o.BootInfoTable = true;
    o.UefiBoot = true;
    o.UefiBootImage = "/boot/efi\tpart.img";
    o.CloseDisc = true;
    o.ArchiveFiles = true;
    o.ImportSession = true;
    o.SessionNo = -1;
    // Paths hold whatever a Linux name may: blanks at the ends, "=", "#",
    // backslashes, tabs, line breaks and non-ASCII letters.
    project.Entries = {{"/home/me/Documents/", true},
                       {"/home/me/ two blanks  /", false},
                       {"/srv/a=b#c;d\\e\tf\ng\rh.txt", false},
                       {"/home/me/Bücher/übersicht.txt", true}};
    return project;
}

// The reason ParseProject gives for Text, with its line ("reason @ line").
QString Refusal(const std::string& Text) {
    try {
        ParseProject(Text);
    } catch (const TProjectError& e) {
        return QString::fromStdString(e.what()) + QStringLiteral(" @ %1").arg(e.Line());
    }
    return QStringLiteral("accepted");
}

}  // namespace

class TProjectTest : public QObject {
    Q_OBJECT
private slots:
    void roundTripKeepsListAndOptions();
    void brokenAndForeignFilesAreRefusedWithTheLine();
    void laterKeysAreSkippedAndCommentsAllowed();
    void recentListIsNewestFirstWithoutDuplicates();
};

void TProjectTest::roundTripKeepsListAndOptions() {
    TTempDir dir;
    const std::string file = (dir.Path() / "set.kestrel").string();
    const TProject saved = Sample();
    SaveProjectFile(file, saved);
    const TProject loaded = LoadProjectFile(file);
    QVERIFY(loaded.Options == saved.Options);
    QCOMPARE(loaded.Entries.size(), saved.Entries.size());
    for (size_t i = 0; i < saved.Entries.size(); ++i) {
        QCOMPARE(loaded.Entries[i].Path, saved.Entries[i].Path);
        QCOMPARE(loaded.Entries[i].Recursive, saved.Entries[i].Recursive);
    }
    // One line per entry: the line break inside a name is escaped.
    const std::string text = ReadFile(file);
    QVERIFY(text.find("Format=1\n") != std::string::npos);
    QVERIFY(text.find("Source=- /srv/a=b#c;d\\\\e\\tf\\ng\\rh.txt\n") != std::string::npos);
    // Saving leaves no draft behind, and a file that cannot be written is an error.
    QCOMPARE(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    bool refused = false;
    try {
        SaveProjectFile((dir.Path() / "no-such-folder" / "x.kestrel").string(), saved);
    } catch (const TProjectError&) {
        refused = true;
    }
    QVERIFY(refused);
    // Windows line ends read the same.
    std::string crlf;
    for (char c : ProjectText(saved)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    QCOMPARE(ParseProject(crlf).Entries.back().Path, saved.Entries.back().Path);
}

void TProjectTest::brokenAndForeignFilesAreRefusedWithTheLine() {
    const std::string head = "[Project]\nFormat=1\n[Options]\n";
    QCOMPARE(Refusal(""), QString("this is not a Kestrel project: it has no [Project] Format line @ 0"));
    QCOMPARE(Refusal("\x7f" "ELF\x02\x01"), QString("this is not a Kestrel project: it does not begin with [Project] @ 1"));
    QCOMPARE(Refusal("[Options]\nJolietFS=1\n"),
             QString("this is not a Kestrel project: it does not begin with [Project] @ 1"));
    QCOMPARE(Refusal("[Project]\nFormat=2\n"),
             QString("this project was saved by a newer Kestrel (project format 2); this version reads format 1 @ 2"));
    QCOMPARE(Refusal("[Project]\nFormat=one\n"), QString("Format must be a whole number from 1 to 1000000, not \"one\" @ 2"));
    QCOMPARE(Refusal(head + "JolietFS=yes\n"), QString("JolietFS must be 0 or 1, not \"yes\" @ 4"));
    QCOMPARE(Refusal(head + "SessionNo=200\n"),
             QString("SessionNo must be a whole number from -128 to 127, not \"200\" @ 4"));
    QCOMPARE(Refusal(head + "BootLoadSize=65536\n"),
             QString("BootLoadSize must be a whole number from 0 to 65535, not \"65536\" @ 4"));
    QCOMPARE(Refusal(head + "SavePath=sideways\n"),
             QString("SavePath must be Checked, Grayed or Unchecked, not \"sideways\" @ 4"));
    QCOMPARE(Refusal(head + "\n[Sources]\nSource=/no/flag\n"),
             QString("a Source line must be \"R <path>\" or \"- <path>\" @ 6"));
    QCOMPARE(Refusal(head + "[Sources]\nSource=R /ends/in\\\n"), QString("a value ends in a lone backslash @ 5"));
    QCOMPARE(Refusal(head + "[Sources]\nSource=R /bad\\q\n"), QString("unknown escape \\q @ 5"));
    QCOMPARE(Refusal(head + "just words\n"), QString("expected Key=Value @ 4"));
    QCOMPARE(Refusal("[Project\n"), QString("a section header must end in \"]\" @ 1"));
    // A missing file is an error too, not an empty project.
    bool refused = false;
    try {
        LoadProjectFile("/no/such/project.kestrel");
    } catch (const TProjectError& e) {
        refused = std::string(e.what()).find("/no/such/project.kestrel") != std::string::npos;
    }
    QVERIFY(refused);
}

void TProjectTest::laterKeysAreSkippedAndCommentsAllowed() {
    const TProject project = ParseProject(
        "# saved by a later Kestrel of the same format\n[Project]\nFormat=1\nSavedBy=someone\n\n"
        "[Options]\n; a comment\nRockRidge=1\nVolumeLabel= LABEL \n[Extras]\nWhatever=1\n"
        "[Sources]\nSource=R /a/\nOther=x\n");
    QCOMPARE(project.Options.VolumeLabel, std::string(" LABEL "));
    QVERIFY(project.Options.JolietFS);  // missing keys keep their defaults
    // A project from before the boot choices boots as it did: emulated, no UEFI.
    QVERIFY(!project.Options.BootNoEmulation && !project.Options.UefiBoot);
    QCOMPARE(project.Entries.size(), size_t(1));
    QCOMPARE(project.Entries[0].Path, std::string("/a/"));
}

void TProjectTest::recentListIsNewestFirstWithoutDuplicates() {
    TTempDir dir;
    TRecentProjects recent(QString::fromStdString((dir.Path() / "state.ini").string()));
    QVERIFY(recent.Files().isEmpty());
    for (int i = 0; i < TRecentProjects::kMaxFiles + 3; ++i) recent.Add(QStringLiteral("/p/%1.kestrel").arg(i));
    recent.Add(QStringLiteral("/p/5.kestrel"));
    const QStringList files = recent.Files();
    QCOMPARE(files.size(), TRecentProjects::kMaxFiles);
    QCOMPARE(files.first(), QString("/p/5.kestrel"));
    QCOMPARE(files.at(1), QString("/p/10.kestrel"));
    QCOMPARE(files.count("/p/5.kestrel"), 1);
    recent.Remove(QStringLiteral("/p/5.kestrel"));
    QCOMPARE(recent.Files().first(), QString("/p/10.kestrel"));
}

QTEST_MAIN(TProjectTest)
#include "test_project.moc"
