#pragma once
// The right pane: a place selector (the root, the home folder, mounted
// volumes) with the "Network" button beside it, the directory tree of the
// chosen place and the file list of the chosen directory, linked together.
#include <QWidget>

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

    // Shows Path in the tree and its files in the list. When Path cannot be
    // opened, tells the user and leaves the browser as it was; returns false.
    bool GoTo(const QString& Path);
    QString CurrentDirectory() const;

    // The network command: asks for a path and goes there.
    void bNetworkClick();

private:
    void FillPlaces();
    int PlaceIndexFor(const QString& Path) const;
    void DriveCBChange(int Index);

    QComboBox* driveCB_;
    QPushButton* bNetwork_;
    TDirTree* lbDir_;
    TFileList* lbFiles_;
    QSplitter* splitter_;
};

}  // namespace kestrel::app
