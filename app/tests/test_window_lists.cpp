// Filling the compilation list in the window without dragging: the file
// dialogs of "Add files…" and "Add folder…", the list's context menu, Del,
// and the browser's double click and Enter.
#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QTimer>
#include <QToolBar>

#include "app/BrowserLists.h"
#include "app/CompilationActions.h"
#include "app/CompilationList.h"
#include "app/FileBrowser.h"
#include "app/tests/DialogTestSupport.h"
#include "app/tests/WindowTestSupport.h"

using namespace kestrel::app;
using namespace kestrel::test;

namespace {

QString Q(const std::string& S) { return QString::fromStdString(S); }

QStringList Paths(const TForm1& W) {
    QStringList paths;
    for (const kestrel::TListEntry& entry : W.clBox->Entries())
        paths << Q(entry.Path) + (entry.Recursive ? " [R]" : "");
    return paths;
}

// The captions of the context menu the list opens, read while it is up.
QStringList ContextMenuOf(QWidget* List) {
    QStringList captions;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                if (!action->isSeparator()) captions << action->text();
            menu->close();
        }
    });
    poll.start();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5), List->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(List, &event);
    return captions;
}

std::unique_ptr<TForm1> ActiveWindow() {
    auto window = ShowWindow();
    QApplication::setActiveWindow(window.get());
    if (!QTest::qWaitForWindowActive(window.get())) return nullptr;
    return window;
}

}  // namespace

class TWindowListsTest : public QObject {
    Q_OBJECT
private slots:
    void addFilesAndFolderThroughTheDialogs();
    void listMenuOffersAddAndRemoveAndDelRemoves();
    void browserDoubleClickAndEnterAdd();
};

void TWindowListsTest::addFilesAndFolderThroughTheDialogs() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/a.txt"), "a");
    WriteFile(env.Sub("src/b c.txt"), "b");
    WriteFile(env.Sub("src/folder/inside.txt"), "i");
    auto window = ShowWindow();
    QVERIFY(window->pDrivesDir->GoTo(Q(env.Sub("src"))));
    // The chooser opens where the browser is; two files typed as a user would.
    QString startedIn;
    AnswerDialogOf<QFileDialog>([&](QFileDialog* chooser) {
        startedIn = chooser->directory().absolutePath();
        ChooseInFileDialog(chooser, "\"a.txt\" \"b c.txt\"");
    });
    window->ListActions()->AddFilesAction()->trigger();
    QCOMPARE(startedIn, Q(env.Sub("src")));
    QCOMPARE(Paths(*window), QStringList({Q(env.Sub("src/a.txt")), Q(env.Sub("src/b c.txt"))}));
    // A folder goes in as a dropped one does: with its subfolders.
    AnswerDialogOf<QFileDialog>([&](QFileDialog* chooser) { ChooseInFileDialog(chooser, Q(env.Sub("src/folder"))); });
    window->ListActions()->AddFolderAction()->trigger();
    QCOMPARE(Paths(*window).last(), Q(env.Sub("src/folder/")) + " [R]");
    // Cancel adds nothing.
    AnswerDialogOf<QFileDialog>([](QFileDialog* chooser) { chooser->reject(); });
    window->ListActions()->AddFilesAction()->trigger();
    QCOMPARE(window->clBox->EntryCount(), 3);
    // The tool bar above the list carries both, and Remove.
    auto* bar = window->findChild<QToolBar*>("tbList");
    QVERIFY(bar);
    QCOMPARE(bar->actions().size(), 3);
    QCOMPARE(bar->actions().at(0)->text(), QString("Add files\u2026"));
    QCOMPARE(bar->actions().at(1)->text(), QString("Add folder\u2026"));
    QCOMPARE(bar->actions().at(2)->text(), QString("Remove"));
}

void TWindowListsTest::listMenuOffersAddAndRemoveAndDelRemoves() {
    TAppTestEnv env;
    auto window = ActiveWindow();
    QVERIFY(window);
    window->AddSources({"/a", "/b", "/c"});
    window->clBox->setFocus();
    window->clBox->topLevelItem(0)->setSelected(true);
    window->clBox->topLevelItem(2)->setSelected(true);
    QTest::keyClick(window->clBox, Qt::Key_Delete);
    QCOMPARE(Paths(*window), QStringList({"/b"}));
    QCOMPARE(ContextMenuOf(window->clBox->viewport()),
             QStringList({"Add files\u2026", "Add folder\u2026", "Remove"}));
}

void TWindowListsTest::browserDoubleClickAndEnterAdd() {
    TAppTestEnv env;
    WriteFile(env.Sub("src/one.txt"), "1");
    WriteFile(env.Sub("src/two.txt"), "2");
    WriteFile(env.Sub("src/sub/three.txt"), "3");
    auto window = ActiveWindow();
    QVERIFY(window);
    QVERIFY(window->pDrivesDir->GoTo(Q(env.Sub("src"))));
    // Enter on the selected files adds them, as dragging them would.
    window->lbFiles->setFocus();
    window->lbFiles->selectAll();
    QTest::keyClick(window->lbFiles, Qt::Key_Return);
    QCOMPARE(Paths(*window), QStringList({Q(env.Sub("src/one.txt")), Q(env.Sub("src/two.txt"))}));
    // A double click on a folder of the tree adds the folder.
    QTreeWidgetItem* sub = window->lbDir->currentItem()->child(0);
    window->lbDir->setCurrentItem(sub);
    const QPoint at = window->lbDir->visualItemRect(sub).center();
    // As the window system delivers it: press, release, double click.
    QTest::mouseClick(window->lbDir->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(window->lbDir->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(Paths(*window).last(), Q(env.Sub("src/sub/")) + " [R]");
    // Enter on the tree adds the chosen folder too.
    window->lbDir->setFocus();
    QTest::keyClick(window->lbDir, Qt::Key_Enter);
    QCOMPARE(window->clBox->EntryCount(), 4);
}

QTEST_MAIN(TWindowListsTest)
#include "test_window_lists.moc"
