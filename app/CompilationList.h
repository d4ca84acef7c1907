#pragma once
// The compilation list: the sources the user wants on the disc, each a
// directory (path ending in "/") or a file, with the "R" box (take the
// subdirectories too) and the size. Sizes are counted in the background so a
// large folder does not stop the window.
#include <QThreadPool>
#include <QTreeWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "burner/iso/FillCompilation.h"

class QAction;

namespace kestrel::app {

class TCompilationList : public QTreeWidget {
    Q_OBJECT
public:
    enum TColumn { colR = 0, colName = 1, colSize = 2 };
    using TSizeFunction = std::function<int64_t(const std::string& Path)>;
    // Called when a drag of the program's own browser is dropped; the
    // argument names the browser list it came from ("lbDir", "lbFiles").
    using TBrowserDropEvent = std::function<void(const QString& SourceName)>;

    explicit TCompilationList(QWidget* Parent = nullptr);
    ~TCompilationList() override;

    void SetSizeFunction(TSizeFunction Size) { size_ = std::move(Size); }
    TBrowserDropEvent OnBrowserDrop;

    // Appends an entry; a directory entry is a path ending in "/".
    void AddEntry(const QString& Path, bool Recursive);
    std::vector<TListEntry> Entries() const;
    int EntryCount() const { return topLevelItemCount(); }
    // Size counted for an entry, or -1 while it is still being counted.
    int64_t EntrySize(int Index) const;
    // True while any size is still being counted.
    bool CountingSizes() const { return pending_ > 0; }

    // Deletes the selected entry; nothing when none is selected.
    void Remove1Click();
    QAction* RemoveAction() const { return removeAction_; }

protected:
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    void CountSize(QTreeWidgetItem* Item, const QString& Path);
    void ShowSize(quint64 Ticket, int64_t Bytes);

    TSizeFunction size_;
    QAction* removeAction_;
    QThreadPool sizer_;
    quint64 nextTicket_ = 1;
    int pending_ = 0;
};

}  // namespace kestrel::app
