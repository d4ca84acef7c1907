#pragma once
// "File and Directories Viewer and Extractor": the tree of the session the
// burner imported last, the entries of the selected directory, and copying
// files from the disc: one file by a double click, every file of the
// directory by a click on the status bar.
#include <QDialog>
#include <QLabel>

#include <vector>

#include "burner/iso/Entries.h"

class QTableWidget;
class QTreeWidget;

namespace kestrel {
class TKestrelBurner;
}

namespace kestrel::app {

// A status bar that reports a click.
class TStatusBarLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* Event) override;
};

class TfrmTree : public QDialog {
    Q_OBJECT
public:
    // Folder is where extracted files go; empty until the user chose it.
    TfrmTree(QWidget* Parent, TKestrelBurner& Burner, QString& Folder);

    void FormShow();
    void tvdirClick();
    void Extract1Click();
    void MsgClick();

    // The entry of a grid row (0 = the first row below the header); null
    // for the blank row of an empty directory.
    TFEntry* RowEntry(int Row) const;

    QTreeWidget* tvDir;
    QTableWidget* fl;
    TStatusBarLabel* Msg;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void BuildControls();
    // The folder for this dialog: asked once; empty when the user cancelled.
    QString ChooseFolder();
    // The folder a bare name goes to: the chosen one, else the default.
    QString FolderForNames() const;
    bool Extract(const TFEntry& Entry, const QString& Path, bool Replace);
    void Log(const std::string& Line);

    TKestrelBurner& kestrel_;
    QString& folder_;
    std::vector<TFEntry*> rows_;
    bool shown_ = false;
};

}  // namespace kestrel::app
