#include "app/FileBrowser.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStorageInfo>
#include <QVBoxLayout>

#include "app/BrowserLists.h"

namespace kestrel::app {

namespace {

constexpr int kRootRole = Qt::UserRole;

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

    FillPlaces();
    connect(driveCB_, &QComboBox::activated, this, &TFileBrowser::DriveCBChange);
    connect(lbDir_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (current) lbFiles_->ShowDirectory(TDirTree::PathOf(current));
    });
    connect(bNetwork_, &QPushButton::clicked, this, &TFileBrowser::bNetworkClick);
    GoTo(QDir::homePath());
}

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
    }
    return true;
}

QString TFileBrowser::CurrentDirectory() const {
    return lbFiles_->Directory().isEmpty() ? lbDir_->CurrentDirectory() : lbFiles_->Directory();
}

void TFileBrowser::bNetworkClick() {
    bool ok = false;
    const QString path = QInputDialog::getText(this, QStringLiteral("Network Path"),
                                               QStringLiteral("Enter Complete Network path (\\\\Machine1\\C)"),
                                               QLineEdit::Normal, QString(), &ok);
    if (ok && !path.trimmed().isEmpty()) GoTo(path.trimmed());
}

}  // namespace kestrel::app
