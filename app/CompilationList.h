#pragma once
// The compilation list: the sources the user wants on the disc, each a
// directory (path ending in "/") or a file, with the "R" box (take the
// subdirectories too) and the size. Sources are measured in the background
// so a large folder does not stop the window; the same measure gives the
// size column and the estimate of the image's size.
#include <QThreadPool>
#include <QTreeWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/ImageEstimate.h"
#include "burner/iso/FillCompilation.h"

class QAction;

namespace kestrel::app {

class TCompilationList : public QTreeWidget {
    Q_OBJECT
public:
    enum TColumn { colR = 0, colName = 1, colSize = 2 };
    using TSizeFunction = std::function<int64_t(const std::string& Path)>;
    using TMeasureFunction = std::function<TSourceMeasure(const std::string& Path)>;
    // Called when a drag of the program's own browser is dropped; the
    // argument names the browser list it came from ("lbDir", "lbFiles").
    using TBrowserDropEvent = std::function<void(const QString& SourceName)>;

    explicit TCompilationList(QWidget* Parent = nullptr);
    ~TCompilationList() override;

    // How sources are measured: a byte count alone, or a full measure.
    void SetSizeFunction(TSizeFunction Size);
    void SetMeasureFunction(TMeasureFunction Measure) { measure_ = std::move(Measure); }
    TBrowserDropEvent OnBrowserDrop;

    // Appends an entry; a directory entry is a path ending in "/".
    void AddEntry(const QString& Path, bool Recursive);
    std::vector<TListEntry> Entries() const;
    int EntryCount() const { return topLevelItemCount(); }
    // Size counted for an entry, or -1 while it is still being counted.
    int64_t EntrySize(int Index) const;
    // True once the measure found nothing at the entry's path.
    bool EntryMissing(int Index) const;
    // True while any size is still being counted.
    bool CountingSizes() const { return pending_ > 0; }
    // The estimated image size of the entries measured so far, in sectors.
    int64_t EstimatedImageSectors() const;

    // Deletes the selected entries; nothing when none is selected.
    void Remove1Click();
    QAction* RemoveAction() const { return removeAction_; }
    // Actions shown above Remove in the list's context menu.
    void SetMenuActions(const QList<QAction*>& Actions) { menuActions_ = Actions; }

signals:
    // Entries came or went, or an "R" box changed.
    void Edited();
    // A measure arrived: sizes and the estimate changed.
    void Measured();

protected:
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    void Measure(QTreeWidgetItem* Item, const QString& Path);
    void ShowMeasure(quint64 Ticket, const TSourceMeasure& Measure);

    TMeasureFunction measure_;
    QAction* removeAction_;
    QList<QAction*> menuActions_;
    QThreadPool sizer_;
    quint64 nextTicket_ = 1;
    int pending_ = 0;
};

}  // namespace kestrel::app
