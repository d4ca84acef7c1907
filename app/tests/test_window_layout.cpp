// The disc layout viewer opened by Burn when "Show files before burning" is
// set: what it lists, the deletions in its grid and tree, and that the burn
// that follows writes exactly what was left.
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "app/CompilationList.h"
#include "app/dialogs/DiscLayoutDialog.h"
#include "app/tests/DialogTestSupport.h"
#include "burner/iso/DateTime.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

QString Q(const std::string& S) { return QString::fromStdString(S); }

int RowOf(QTableWidget* Grid, const QString& Name) {
    for (int r = 0; r < Grid->rowCount(); ++r)
        if (Grid->item(r, 0) && Grid->item(r, 0)->text() == Name) return r;
    return -1;
}

QStringList Column(QTableWidget* Grid, int Column) {
    QStringList cells;
    for (int r = 0; r < Grid->rowCount(); ++r) cells << (Grid->item(r, Column) ? Grid->item(r, Column)->text() : "");
    return cells;
}

QStringList TreeCaptions(QTreeWidget* Tree) {
    QStringList captions;
    for (QTreeWidgetItemIterator it(Tree); *it; ++it) captions << (*it)->text(0);
    return captions;
}

QTreeWidgetItem* NodeNamed(QTreeWidget* Tree, const QString& Name) {
    const auto found = Tree->findItems(Name, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

// Presses Key in Widget, the way the context menus' shortcuts are reached.
void Press(QWidget* Widget, Qt::Key Key) {
    Widget->setFocus();
    QTest::keyClick(Widget, Key);
}

}  // namespace

class TLayoutDialogTest : public QObject {
    Q_OBJECT
private slots:
    void deletionsInGridAndTreeChangeTheBurn();
    void dateFormat();
};

void TLayoutDialogTest::deletionsInGridAndTreeChangeTheBurn() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/keep.txt"), "kept\n");
    WriteFile(env.Sub("src/drop.txt"), "dropped\n");
    WriteFile(env.Sub("src/dirA/x.txt"), std::string(5000, 'x'));
    WriteFile(env.Sub("src/dirB/y.txt"), "y\n");
    auto window = ShowWindow();
    window->Options.ShowFiles = true;
    window->SetSavePathState(kestrel::TSavePathState::Unchecked);
    window->AddSources({Q(env.Sub("src"))});

    struct {
        bool Seen = false;
        QString Title;
        QStringList Header, RootTree, RootNames, RootSizes, RootDates, AfterTreeDelete, DirAAfterDelete;
        bool DirMessageOnly = false, RootKept = false, EmptyGridOneRow = false, Shot = false;
        QString DirMessage;
    } seen;
    AnswerDialogOf<TfrmDiscLayout>([&](TfrmDiscLayout* d) {
        seen.Seen = true;
        seen.Title = d->windowTitle();
        for (int c = 0; c < d->fl->columnCount(); ++c) seen.Header << d->fl->horizontalHeaderItem(c)->text();
        seen.RootTree = TreeCaptions(d->tvDir);
        seen.RootNames = Column(d->fl, 0);
        seen.RootSizes = Column(d->fl, 1);
        seen.RootDates = Column(d->fl, 2);
        seen.Shot = SaveScreenshot(d, "kestrel-dialog-layout.png");
        // Del on a directory row only brings the message.
        d->fl->setCurrentCell(RowOf(d->fl, "dirA"), 0);
        auto message = PressOnNextBox(QMessageBox::Ok);
        Press(d->fl, Qt::Key_Delete);
        seen.DirMessage = message->Text;
        seen.DirMessageOnly = RowOf(d->fl, "dirA") >= 0;
        // Del on a file row takes the file out.
        d->fl->setCurrentCell(RowOf(d->fl, "drop.txt"), 0);
        Press(d->fl, Qt::Key_Delete);
        // Del in the tree takes a directory out; F5 shows the tree again.
        d->tvDir->setCurrentItem(NodeNamed(d->tvDir, "dirB"));
        Press(d->tvDir, Qt::Key_Delete);
        Press(d->tvDir, Qt::Key_F5);
        seen.AfterTreeDelete = TreeCaptions(d->tvDir);
        seen.RootKept = d->tvDir->currentItem() == d->tvDir->topLevelItem(0);
        // The last file of a directory: the directory stays, its grid is empty.
        d->tvDir->setCurrentItem(NodeNamed(d->tvDir, "dirA"));
        d->fl->setCurrentCell(RowOf(d->fl, "x.txt"), 0);
        d->MenuItem1Click();
        seen.DirAAfterDelete = TreeCaptions(d->tvDir);
        seen.EmptyGridOneRow = d->fl->rowCount() == 1 && !d->fl->item(0, 0);
        // The burn goes on once the dialog is closed.
        PressOnNextBox(QMessageBox::Yes);
        d->bClose->click();
    });
    window->bBurn->click();
    QTRY_VERIFY(seen.Seen);
    QVERIFY(seen.Shot);
    QCOMPARE(seen.Title, QString("Remove files or directories"));
    QCOMPARE(seen.Header, QStringList({"File Name", "File Size", "    Date & Time "}));
    QCOMPARE(seen.RootTree.first(), QString("CDROOT"));
    QVERIFY(seen.RootTree.contains("dirA") && seen.RootTree.contains("dirB"));
    const qsizetype keep = seen.RootNames.indexOf("keep.txt");
    QVERIFY(keep >= 0);
    QCOMPARE(seen.RootSizes[keep], QString("        5"));
    // The locale's date with a four-digit year, and seconds.
    QVERIFY2(QRegularExpression("\\d{4}.*\\d:\\d\\d:\\d\\d").match(seen.RootDates[keep]).hasMatch(),
             qPrintable(seen.RootDates[keep]));
    const qsizetype dirA = seen.RootNames.indexOf("dirA");
    QCOMPARE(seen.RootSizes[dirA], QString(" < DIR > "));
    QCOMPARE(seen.RootDates[dirA], QString());
    QCOMPARE(seen.DirMessage, QString("You can not delete directory, dirA is a directory, use tree view to delete directory"));
    QVERIFY(seen.DirMessageOnly);
    QVERIFY(!seen.AfterTreeDelete.contains("dirB"));
    QCOMPARE(seen.AfterTreeDelete.first(), QString("CDROOT"));
    QVERIFY(seen.RootKept);
    QVERIFY(seen.DirAAfterDelete.contains("dirA"));
    QVERIFY(seen.EmptyGridOneRow);

    QVERIFY(WaitForLogLine(*window, ">>> WRITE/BURNCD PROCESS DONE"));
    QVERIFY(!LogLines(*window).contains(">>> WRITE/BURNCD PROCESS DONE WITH ERROR"));
    const std::string image = env.Sub("dump.iso");
    QCOMPARE(RunVDriveTool("dump --drive 0 -o " + image), 0);
    const std::string listing = ShellOutput("isoinfo -f -J -i " + image);
    QVERIFY2(listing.find("/keep.txt") != std::string::npos, listing.c_str());
    for (const char* gone : {"drop.txt", "dirB", "y.txt", "x.txt"})
        QVERIFY2(listing.find(gone) == std::string::npos, listing.c_str());
    // Only this burn changed: the list and the sources are as they were.
    QCOMPARE(window->clBox->EntryCount(), 1);
    QVERIFY(std::filesystem::exists(env.Sub("src/drop.txt")));
    QVERIFY(std::filesystem::exists(env.Sub("src/dirB/y.txt")));
}

void TLayoutDialogTest::dateFormat() {
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(LayoutDateTime(kestrel::EncodeDateTime({2005, 12, 31, 23, 59, 58}), german), QString("31.12.2005 23:59:58"));
    QCOMPARE(LayoutDateTime(kestrel::EncodeDateTime({1999, 1, 2, 3, 4, 5}), german), QString("02.01.1999 03:04:05"));
}

QTEST_MAIN(TLayoutDialogTest)
#include "test_window_layout.moc"
