#pragma once
// The file browser's two lists, both drag sources for the compilation list:
// the directory tree (directories load when opened) and the file list of the
// chosen directory (all files, hidden ones too, several may be selected).
#include <QListWidget>
#include <QTreeWidget>

namespace kestrel::app {

// Mime data of a drag out of the browser: the paths as a URI list (so a file
// manager can take them too) and the browser's marker naming the list.
QMimeData* BrowserDragData(const QString& SourceName, const QStringList& Paths);
// The list a drag came from ("lbDir", "lbFiles"), or empty when the drag is
// not one of this program's browser drags.
QString BrowserDragSource(const QMimeData* Data);

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

    static QString PathOf(const QTreeWidgetItem* Item);

protected:
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& Items) const override;
    QStringList mimeTypes() const override;

private:
    void LoadChildren(QTreeWidgetItem* Item);
    QTreeWidgetItem* NewItem(const QString& Name, const QString& Path);
};

class TFileList : public QListWidget {
    Q_OBJECT
public:
    explicit TFileList(QWidget* Parent = nullptr);

    void ShowDirectory(const QString& Directory);
    const QString& Directory() const { return directory_; }
    // Directory + "/" + name of every selected file, in list order.
    QStringList SelectedPaths() const;

protected:
    QMimeData* mimeData(const QList<QListWidgetItem*>& Items) const override;
    QStringList mimeTypes() const override;

private:
    QString directory_;
};

// Joins a directory and a name with exactly one "/" between them.
QString JoinPath(const QString& Directory, const QString& Name);

}  // namespace kestrel::app
