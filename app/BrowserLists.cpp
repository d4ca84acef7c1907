#include "app/BrowserLists.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QMimeData>
#include <QUrl>

#include "app/DateText.h"
#include "app/DragMarker.h"

namespace kestrel::app {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLoadedRole = Qt::UserRole + 1;

QByteArray MarkerValue(const QString& SourceName) {
    return (SourceName + QLatin1Char(':') + QString::number(QCoreApplication::applicationPid())).toUtf8();
}

bool IsEnter(const QKeyEvent* Event) { return Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter; }

}  // namespace

QString JoinPath(const QString& Directory, const QString& Name) {
    return Directory.endsWith(QLatin1Char('/')) ? Directory + Name : Directory + QLatin1Char('/') + Name;
}

QStringList BrowserNames(const QString& Directory, int Kinds, bool Hidden) {
    QDir::Filters filters = QDir::Filters(Kinds) | QDir::System | QDir::NoDotAndDotDot;
    if (Hidden) filters |= QDir::Hidden;
    return QDir(Directory).entryList(filters, QDir::Name | QDir::IgnoreCase);
}

QMimeData* BrowserDragData(const QString& SourceName, const QStringList& Paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : Paths) urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    data->setData(kBrowserDragFormat, MarkerValue(SourceName));
    return data;
}

QString BrowserDragSource(const QMimeData* Data) {
    if (!Data || !Data->hasFormat(kBrowserDragFormat)) return {};
    const QString value = QString::fromUtf8(Data->data(kBrowserDragFormat));
    const QString pid = QLatin1Char(':') + QString::number(QCoreApplication::applicationPid());
    // A drag from another running copy of the program is not ours.
    if (!value.endsWith(pid)) return {};
    return value.left(value.size() - pid.size());
}

// ---- Directory tree ----------------------------------------------------------------

TDirTree::TDirTree(QWidget* Parent) : QTreeWidget(Parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    // A double click adds the folder; the arrow opens it.
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &TDirTree::AddRequested);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { LoadChildren(item); });
    // The chosen directory shows its subdirectories.
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item) return;
        LoadChildren(item);
        item->setExpanded(true);
    });
}

QString TDirTree::PathOf(const QTreeWidgetItem* Item) {
    return Item ? Item->data(0, kPathRole).toString() : QString();
}

QTreeWidgetItem* TDirTree::NewItem(const QString& Name, const QString& Path) {
    auto* item = new QTreeWidgetItem(QStringList{Name});
    item->setData(0, kPathRole, Path);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void TDirTree::LoadChildren(QTreeWidgetItem* Item) {
    if (Item->data(0, kLoadedRole).toBool()) return;
    Item->setData(0, kLoadedRole, true);
    const QString path = PathOf(Item);
    for (const QString& name : BrowserNames(path, QDir::Dirs, showHidden_))
        Item->addChild(NewItem(name, JoinPath(path, name)));
    if (Item->childCount() == 0) Item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void TDirTree::Reload(QTreeWidgetItem* Item) {
    if (!Item) Item = currentItem() ? currentItem() : topLevelItem(0);
    if (!Item || !Item->data(0, kLoadedRole).toBool()) return;
    const QString path = PathOf(Item);
    const QStringList names = BrowserNames(path, QDir::Dirs, showHidden_);
    for (int i = Item->childCount() - 1; i >= 0; --i)
        if (!names.contains(Item->child(i)->text(0))) delete Item->takeChild(i);
    // Insert the new names where the sorted order puts them.
    for (int i = 0; i < names.size(); ++i) {
        if (i < Item->childCount() && Item->child(i)->text(0) == names[i]) continue;
        Item->insertChild(i, NewItem(names[i], JoinPath(path, names[i])));
    }
    Item->setChildIndicatorPolicy(Item->childCount() == 0 ? QTreeWidgetItem::DontShowIndicatorWhenChildless
                                                          : QTreeWidgetItem::ShowIndicator);
}

QTreeWidgetItem* TDirTree::ItemOf(const QString& Path) const {
    QTreeWidgetItem* item = topLevelItem(0);
    if (!item) return nullptr;
    const QString root = PathOf(item);
    if (!(Path == root || Path.startsWith(JoinPath(root, QString())))) return nullptr;
    for (const QString& step : Path.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (item->child(i)->text(0) == step) next = item->child(i);
        if (!next) return nullptr;
        item = next;
    }
    return item;
}

void TDirTree::SetRoot(const QString& Root) {
    clear();
    QTreeWidgetItem* top = NewItem(Root, Root);
    addTopLevelItem(top);
    top->setExpanded(true);
    setCurrentItem(top);
}

bool TDirTree::OpenPath(const QString& Path) {
    QTreeWidgetItem* item = topLevelItem(0);
    if (!item) return false;
    const QString root = PathOf(item);
    if (!(Path == root || Path.startsWith(JoinPath(root, QString())))) return false;
    const QStringList steps = Path.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& step : steps) {
        LoadChildren(item);
        item->setExpanded(true);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (item->child(i)->text(0) == step) next = item->child(i);
        if (!next) return false;
        item = next;
    }
    setCurrentItem(item);
    scrollToItem(item);
    return true;
}

QString TDirTree::CurrentDirectory() const {
    const QTreeWidgetItem* item = currentItem() ? currentItem() : topLevelItem(0);
    return PathOf(item);
}

QStringList TDirTree::mimeTypes() const { return {QStringLiteral("text/uri-list"), kBrowserDragFormat}; }

QMimeData* TDirTree::mimeData(const QList<QTreeWidgetItem*>& Items) const {
    QStringList paths;
    for (const QTreeWidgetItem* item : Items) paths.append(PathOf(item));
    return BrowserDragData(objectName(), paths);
}

void TDirTree::keyPressEvent(QKeyEvent* Event) {
    if (IsEnter(Event) && currentItem()) {
        emit AddRequested();
        return;
    }
    QTreeWidget::keyPressEvent(Event);
}

// ---- File list -------------------------------------------------------------------------

TFileList::TFileList(QWidget* Parent) : QTreeWidget(Parent) {
    setColumnCount(3);
    setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Modified")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(colName, QHeaderView::Stretch);
    header()->setSectionResizeMode(colSize, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(colDate, QHeaderView::ResizeToContents);
    connect(this, &QTreeWidget::itemDoubleClicked, this, &TFileList::AddRequested);
}

void TFileList::ShowDirectory(const QString& Directory) {
    // A refresh of the same folder keeps what the user had selected.
    const QStringList selected = Directory == directory_ ? SelectedPaths() : QStringList();
    directory_ = Directory;
    clear();
    const QLocale locale;
    for (const QString& name : BrowserNames(Directory, QDir::Files, showHidden_)) {
        const QFileInfo info(JoinPath(Directory, name));
        auto* item = new QTreeWidgetItem(QStringList{name, locale.formattedDataSize(info.size()),
                                                     LocalDateTimeText(info.lastModified(), locale)});
        item->setTextAlignment(colSize, Qt::AlignRight | Qt::AlignVCenter);
        addTopLevelItem(item);
        if (selected.contains(info.filePath())) item->setSelected(true);
    }
}

QStringList TFileList::Names() const {
    QStringList names;
    for (int i = 0; i < topLevelItemCount(); ++i) names.append(topLevelItem(i)->text(colName));
    return names;
}

QStringList TFileList::SelectedPaths() const {
    QStringList paths;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected()) paths.append(JoinPath(directory_, topLevelItem(i)->text(colName)));
    return paths;
}

QStringList TFileList::mimeTypes() const { return {QStringLiteral("text/uri-list"), kBrowserDragFormat}; }

QMimeData* TFileList::mimeData(const QList<QTreeWidgetItem*>& Items) const {
    QStringList paths;
    for (const QTreeWidgetItem* item : Items) paths.append(JoinPath(directory_, item->text(colName)));
    return BrowserDragData(objectName(), paths);
}

void TFileList::keyPressEvent(QKeyEvent* Event) {
    if (IsEnter(Event) && !selectedItems().isEmpty()) {
        emit AddRequested();
        return;
    }
    QTreeWidget::keyPressEvent(Event);
}

}  // namespace kestrel::app
