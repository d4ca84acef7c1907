#include "app/dialogs/CompilationTree.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QString>
#include <QTableWidget>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <algorithm>
#include <utility>

namespace kestrel::app {

namespace {

constexpr int kDirRole = Qt::UserRole + 1;

QTreeWidgetItem* NewNode(const QString& Caption, TDEntry* Dir) {
    auto* node = new QTreeWidgetItem(QStringList{Caption});
    node->setData(0, kDirRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(Dir)));
    return node;
}

}  // namespace

QTreeWidgetItem* FillDirTree(QTreeWidget* Tree, TDEntry* Root) {
    Tree->clear();
    if (!Root) return nullptr;
    QTreeWidgetItem* rootNode = NewNode(QStringLiteral("CDROOT"), Root);
    Tree->addTopLevelItem(rootNode);
    // Walked with a list of its own: a deep tree read from a disc cannot
    // exhaust the stack.
    std::vector<std::pair<QTreeWidgetItem*, const TDEntry*>> pending{{rootNode, Root}};
    while (!pending.empty()) {
        auto [node, dir] = pending.back();
        pending.pop_back();
        for (TFEntry* entry : DirEntries(dir)) {
            if (!entry->Dir || entry->Dir == dir) continue;
            QTreeWidgetItem* child = NewNode(QString::fromStdString(entry->LongName), entry->Dir);
            node->addChild(child);
            pending.emplace_back(child, entry->Dir);
        }
    }
    rootNode->setExpanded(true);
    Tree->setCurrentItem(rootNode);
    return rootNode;
}

TDEntry* NodeDir(const QTreeWidgetItem* Item) {
    if (!Item) return nullptr;
    return reinterpret_cast<TDEntry*>(Item->data(0, kDirRole).value<quintptr>());
}

std::vector<TFEntry*> DirEntries(const TDEntry* Dir) {
    std::vector<TFEntry*> entries;
    if (!Dir) return entries;
    for (TFEntry* entry = Dir->Files; entry; entry = entry->Next) entries.push_back(entry);
    return entries;
}

QString SizeCell(const TFEntry& Entry) {
    if (Entry.Dir) return QStringLiteral(" < DIR > ");
    return QStringLiteral("%1").arg(static_cast<qlonglong>(Entry.ISOSize), 9);
}

void SetGridRows(QTableWidget* Grid, const std::vector<QStringList>& Rows) {
    Grid->clearContents();
    Grid->setRowCount(Rows.empty() ? 1 : static_cast<int>(Rows.size()));
    for (int r = 0; r < static_cast<int>(Rows.size()); ++r)
        for (int c = 0; c < Rows[r].size() && c < Grid->columnCount(); ++c)
            Grid->setItem(r, c, new QTableWidgetItem(Rows[r][c]));
    // The given widths are the least: a column never cuts its text.
    constexpr int kCellMargins = 12;
    const QFontMetrics metrics(Grid->font());
    for (const QStringList& row : Rows)
        for (int c = 0; c < row.size() && c < Grid->columnCount(); ++c)
            Grid->setColumnWidth(c, std::max(Grid->columnWidth(c), metrics.horizontalAdvance(row[c]) + kCellMargins));
    if (Grid->rowCount() > 0) Grid->setCurrentCell(0, 0);
}

void SetUpGrid(QTableWidget* Grid, const QStringList& Header, const std::vector<int>& Widths) {
    Grid->setColumnCount(static_cast<int>(Header.size()));
    Grid->setHorizontalHeaderLabels(Header);
    for (int c = 0; c < static_cast<int>(Widths.size()); ++c) Grid->setColumnWidth(c, Widths[c]);
    Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Grid->verticalHeader()->setVisible(false);
    Grid->verticalHeader()->setDefaultSectionSize(18);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Grid->setShowGrid(true);
}

}  // namespace kestrel::app
