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

namespace kestrel::app {

namespace {

constexpr int kTicketRole = Qt::UserRole;
constexpr int kSizeRole = Qt::UserRole + 1;

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
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(colName, QHeaderView::Stretch);
    header()->resizeSection(colR, 32);
    header()->resizeSection(colSize, 110);
    sizer_.setMaxThreadCount(1);

    removeAction_ = new QAction(QStringLiteral("Remove"), this);
    removeAction_->setObjectName(QStringLiteral("Remove1"));
    removeAction_->setShortcut(QKeySequence(Qt::Key_Delete));
    removeAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(removeAction_);
    connect(removeAction_, &QAction::triggered, this, &TCompilationList::Remove1Click);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this] { Remove1Click(); });
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
    CountSize(item, Path);
}

void TCompilationList::CountSize(QTreeWidgetItem* Item, const QString& Path) {
    const quint64 ticket = nextTicket_++;
    Item->setData(colName, kTicketRole, ticket);
    Item->setData(colName, kSizeRole, qint64(-1));
    if (!size_) {
        ShowSize(ticket, 0);
        return;
    }
    ++pending_;
    sizer_.start([this, ticket, size = size_, path = Path.toStdString()] {
        int64_t bytes = 0;
        try {
            bytes = size(path);
        } catch (...) {
            bytes = 0;
        }
        // The destructor drains the pool, so the list is alive while the call
        // is queued; Qt drops the call if the list is deleted before it runs.
        QMetaObject::invokeMethod(this, [this, ticket, bytes] { ShowSize(ticket, bytes); }, Qt::QueuedConnection);
    });
}

void TCompilationList::ShowSize(quint64 Ticket, int64_t Bytes) {
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        if (item->data(colName, kTicketRole).toULongLong() != Ticket) continue;
        item->setData(colName, kSizeRole, qint64(Bytes));
        item->setText(colSize, QString::fromStdString(FormatSizeCell(Bytes)));
        break;
    }
    if (size_ && pending_ > 0) --pending_;
}

int64_t TCompilationList::EntrySize(int Index) const {
    const QTreeWidgetItem* item = topLevelItem(Index);
    return item ? item->data(colName, kSizeRole).toLongLong() : -1;
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
    QTreeWidgetItem* item = currentItem();
    if (!item || !item->isSelected()) return;
    delete item;
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
    menu.addAction(removeAction_);
    menu.exec(Event->globalPos());
}

}  // namespace kestrel::app
