#include "app/BrowserLists.h"

#include <QCoreApplication>
#include <QDir>
#include <QMimeData>
#include <QUrl>

#include "app/DragMarker.h"

namespace kestrel::app {

namespace {

constexpr int kPathRole = Qt::UserRole;

QByteArray MarkerValue(const QString& SourceName) {
    return (SourceName + QLatin1Char(':') + QString::number(QCoreApplication::applicationPid())).toUtf8();
}

QStringList NamesIn(const QString& Directory, QDir::Filters Kinds) {
    return QDir(Directory).entryList(Kinds | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Name | QDir::IgnoreCase);
}

}  // namespace

QString JoinPath(const QString& Directory, const QString& Name) {
    return Directory.endsWith(QLatin1Char('/')) ? Directory + Name : Directory + QLatin1Char('/') + Name;
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

TDirTree::TDirTree(QWidget* Parent) : QTreeWidget(Parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
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
    if (Item->data(0, kPathRole + 1).toBool()) return;
    Item->setData(0, kPathRole + 1, true);
    const QString path = PathOf(Item);
    for (const QString& name : NamesIn(path, QDir::Dirs)) Item->addChild(NewItem(name, JoinPath(path, name)));
    if (Item->childCount() == 0) Item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
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

TFileList::TFileList(QWidget* Parent) : QListWidget(Parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
}

void TFileList::ShowDirectory(const QString& Directory) {
    directory_ = Directory;
    clear();
    addItems(NamesIn(Directory, QDir::Files));
}

QStringList TFileList::SelectedPaths() const {
    QStringList paths;
    for (int i = 0; i < count(); ++i)
        if (item(i)->isSelected()) paths.append(JoinPath(directory_, item(i)->text()));
    return paths;
}

QStringList TFileList::mimeTypes() const { return {QStringLiteral("text/uri-list"), kBrowserDragFormat}; }

QMimeData* TFileList::mimeData(const QList<QListWidgetItem*>& Items) const {
    QStringList paths;
    for (const QListWidgetItem* item : Items) paths.append(JoinPath(directory_, item->text()));
    return BrowserDragData(objectName(), paths);
}

}  // namespace kestrel::app
