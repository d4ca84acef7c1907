#include "app/CompilationList.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMetaObject>
#include <QMimeData>

#include "app/BrowserLists.h"
#include "app/Formats.h"

Q_DECLARE_METATYPE(kestrel::app::TSourceMeasure)

namespace kestrel::app {

namespace {

constexpr int kTicketRole = Qt::UserRole;
constexpr int kSizeRole = Qt::UserRole + 1;
constexpr int kMeasureRole = Qt::UserRole + 2;

bool IsBrowserDrag(const QMimeData* Data) {
    const QString source = BrowserDragSource(Data);
    return source == QLatin1String("lbDir") || source == QLatin1String("lbFiles");
}

// Items dragged from the file browser are copied in; nothing else is taken.
void AcceptBrowserDrag(QDragMoveEvent* Event) {
    if (IsBrowserDrag(Event->mimeData())) {
        Event->setDropAction(Qt::CopyAction);
        Event->accept();
    } else {
        Event->ignore();
    }
}

}  // namespace

TCompilationList::TCompilationList(QWidget* Parent) : QTreeWidget(Parent) {
    setColumnCount(3);
    setHeaderLabels({QStringLiteral("R"), QStringLiteral("Name"), QStringLiteral("Size ")});
    setRootIsDecorated(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(colName, QHeaderView::Stretch);
    header()->resizeSection(colR, 32);
    header()->resizeSection(colSize, 110);
    headerItem()->setToolTip(colR, QStringLiteral("Include subfolders: checked, a folder is taken with everything "
                                                  "below it; cleared, only the files directly in it"));
    sizer_.setMaxThreadCount(1);

    removeAction_ = new QAction(QStringLiteral("Remove"), this);
    removeAction_->setObjectName(QStringLiteral("Remove1"));
    removeAction_->setShortcut(QKeySequence(Qt::Key_Delete));
    removeAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(removeAction_);
    connect(removeAction_, &QAction::triggered, this, &TCompilationList::Remove1Click);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { Remove1Click(); });
    // An "R" box changes the estimate; entries coming and going too.
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        if (column == colR) emit Edited();
    });
    connect(model(), &QAbstractItemModel::rowsRemoved, this, &TCompilationList::Edited);
    connect(model(), &QAbstractItemModel::modelReset, this, &TCompilationList::Edited);
}

void TCompilationList::SetSizeFunction(TSizeFunction Size) {
    if (!Size) {
        measure_ = nullptr;
        return;
    }
    measure_ = [size = std::move(Size)](const std::string& path) { return MeasureFromBytes(size(path)); };
}

TCompilationList::~TCompilationList() {
    sizer_.clear();
    sizer_.waitForDone();
}

void TCompilationList::AddEntry(const QString& Path, bool Recursive) {
    auto* item = new QTreeWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(colR, Recursive ? Qt::Checked : Qt::Unchecked);
    item->setText(colName, Path);
    item->setTextAlignment(colSize, Qt::AlignRight | Qt::AlignVCenter);
    addTopLevelItem(item);
    Measure(item, Path);
    emit Edited();
}

void TCompilationList::Measure(QTreeWidgetItem* Item, const QString& Path) {
    const quint64 ticket = nextTicket_++;
    Item->setData(colName, kTicketRole, ticket);
    Item->setData(colName, kSizeRole, qint64(-1));
    ++pending_;
    if (!measure_) {
        ShowMeasure(ticket, TSourceMeasure{});
        return;
    }
    sizer_.start([this, ticket, measure = measure_, path = Path.toStdString()] {
        TSourceMeasure result;
        try {
            result = measure(path);
        } catch (...) {
            result = TSourceMeasure{};
        }
        // The destructor drains the pool, so the list is alive while the call
        // is queued; Qt drops the call if the list is deleted before it runs.
        QMetaObject::invokeMethod(this, [this, ticket, result] { ShowMeasure(ticket, result); },
                                  Qt::QueuedConnection);
    });
}

void TCompilationList::ShowMeasure(quint64 Ticket, const TSourceMeasure& Measure) {
    if (pending_ > 0) --pending_;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        if (item->data(colName, kTicketRole).toULongLong() != Ticket) continue;
        item->setData(colName, kSizeRole, qint64(Measure.Bytes));
        item->setData(colName, kMeasureRole, QVariant::fromValue(Measure));
        item->setText(colSize, QString::fromStdString(FormatSizeCell(Measure.Bytes)));
        // A source that is gone stays in the list, marked, so the user sees it.
        item->setForeground(colName, Measure.Missing ? QBrush(Qt::red) : QBrush());
        item->setToolTip(colName, Measure.Missing ? QStringLiteral("Not found: %1").arg(item->text(colName))
                                                  : item->text(colName));
        break;
    }
    emit Measured();
}

int64_t TCompilationList::EntrySize(int Index) const {
    const QTreeWidgetItem* item = topLevelItem(Index);
    return item ? item->data(colName, kSizeRole).toLongLong() : -1;
}

bool TCompilationList::EntryMissing(int Index) const {
    const QTreeWidgetItem* item = topLevelItem(Index);
    return item && item->data(colName, kMeasureRole).value<TSourceMeasure>().Missing;
}

int64_t TCompilationList::EstimatedImageSectors() const {
    std::vector<TMeasuredEntry> entries;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = topLevelItem(i);
        entries.push_back({item->data(colName, kMeasureRole).value<TSourceMeasure>(),
                           item->checkState(colR) == Qt::Checked});
    }
    return EstimateImageSectors(entries);
}

std::vector<TListEntry> TCompilationList::Entries() const {
    std::vector<TListEntry> entries;
    entries.reserve(static_cast<size_t>(topLevelItemCount()));
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = topLevelItem(i);
        entries.push_back({item->text(colName).toStdString(), item->checkState(colR) == Qt::Checked});
    }
    return entries;
}

void TCompilationList::Remove1Click() {
    qDeleteAll(selectedItems());
}

void TCompilationList::dragEnterEvent(QDragEnterEvent* Event) { AcceptBrowserDrag(Event); }

void TCompilationList::dragMoveEvent(QDragMoveEvent* Event) { AcceptBrowserDrag(Event); }

void TCompilationList::dropEvent(QDropEvent* Event) {
    if (!IsBrowserDrag(Event->mimeData())) {
        Event->ignore();
        return;
    }
    Event->setDropAction(Qt::CopyAction);
    Event->accept();
    if (OnBrowserDrop) OnBrowserDrop(BrowserDragSource(Event->mimeData()));
}

void TCompilationList::contextMenuEvent(QContextMenuEvent* Event) {
    QMenu menu(this);
    menu.addActions(menuActions_);
    if (!menuActions_.isEmpty()) menu.addSeparator();
    menu.addAction(removeAction_);
    menu.exec(Event->globalPos());
}

}  // namespace kestrel::app
