#pragma once
// On Linux a network folder is a mounted path. A share written the Windows
// way (\\machine\share), as a URL (smb://machine/share) or as an NFS export
// (machine:/export) is looked up among the mounted file systems and the
// folders the desktop mounts (gvfs); one that is not mounted is explained.
#include <QString>
#include <QStringList>
#include <QList>

namespace kestrel::app {

struct TMountedShare {
    QString Device;  // "//machine/share", "machine:/export"
    QString Root;    // where it is mounted
};

struct TNetworkPath {
    QString Path;   // the folder to show; empty when Error is set
    QString Error;  // why there is no folder
};

// The mounted CIFS, SMB and NFS file systems of this system.
QList<TMountedShare> MountedShares();
// The folder where the desktop mounts shares for this user.
QString DesktopMountFolder();

TNetworkPath ResolveNetworkPath(const QString& Text, const QList<TMountedShare>& Mounts = MountedShares(),
                                const QString& DesktopMounts = DesktopMountFolder());

}  // namespace kestrel::app
