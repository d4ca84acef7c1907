#pragma once
// "Remove files or directories": the compilation of the burn about to start,
// as a directory tree and the entries of the selected directory; files and
// whole directories can be taken out of this burn. Nothing on disk and
// nothing in the main window's list changes.
#include <QDialog>
#include <QLocale>
#include <QKeySequence>
#include <QString>

#include <vector>

#include "burner/iso/Entries.h"

class QAction;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace kestrel {
class TCompilation;
}

namespace kestrel::app {

class TfrmDiscLayout : public QDialog {
    Q_OBJECT
public:
    TfrmDiscLayout(QWidget* Parent, TCompilation& Compilation);

    void FormShow();
    void tvdirClick();
    void MenuItem1Click();  // Delete in the grid
    void Delete1Click();    // Delete in the tree
    void Refresh1Click();

    // The entry of a grid row (0 = the first row below the header); null
    // for the blank row of an empty directory.
    TFEntry* RowEntry(int Row) const;
    TDEntry* SelectedDir() const;

    QTreeWidget* tvDir;
    QTableWidget* fl;
    QPushButton* bClose;

protected:
    // Del and F5 reach the menus' commands from the grid and the tree.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void BuildControls();
    QAction* NewAction(QWidget* Owner, const char* Name, const char* Caption, QKeySequence Key);

    TCompilation& kestrel_;
    std::vector<TFEntry*> rows_;
};

// A file's date and time the way the user's locale writes them, with a
// four-digit year and seconds.
QString LayoutDateTime(TDateTime Value, const QLocale& Locale = QLocale());

}  // namespace kestrel::app
