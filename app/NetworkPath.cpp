#include "app/NetworkPath.h"

#include <QDir>
#include <QRegularExpression>
#include <QStorageInfo>

#include <unistd.h>

namespace kestrel::app {

namespace {

struct TShareName {
    QString Host;
    QString Share;
    QString Rest;  // the path inside the share, without a leading "/"
};

// "\\host\share\rest", "//host/share/rest" or "smb://host/share/rest".
bool ParseWindowsShare(QString Text, TShareName& Name) {
    Text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    static const QRegularExpression prefix(QStringLiteral("^(smb:|cifs:)?//"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = prefix.match(Text);
    if (!match.hasMatch()) return false;
    const QStringList parts = Text.mid(match.capturedLength()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() < 2) return false;
    Name.Host = parts[0];
    Name.Share = parts[1];
    Name.Rest = parts.mid(2).join(QLatin1Char('/'));
    return true;
}

QString Inside(const QString& Root, const QString& Rest) {
    if (Rest.isEmpty()) return Root;
    return Root.endsWith(QLatin1Char('/')) ? Root + Rest : Root + QLatin1Char('/') + Rest;
}

QString FindShare(const TShareName& Name, const QList<TMountedShare>& Mounts, const QString& DesktopMounts) {
    const QString device = QStringLiteral("//%1/%2").arg(Name.Host, Name.Share);
    for (const TMountedShare& mount : Mounts)
        if (mount.Device.compare(device, Qt::CaseInsensitive) == 0) return Inside(mount.Root, Name.Rest);
    if (DesktopMounts.isEmpty()) return {};
    // The desktop's own mounts: smb-share:server=host,share=name (lower case).
    const QString gvfs = QStringLiteral("%1/smb-share:server=%2,share=%3")
                             .arg(DesktopMounts, Name.Host.toLower(), Name.Share.toLower());
    return QDir(gvfs).exists() ? Inside(gvfs, Name.Rest) : QString();
}

}  // namespace

QList<TMountedShare> MountedShares() {
    QList<TMountedShare> shares;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QByteArray type = volume.fileSystemType();
        if (type.startsWith("cifs") || type.startsWith("smb") || type.startsWith("nfs"))
            shares.append({QString::fromLocal8Bit(volume.device()), volume.rootPath()});
    }
    return shares;
}

QString DesktopMountFolder() { return QStringLiteral("/run/user/%1/gvfs").arg(getuid()); }

TNetworkPath ResolveNetworkPath(const QString& Text, const QList<TMountedShare>& Mounts, const QString& DesktopMounts) {
    const QString text = Text.trimmed();
    TShareName name;
    if (ParseWindowsShare(text, name)) {
        const QString path = FindShare(name, Mounts, DesktopMounts);
        if (!path.isEmpty()) return {path, {}};
        const QString device = QStringLiteral("//%1/%2").arg(name.Host, name.Share);
        return {{},
                QStringLiteral("The share %1 is not mounted. On Linux a network folder is read where it is "
                               "mounted: open it once in your file manager, or mount it with\n"
                               "    sudo mount -t cifs %1 /mnt/%2\n"
                               "and enter that folder (for example /mnt/%2).")
                    .arg(device, name.Share.toLower())};
    }
    // An NFS export, host:/path.
    static const QRegularExpression nfs(QStringLiteral("^[A-Za-z0-9.-]+:/"));
    if (nfs.match(text).hasMatch()) {
        for (const TMountedShare& mount : Mounts)
            if (text == mount.Device || text.startsWith(mount.Device + QLatin1Char('/')))
                return {Inside(mount.Root, text.mid(mount.Device.size() + 1)), {}};
        return {{}, QStringLiteral("The export %1 is not mounted. Mount it first (sudo mount -t nfs %1 /mnt/share) "
                                   "and enter the folder it is mounted on.").arg(text)};
    }
    return {text, {}};
}

}  // namespace kestrel::app
