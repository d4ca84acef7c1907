#include "app/FileBrowser.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStorageInfo>
#include <QVBoxLayout>

#include "app/AppIcons.h"
#include "app/BrowserLists.h"
#include "app/NetworkPath.h"

namespace kestrel::app {

namespace {

constexpr int kRootRole = Qt::UserRole;
constexpr int kChangeDelayMs = 300;

// Mounted volumes a user would browse: real devices and network shares,
// not the system's own pseudo file systems.
bool IsUserVolume(const QStorageInfo& Volume) {
    if (!Volume.isValid() || !Volume.isReady()) return false;
    const QString root = Volume.rootPath();
    if (root == QLatin1String("/")) return false;
    for (const char* system : {"/proc", "/sys", "/dev", "/boot", "/snap", "/run/user", "/var", "/tmp", "/etc"})
        if (root.startsWith(QLatin1String(system))) return false;
    if (root.startsWith(QLatin1String("/run")) && !root.startsWith(QLatin1String("/run/media"))) return false;
    const QByteArray type = Volume.fileSystemType();
    const bool network = type.startsWith("nfs") || type.startsWith("cifs") || type.startsWith("smb") ||
                         type.startsWith("fuse.sshfs");
    return network || Volume.device().startsWith("/dev/");
}

}  // namespace

TFileBrowser::TFileBrowser(QWidget* Parent) : QWidget(Parent) {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("pDrives"));
    driveCB_ = new QComboBox(bar);
    driveCB_->setObjectName(QStringLiteral("DriveCB"));
    bNetwork_ = new QPushButton(QStringLiteral("Network"), bar);
    bNetwork_->setObjectName(QStringLiteral("bNetwork"));
    bNetwork_->setIcon(ThemeIcon("network-workgroup", QStyle::SP_DriveNetIcon));
    bNetwork_->setToolTip(QStringLiteral("Go to a network folder: a share mounted on this system "
                                         "(\\\\machine\\share and smb:// names are looked up among the mounts)"));
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(0, 0, 0, 0);
    // The selector takes the bar's width minus the button and 4 pixels.
    barLayout->setSpacing(4);
    barLayout->addWidget(driveCB_, 1);
    barLayout->addWidget(bNetwork_);

    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->setObjectName(QStringLiteral("splitDirFiles"));
    lbDir_ = new TDirTree(splitter_);
    lbDir_->setObjectName(QStringLiteral("lbDir"));
    lbFiles_ = new TFileList(splitter_);
    lbFiles_->setObjectName(QStringLiteral("lbFiles"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar);
    layout->addWidget(splitter_, 1);

    showHiddenAction_ = new QAction(QStringLiteral("Show Hidden Files"), this);
    showHiddenAction_->setObjectName(QStringLiteral("ShowHidden"));
    showHiddenAction_->setCheckable(true);
    showHiddenAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    showHiddenAction_->setShortcutContext(Qt::WindowShortcut);
    refreshAction_ = new QAction(ThemeIcon("view-refresh", QStyle::SP_BrowserReload), QStringLiteral("Refresh"), this);
    refreshAction_->setObjectName(QStringLiteral("Refresh"));
    refreshAction_->setShortcut(QKeySequence(Qt::Key_F5));
    refreshAction_->setShortcutContext(Qt::WindowShortcut);
    connect(showHiddenAction_, &QAction::toggled, this, &TFileBrowser::SetShowHidden);
    connect(refreshAction_, &QAction::triggered, this, &TFileBrowser::Refresh);

    changeDelay_.setSingleShot(true);
    changeDelay_.setInterval(kChangeDelayMs);
    connect(&changeDelay_, &QTimer::timeout, this, &TFileBrowser::FolderChanged);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { changeDelay_.start(); });

    FillPlaces();
    connect(driveCB_, &QComboBox::activated, this, &TFileBrowser::DriveCBChange);
    connect(lbDir_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (!current) return;
        lbFiles_->ShowDirectory(TDirTree::PathOf(current));
        Watch(TDirTree::PathOf(current));
    });
    connect(bNetwork_, &QPushButton::clicked, this, &TFileBrowser::bNetworkClick);
    connect(lbDir_, &TDirTree::AddRequested, this, [this] { emit AddRequested(QStringLiteral("lbDir")); });
    connect(lbFiles_, &TFileList::AddRequested, this, [this] { emit AddRequested(QStringLiteral("lbFiles")); });
    for (QWidget* list : {static_cast<QWidget*>(lbDir_), static_cast<QWidget*>(lbFiles_)}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& at) { ShowMenu(list, list->objectName(), at); });
    }
    GoTo(QDir::homePath());
}

void TFileBrowser::ShowMenu(QWidget* List, const QString& SourceName, const QPoint& At) {
    QMenu menu(this);
    QAction* add = menu.addAction(ThemeIcon("list-add", QStyle::SP_FileDialogNewFolder),
                                  QStringLiteral("Add to Compilation"));
    const bool haveFiles = !lbFiles_->SelectedPaths().isEmpty();
    add->setEnabled(SourceName == QLatin1String("lbDir") || haveFiles);
    menu.addSeparator();
    menu.addAction(showHiddenAction_);
    menu.addAction(refreshAction_);
    if (menu.exec(List->mapToGlobal(At)) == add) emit AddRequested(SourceName);
}

// ---- Keeping the lists current ---------------------------------------------------

void TFileBrowser::Watch(const QString& Directory) {
    if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
    if (!Directory.isEmpty()) watcher_.addPath(Directory);
}

void TFileBrowser::FolderChanged() {
    const QString shown = lbFiles_->Directory();
    if (!QFileInfo(shown).isDir()) {
        Refresh();  // the folder itself is gone
        return;
    }
    lbFiles_->ShowDirectory(shown);
    if (QTreeWidgetItem* item = lbDir_->ItemOf(shown)) lbDir_->Reload(item);
    Watch(shown);
}

void TFileBrowser::Refresh() {
    // The nearest folder of the shown one that still exists.
    QString shown = CurrentDirectory();
    while (!shown.isEmpty() && shown != QLatin1String("/") && !QFileInfo(shown).isDir())
        shown = QFileInfo(shown).path();
    const QString root = lbDir_->topLevelItemCount() ? TDirTree::PathOf(lbDir_->topLevelItem(0)) : QString();
    driveCB_->clear();
    FillPlaces();
    lbDir_->SetRoot(QFileInfo(root).isDir() ? root : QStringLiteral("/"));
    driveCB_->setCurrentIndex(PlaceIndexFor(TDirTree::PathOf(lbDir_->topLevelItem(0))));
    if (!lbDir_->OpenPath(shown)) {
        lbFiles_->ShowDirectory(shown);
        Watch(shown);
    }
}

void TFileBrowser::SetShowHidden(bool Show) {
    if (showHiddenAction_->isChecked() != Show) {
        showHiddenAction_->setChecked(Show);  // comes back here through toggled
        return;
    }
    if (hidden_ == Show) return;
    hidden_ = Show;
    lbDir_->SetShowHidden(Show);
    lbFiles_->SetShowHidden(Show);
    Refresh();
}

bool TFileBrowser::ShowHidden() const { return showHiddenAction_->isChecked(); }

void TFileBrowser::FillPlaces() {
    driveCB_->addItem(QStringLiteral("/"), QStringLiteral("/"));
    const QString home = QDir::homePath();
    if (home != QLatin1String("/")) driveCB_->addItem(QStringLiteral("Home (%1)").arg(home), home);
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!IsUserVolume(volume)) continue;
        const QString root = volume.rootPath();
        const QString name = volume.displayName() == root ? root : QStringLiteral("%1 (%2)").arg(volume.displayName(), root);
        driveCB_->addItem(name, root);
    }
}

int TFileBrowser::PlaceIndexFor(const QString& Path) const {
    int best = 0;
    qsizetype bestLength = -1;
    for (int i = 0; i < driveCB_->count(); ++i) {
        const QString root = driveCB_->itemData(i, kRootRole).toString();
        const bool inside = Path == root || Path.startsWith(JoinPath(root, QString()));
        if (inside && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

void TFileBrowser::DriveCBChange(int Index) {
    const QString root = driveCB_->itemData(Index, kRootRole).toString();
    if (!QFileInfo(root).isDir() || !QDir(root).isReadable()) {
        QMessageBox::warning(this, QStringLiteral("Network"), QStringLiteral("Cannot open \"%1\".").arg(root));
        driveCB_->setCurrentIndex(PlaceIndexFor(CurrentDirectory()));
        return;
    }
    lbDir_->SetRoot(root);
}

bool TFileBrowser::GoTo(const QString& Path) {
    const QFileInfo info(Path);
    const QString target = info.absoluteFilePath();
    if (!info.isDir() || !QDir(target).isReadable()) {
        QMessageBox::warning(this, QStringLiteral("Network Path"),
                             QStringLiteral("Cannot open \"%1\": not a readable folder.").arg(Path));
        return false;
    }
    const int place = PlaceIndexFor(target);
    const QString root = driveCB_->itemData(place, kRootRole).toString();
    if (lbDir_->topLevelItemCount() == 0 || TDirTree::PathOf(lbDir_->topLevelItem(0)) != root) {
        driveCB_->setCurrentIndex(place);
        lbDir_->SetRoot(root);
    }
    if (!lbDir_->OpenPath(target)) {
        // A hidden step or a name the tree could not list: show it directly.
        lbFiles_->ShowDirectory(target);
        Watch(target);
    }
    return true;
}

QString TFileBrowser::CurrentDirectory() const {
    return lbFiles_->Directory().isEmpty() ? lbDir_->CurrentDirectory() : lbFiles_->Directory();
}

void TFileBrowser::bNetworkClick() {
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, QStringLiteral("Network Path"),
        QStringLiteral("Enter Complete Network path (a mounted share such as /mnt/machine1/c;\n"
                       "\\\\Machine1\\C or smb://Machine1/C is looked up where it is mounted)"),
        QLineEdit::Normal, QString(), &ok);
    if (!ok || text.trimmed().isEmpty()) return;
    const TNetworkPath resolved = ResolveNetworkPath(text);
    if (!resolved.Error.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Network Path"), resolved.Error);
        return;
    }
    GoTo(resolved.Path);
}

}  // namespace kestrel::app
