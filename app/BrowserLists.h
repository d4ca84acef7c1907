#pragma once
// The file browser's two lists, both drag sources for the compilation list:
// the directory tree (directories load when opened) and the file list of the
// chosen directory (name, size and date; several may be selected). Dot
// files and folders show only when asked for. A double click or Enter on an
// item asks for it to be added to the compilation.
#include <QTreeWidget>

namespace kestrel::app {

// Mime data of a drag out of the browser: the paths as a URI list (so a file
// manager can take them too) and the browser's marker naming the list.
QMimeData* BrowserDragData(const QString& SourceName, const QStringList& Paths);
// The list a drag came from ("lbDir", "lbFiles"), or empty when the drag is
// not one of this program's browser drags.
QString BrowserDragSource(const QMimeData* Data);

// The names of the entries of Kinds (QDir::Dirs or QDir::Files) in
// Directory, by name; dot names only with Hidden.
QStringList BrowserNames(const QString& Directory, int Kinds, bool Hidden);

class TDirTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit TDirTree(QWidget* Parent = nullptr);

    // Shows Root as the only top item, opened one level.
    void SetRoot(const QString& Root);
    // Opens the tree down to Path (below the root) and makes it current.
    // False when a step of the path is not found.
    bool OpenPath(const QString& Path);
    // The directory of the current item, or the root when none is current.
    QString CurrentDirectory() const;
    // Lists the folders of Item again (of the current item when null),
    // keeping the ones still there with what is open below them.
    void Reload(QTreeWidgetItem* Item = nullptr);
    // The item of Path among the items loaded so far, or null.
    QTreeWidgetItem* ItemOf(const QString& Path) const;

    void SetShowHidden(bool Show) { showHidden_ = Show; }

    static QString PathOf(const QTreeWidgetItem* Item);

signals:
    // Double click or Enter on a folder.
    void AddRequested();

protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& Items) const override;
    QStringList mimeTypes() const override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void LoadChildren(QTreeWidgetItem* Item);
    QTreeWidgetItem* NewItem(const QString& Name, const QString& Path);

    bool showHidden_ = false;
};

class TFileList : public QTreeWidget {
    Q_OBJECT
public:
    enum TColumn { colName = 0, colSize = 1, colDate = 2 };

    explicit TFileList(QWidget* Parent = nullptr);

    void ShowDirectory(const QString& Directory);
    const QString& Directory() const { return directory_; }
    // Directory + "/" + name of every selected file, in list order.
    QStringList SelectedPaths() const;
    // The file names shown, in list order.
    QStringList Names() const;

    void SetShowHidden(bool Show) { showHidden_ = Show; }

signals:
    // Double click or Enter on the selected files.
    void AddRequested();

protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& Items) const override;
    QStringList mimeTypes() const override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    QString directory_;
    bool showHidden_ = false;
};

// Joins a directory and a name with exactly one "/" between them.
QString JoinPath(const QString& Directory, const QString& Name);

}  // namespace kestrel::app
