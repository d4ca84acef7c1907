#pragma once
// The right pane: a place selector (the root, the home folder, mounted
// volumes) with the "Network" button beside it, the directory tree of the
// chosen place and the file list of the chosen directory, linked together.
// The shown folder is watched and listed again when it changes; Refresh
// (F5) does the same by hand. Dot files show only when asked for.
#include <QFileSystemWatcher>
#include <QTimer>
#include <QWidget>

class QAction;
class QComboBox;
class QPushButton;
class QSplitter;

namespace kestrel::app {

class TDirTree;
class TFileList;

class TFileBrowser : public QWidget {
    Q_OBJECT
public:
    explicit TFileBrowser(QWidget* Parent = nullptr);

    QComboBox* DriveCB() const { return driveCB_; }
    QPushButton* NetworkButton() const { return bNetwork_; }
    TDirTree* DirList() const { return lbDir_; }
    TFileList* FileList() const { return lbFiles_; }
    QSplitter* Splitter() const { return splitter_; }
    QAction* ShowHiddenAction() const { return showHiddenAction_; }
    QAction* RefreshAction() const { return refreshAction_; }

    // Shows Path in the tree and its files in the list. When Path cannot be
    // opened, tells the user and leaves the browser as it was; returns false.
    bool GoTo(const QString& Path);
    QString CurrentDirectory() const;

    // The network command: asks for a path (a mounted folder, or a share
    // that is mounted somewhere) and goes there.
    void bNetworkClick();
    // Lists the shown folder again (and the places, for volumes that came or went).
    void Refresh();
    void SetShowHidden(bool Show);
    bool ShowHidden() const;

signals:
    // The user asked (double click, Enter, context menu) for the chosen
    // folder ("lbDir") or the selected files ("lbFiles") to be added.
    void AddRequested(const QString& SourceName);

private:
    void FillPlaces();
    int PlaceIndexFor(const QString& Path) const;
    void DriveCBChange(int Index);
    void Watch(const QString& Directory);
    void FolderChanged();
    void ShowMenu(QWidget* List, const QString& SourceName, const QPoint& At);

    QComboBox* driveCB_;
    QPushButton* bNetwork_;
    TDirTree* lbDir_;
    TFileList* lbFiles_;
    QSplitter* splitter_;
    QAction* showHiddenAction_;
    QAction* refreshAction_;
    bool hidden_ = false;
    QFileSystemWatcher watcher_;
    // Changes come in bursts (a copy of many files): listed once per burst.
    QTimer changeDelay_;
};

}  // namespace kestrel::app
