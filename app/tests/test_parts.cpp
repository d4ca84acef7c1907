// The window's parts on their own: shell drops, the compilation list, the
// file browser, network paths, the log and dates.
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <thread>

#include "app/BrowserLists.h"
#include "app/CompilationList.h"
#include "app/DragMarker.h"
#include "app/DateText.h"
#include "app/ExDragDrop.h"
#include "app/FileBrowser.h"
#include "app/LogChannel.h"
#include "app/LogView.h"
#include "app/NetworkPath.h"
#include "app/tests/AppTestSupport.h"

using namespace kestrel::app;
using kestrel::test::AnswerNextDialog;
using kestrel::test::TTempDir;
using kestrel::test::WriteFile;

namespace {

QMimeData* ShellData(const QStringList& Paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : Paths) urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

// Delivers a drop to a widget (an item view's viewport) as the window system would.
bool Drop(QWidget* Target, QMimeData* Data) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Target, &drop);
    return drop.isAccepted();
}

QString Dir(const TTempDir& T) { return QString::fromStdString(T.Path().string()); }

// A double click as the window system delivers it: press, release, double click.
void DoubleClick(QWidget* Target, QPoint At) {
    QTest::mouseClick(Target, Qt::LeftButton, Qt::NoModifier, At);
    QTest::mouseDClick(Target, Qt::LeftButton, Qt::NoModifier, At);
}

}  // namespace

class TPartsTest : public QObject {
    Q_OBJECT
private slots:
    void shellDropGivesItemsInOrderOnce();
    void browserDragsBypassShellDrop();
    void detachedControlTakesNoDrops();
    void listSizesAndOrder();
    void listRemovesSelectedEntriesOnly();
    void browserHidesDotFilesUnlessAskedAndJoinsPaths();
    void browserFollowsFolderChangesAndRefresh();
    void browserAsksToAddOnDoubleClickAndEnter();
    void browserRefusesPathItCannotOpen();
    void networkSharesAreFoundWhereMounted();
    void browserDragDataNamesItsList();
    void logLinesKeepTheirOrderAcrossThreads();
    void logShowsDeviceLinesOnlyWhenAsked();
    void datesFollowTheLocale();
};

void TPartsTest::shellDropGivesItemsInOrderOnce() {
    TCompilationList list;
    TExDragDrop drops;
    drops.SetControl(&list);
    int calls = 0;
    int32_t lastCount = -1;
    drops.OnDropped = [&](TExDragDrop* sender, int32_t count) {
        QCOMPARE(sender, &drops);
        ++calls;
        lastCount = count;
    };
    std::unique_ptr<QMimeData> first(ShellData({"/c/one", "/a/two", "/b/three"}));
    QVERIFY(Drop(list.viewport(), first.get()));
    QCOMPARE(calls, 1);
    QCOMPARE(lastCount, 3);
    QCOMPARE(drops.Items(), QStringList({"/c/one", "/a/two", "/b/three"}));
    std::unique_ptr<QMimeData> second(ShellData({"/x"}));
    QVERIFY(Drop(list.viewport(), second.get()));
    QCOMPARE(calls, 2);
    QCOMPARE(drops.Items(), QStringList({"/x"}));
    // A network share from a file manager becomes the "//host/share" form.
    auto smb = std::make_unique<QMimeData>();
    smb->setUrls({QUrl("smb://server/share/dir/f.txt")});
    QVERIFY(Drop(list.viewport(), smb.get()));
    QCOMPARE(drops.Items(), QStringList({"//server/share/dir/f.txt"}));
    // Paths longer than the old 2048-character limit arrive whole.
    const QString longPath = "/" + QString(3000, 'a');
    std::unique_ptr<QMimeData> longData(ShellData({longPath}));
    QVERIFY(Drop(list.viewport(), longData.get()));
    QCOMPARE(drops.Items().at(0), longPath);
}

void TPartsTest::browserDragsBypassShellDrop() {
    TCompilationList list;
    TExDragDrop drops;
    drops.SetControl(&list);
    int shellDrops = 0;
    QStringList browserDrops;
    drops.OnDropped = [&](TExDragDrop*, int32_t) { ++shellDrops; };
    list.OnBrowserDrop = [&](const QString& source) { browserDrops << source; };
    std::unique_ptr<QMimeData> fromFiles(BrowserDragData("lbFiles", {"/tmp/a"}));
    QVERIFY(Drop(list.viewport(), fromFiles.get()));
    std::unique_ptr<QMimeData> fromDirs(BrowserDragData("lbDir", {"/tmp"}));
    QVERIFY(Drop(list.viewport(), fromDirs.get()));
    QCOMPARE(shellDrops, 0);
    QCOMPARE(browserDrops, QStringList({"lbFiles", "lbDir"}));
    // A drag of another list, or of another running copy, is refused.
    std::unique_ptr<QMimeData> other(BrowserDragData("clBox", {"/tmp/a"}));
    QVERIFY(!Drop(list.viewport(), other.get()));
    auto foreign = std::make_unique<QMimeData>();
    foreign->setData(kBrowserDragFormat, "lbFiles:1");
    QVERIFY(!Drop(list.viewport(), foreign.get()));
    auto text = std::make_unique<QMimeData>();
    text->setText("plain text");
    QVERIFY(!Drop(list.viewport(), text.get()));
    QCOMPARE(browserDrops.size(), 2);
}

void TPartsTest::detachedControlTakesNoDrops() {
    TCompilationList list;
    int calls = 0;
    {
        TExDragDrop drops;
        drops.OnDropped = [&](TExDragDrop*, int32_t) { ++calls; };
        drops.SetControl(&list);
        drops.SetControl(nullptr);
        std::unique_ptr<QMimeData> data(ShellData({"/a"}));
        QVERIFY(!Drop(list.viewport(), data.get()));
        drops.SetControl(&list);
    }
    // The component is gone; the list still works and nothing reaches the old handler.
    std::unique_ptr<QMimeData> data(ShellData({"/a"}));
    QVERIFY(!Drop(list.viewport(), data.get()));
    QCOMPARE(calls, 0);
}

void TPartsTest::listSizesAndOrder() {
    TTempDir tree;
    WriteFile(tree / "d/a.bin", std::string(1500, 'x'));
    WriteFile(tree / "d/sub/b.bin", std::string(2500, 'y'));
    WriteFile(tree / "empty.txt", "");
    TCompilationList list;
    list.SetSizeFunction([](const std::string& path) -> int64_t {
        std::error_code ec;
        if (!std::filesystem::is_directory(path)) return std::filesystem::file_size(path, ec);
        int64_t total = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(path))
            if (e.is_regular_file()) total += static_cast<int64_t>(e.file_size());
        return total;
    });
    list.AddEntry(Dir(tree) + "/d/", true);
    list.AddEntry(Dir(tree) + "/empty.txt", false);
    list.AddEntry(Dir(tree) + "/d/", false);
    QTRY_VERIFY_WITH_TIMEOUT(!list.CountingSizes(), 5000);
    QCOMPARE(list.topLevelItem(0)->text(TCompilationList::colSize), QString("4,000"));
    QCOMPARE(list.topLevelItem(1)->text(TCompilationList::colSize), QString());  // empty file: empty cell
    QCOMPARE(list.EntrySize(0), int64_t(4000));
    const auto entries = list.Entries();
    QCOMPARE(entries.size(), size_t(3));
    QCOMPARE(entries[0].Path, Dir(tree).toStdString() + "/d/");
    QVERIFY(entries[0].Recursive);
    QVERIFY(!entries[1].Recursive);
    QVERIFY(!entries[2].Recursive);
    // The user may change the "R" box.
    list.topLevelItem(2)->setCheckState(TCompilationList::colR, Qt::Checked);
    QVERIFY(list.Entries()[2].Recursive);
}

void TPartsTest::listRemovesSelectedEntriesOnly() {
    TCompilationList list;
    list.AddEntry("/a", false);
    list.AddEntry("/b", false);
    list.AddEntry("/c", false);
    list.Remove1Click();
    QCOMPARE(list.EntryCount(), 3);  // nothing selected: nothing removed
    list.show();
    QApplication::setActiveWindow(&list);
    QVERIFY(QTest::qWaitForWindowActive(&list));
    list.setCurrentItem(list.topLevelItem(0));
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(list.EntryCount(), 2);
    QCOMPARE(list.Entries()[0].Path, std::string("/b"));
    // Del takes every selected entry.
    QSignalSpy edited(&list, &TCompilationList::Edited);
    list.selectAll();
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(list.EntryCount(), 0);
    QVERIFY(edited.count() >= 1);
}

void TPartsTest::browserHidesDotFilesUnlessAskedAndJoinsPaths() {
    TTempDir tree;
    WriteFile(tree / "top/.hidden", "h");
    WriteFile(tree / "top/Visible.txt", std::string(2048, 'v'));
    WriteFile(tree / "top/inner/deep.txt", "d");
    WriteFile(tree / "top/.config/c.txt", "c");
    TFileBrowser browser;
    QVERIFY(browser.GoTo(Dir(tree) + "/top"));
    QCOMPARE(browser.CurrentDirectory(), Dir(tree) + "/top");
    QCOMPARE(browser.DirList()->CurrentDirectory(), Dir(tree) + "/top");
    TFileList* files = browser.FileList();
    // Dot files and folders stay out of sight by default.
    QCOMPARE(files->Names(), QStringList({"Visible.txt"}));
    QTreeWidgetItem* current = browser.DirList()->currentItem();
    QCOMPARE(current->childCount(), 1);
    // Each file shows its size and date.
    QCOMPARE(files->topLevelItem(0)->text(TFileList::colSize), QLocale().formattedDataSize(2048));
    QVERIFY(!files->topLevelItem(0)->text(TFileList::colDate).isEmpty());
    // Asked for, they show, in the tree too, and the place is kept.
    browser.ShowHiddenAction()->trigger();
    QVERIFY(browser.ShowHidden());
    QCOMPARE(browser.CurrentDirectory(), Dir(tree) + "/top");
    QCOMPARE(files->Names(), QStringList({".hidden", "Visible.txt"}));
    QCOMPARE(browser.DirList()->currentItem()->childCount(), 2);
    files->topLevelItem(0)->setSelected(true);
    files->topLevelItem(1)->setSelected(true);
    QCOMPARE(files->SelectedPaths(), QStringList({Dir(tree) + "/top/.hidden", Dir(tree) + "/top/Visible.txt"}));
    // Choosing a directory in the tree lists its files.
    current = browser.DirList()->currentItem();
    browser.DirList()->setCurrentItem(current->child(1));
    QCOMPARE(files->Directory(), Dir(tree) + "/top/inner");
    QCOMPARE(files->Names(), QStringList({"deep.txt"}));
    QCOMPARE(JoinPath("/", "x"), QString("/x"));
    QCOMPARE(JoinPath("/a", "x"), QString("/a/x"));
    // The place selector always offers the root and the home folder.
    QCOMPARE(browser.DriveCB()->itemData(0).toString(), QString("/"));
}

void TPartsTest::browserFollowsFolderChangesAndRefresh() {
    TTempDir tree;
    WriteFile(tree / "here/old.txt", "o");
    TFileBrowser browser;
    QVERIFY(browser.GoTo(Dir(tree) + "/here"));
    QCOMPARE(browser.FileList()->Names(), QStringList({"old.txt"}));
    // A file and a folder appear on their own; a removed file goes.
    WriteFile(tree / "here/new.txt", "n");
    std::filesystem::create_directory(tree / "here/sub");
    QTRY_COMPARE(browser.FileList()->Names(), QStringList({"new.txt", "old.txt"}));
    QTRY_COMPARE(browser.DirList()->currentItem()->childCount(), 1);
    std::filesystem::remove(tree / "here/old.txt");
    QTRY_COMPARE(browser.FileList()->Names(), QStringList({"new.txt"}));
    // Refresh (F5) lists again by hand, and keeps the place; a folder that
    // is gone gives way to the nearest one still there.
    browser.RefreshAction()->trigger();
    QCOMPARE(browser.CurrentDirectory(), Dir(tree) + "/here");
    QCOMPARE(browser.RefreshAction()->shortcut(), QKeySequence(Qt::Key_F5));
    QVERIFY(browser.GoTo(Dir(tree) + "/here/sub"));
    std::filesystem::remove(tree / "here/sub");
    browser.Refresh();
    QCOMPARE(browser.CurrentDirectory(), Dir(tree) + "/here");
}

void TPartsTest::browserAsksToAddOnDoubleClickAndEnter() {
    TTempDir tree;
    WriteFile(tree / "d/a.txt", "a");
    WriteFile(tree / "d/b.txt", "b");
    TFileBrowser browser;
    browser.show();
    QApplication::setActiveWindow(&browser);
    QVERIFY(QTest::qWaitForWindowActive(&browser));
    QVERIFY(browser.GoTo(Dir(tree) + "/d"));
    QSignalSpy asked(&browser, &TFileBrowser::AddRequested);
    TFileList* files = browser.FileList();
    files->setFocus();
    files->topLevelItem(1)->setSelected(true);
    QTest::keyClick(files, Qt::Key_Return);
    QCOMPARE(asked.count(), 1);
    const QRect row = files->visualItemRect(files->topLevelItem(0));
    DoubleClick(files->viewport(), row.center());
    QCOMPARE(asked.count(), 2);
    TDirTree* dirs = browser.DirList();
    dirs->setFocus();
    QTest::keyClick(dirs, Qt::Key_Enter);
    QCOMPARE(asked.count(), 3);
    QCOMPARE(asked.at(0).at(0).toString(), QString("lbFiles"));
    QCOMPARE(asked.at(1).at(0).toString(), QString("lbFiles"));
    QCOMPARE(asked.at(2).at(0).toString(), QString("lbDir"));
    // A double click on a folder adds it rather than folding it.
    const bool open = dirs->currentItem()->isExpanded();
    DoubleClick(dirs->viewport(), dirs->visualItemRect(dirs->currentItem()).center());
    QCOMPARE(asked.count(), 4);
    QCOMPARE(dirs->currentItem()->isExpanded(), open);
    // Enter with nothing selected asks for nothing.
    files->clearSelection();
    files->setFocus();
    QTest::keyClick(files, Qt::Key_Return);
    QCOMPARE(asked.count(), 4);
}

void TPartsTest::browserRefusesPathItCannotOpen() {
    TTempDir tree;
    WriteFile(tree / "here/f.txt", "f");
    TFileBrowser browser;
    QVERIFY(browser.GoTo(Dir(tree) + "/here"));
    bool told = false;
    AnswerNextDialog([&](QWidget* dialog) {
        told = qobject_cast<QMessageBox*>(dialog) != nullptr;
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) told = box->text().contains("//nohost/share");
        dialog->close();
    });
    QVERIFY(!browser.GoTo("//nohost/share"));
    QVERIFY(told);
    QCOMPARE(browser.CurrentDirectory(), Dir(tree) + "/here");
    // The "Network" button asks for the path and goes there.
    AnswerNextDialog([&](QWidget* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        QVERIFY(input);
        QCOMPARE(input->windowTitle(), QString("Network Path"));
        QVERIFY2(input->labelText().startsWith("Enter Complete Network path (a mounted share"),
                 qPrintable(input->labelText()));
        input->setTextValue(Dir(tree));
        input->accept();
    });
    browser.bNetworkClick();
    QCOMPARE(browser.CurrentDirectory(), Dir(tree));
    // A Windows share name that is mounted nowhere is explained, not tried.
    QString told2;
    AnswerNextDialog([&](QWidget* dialog) {
        if (auto* input = qobject_cast<QInputDialog*>(dialog)) {
            input->setTextValue("\\\\nohost\\share");
            input->accept();
            AnswerNextDialog([&](QWidget* box) {
                if (auto* message = qobject_cast<QMessageBox*>(box)) told2 = message->text();
                box->close();
            });
        }
    });
    browser.bNetworkClick();
    QTRY_VERIFY(!told2.isEmpty());
    QVERIFY2(told2.contains("//nohost/share is not mounted"), qPrintable(told2));
    QCOMPARE(browser.CurrentDirectory(), Dir(tree));
}

void TPartsTest::networkSharesAreFoundWhereMounted() {
    TTempDir tree;
    std::filesystem::create_directories(tree / "gvfs/smb-share:server=nas,share=photos/2024");
    const QList<TMountedShare> mounts = {{"//Server/Backup", "/mnt/backup"}, {"nfshost:/export/home", "/mnt/home"}};
    const QString gvfs = Dir(tree) + "/gvfs";
    QCOMPARE(ResolveNetworkPath("\\\\server\\backup\\2024\\jan", mounts, gvfs).Path, QString("/mnt/backup/2024/jan"));
    QCOMPARE(ResolveNetworkPath("smb://SERVER/Backup", mounts, gvfs).Path, QString("/mnt/backup"));
    QCOMPARE(ResolveNetworkPath("//server/backup/x", mounts, gvfs).Path, QString("/mnt/backup/x"));
    QCOMPARE(ResolveNetworkPath("\\\\NAS\\Photos\\2024", mounts, gvfs).Path,
             Dir(tree) + "/gvfs/smb-share:server=nas,share=photos/2024");
    QCOMPARE(ResolveNetworkPath("nfshost:/export/home/me", mounts, gvfs).Path, QString("/mnt/home/me"));
    QCOMPARE(ResolveNetworkPath("  /mnt/anything ", mounts, gvfs).Path, QString("/mnt/anything"));
    const TNetworkPath missing = ResolveNetworkPath("\\\\other\\c", mounts, gvfs);
    QVERIFY(missing.Path.isEmpty());
    QVERIFY2(missing.Error.contains("sudo mount -t cifs //other/c /mnt/c"), qPrintable(missing.Error));
    QVERIFY(!ResolveNetworkPath("elsewhere:/x", mounts, gvfs).Error.isEmpty());
}

void TPartsTest::browserDragDataNamesItsList() {
    std::unique_ptr<QMimeData> data(BrowserDragData("lbFiles", {"/a b/c"}));
    QCOMPARE(BrowserDragSource(data.get()), QString("lbFiles"));
    QCOMPARE(data->urls().at(0).toLocalFile(), QString("/a b/c"));
    QVERIFY(!TExDragDrop::IsShellDrop(data.get()));
    std::unique_ptr<QMimeData> shell(ShellData({"/a"}));
    QVERIFY(TExDragDrop::IsShellDrop(shell.get()));
    QCOMPARE(BrowserDragSource(shell.get()), QString());
}

void TPartsTest::logLinesKeepTheirOrderAcrossThreads() {
    QStringList shown;
    TLogChannel channel([&](const QString& line, uint8_t) { shown << line; });
    std::thread worker([&] {
        for (int i = 0; i < 500; ++i) channel.Add(QString("w%1").arg(i));
    });
    worker.join();
    QVERIFY(shown.isEmpty());  // worker lines wait for the GUI thread
    channel.Add("gui");        // shows every waiting line first
    QCOMPARE(shown.size(), 501);
    QCOMPARE(shown.first(), QString("w0"));
    QCOMPARE(shown.at(499), QString("w499"));
    QCOMPARE(shown.last(), QString("gui"));
    std::thread([&] { channel.Add("late"); }).join();
    QTRY_COMPARE(shown.last(), QString("late"));
    QCOMPARE(shown.size(), 502);
}

void TPartsTest::logShowsDeviceLinesOnlyWhenAsked() {
    TLogView log;
    const QString failed = "<<< READ (10) (28) {48|0A} - 0:1:0 <04> [00800] 00 00 00 10 ... ASC:64,ASQ:00 ILLEGAL MODE";
    log.AppendLine(">>> STARTING");
    log.AppendLine(failed);
    log.AppendLine(">>> DONE");
    QCOMPARE(log.Lines(), QStringList({">>> STARTING", ">>> DONE"}));
    QCOMPARE(log.AllLines(), QStringList({">>> STARTING", failed, ">>> DONE"}));
    log.ShowDeviceAction()->trigger();
    QCOMPARE(log.Lines(), QStringList({">>> STARTING", failed, ">>> DONE"}));
    log.AppendLine(failed);
    QCOMPARE(log.Lines().size(), 4);
    log.SetShowDeviceLines(false);
    QVERIFY(!log.ShowDeviceAction()->isChecked());
    QCOMPARE(log.Lines(), QStringList({">>> STARTING", ">>> DONE"}));
    // Clear Log empties what is kept too.
    log.ClearAction()->trigger();
    log.SetShowDeviceLines(true);
    QVERIFY(log.Lines().isEmpty());
}

void TPartsTest::datesFollowTheLocale() {
    const QDateTime when(QDate(2005, 12, 31), QTime(23, 59, 58));
    QCOMPARE(LocalDateTimeText(when, QLocale(QLocale::German, QLocale::Germany)), QString("31.12.2005 23:59:58"));
    QCOMPARE(LocalDateTimeText(when, QLocale(QLocale::English, QLocale::UnitedStates)),
             QString("12/31/2005 11:59:58 PM"));
    QCOMPARE(LocalDateTimeText(when, QLocale(QLocale::English, QLocale::UnitedKingdom)), QString("31/12/2005 23:59:58"));
}

QTEST_MAIN(TPartsTest)
#include "test_parts.moc"
