#pragma once
// Unmounts a disc the desktop mounted when it was inserted, the way the
// desktop itself does: through udisks2 on the system bus. Where udisks2
// cannot be reached the caller tells the user which command unmounts it.
#include <QObject>
#include <QString>

#include <functional>

namespace kestrel::app {

struct TUnmountResult {
    bool Unmounted = false;
    bool ServiceMissing = false;  // udisks2 is not there to ask
    QString Error;                // why it failed otherwise
};

class TDiscUnmounter : public QObject {
    Q_OBJECT
public:
    using TDone = std::function<void(const TUnmountResult&)>;
    using QObject::QObject;

    // Asks for the file system on the device Node to be unmounted; Done
    // runs later on the GUI thread. The call itself does not wait.
    virtual void Unmount(const QString& Node, TDone Done);
};

// The commands a user types to unmount the disc at Node mounted on MountPoint.
QString UnmountCommandText(const QString& Node, const QString& MountPoint);

}  // namespace kestrel::app
