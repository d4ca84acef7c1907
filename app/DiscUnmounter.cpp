#include "app/DiscUnmounter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QVariantMap>

#include <memory>

namespace kestrel::app {

namespace {

constexpr char kService[] = "org.freedesktop.UDisks2";
constexpr char kManagerPath[] = "/org/freedesktop/UDisks2/Manager";
constexpr char kManager[] = "org.freedesktop.UDisks2.Manager";
constexpr char kFilesystem[] = "org.freedesktop.UDisks2.Filesystem";
constexpr char kBlockDevices[] = "/org/freedesktop/UDisks2/block_devices/";

bool IsMissingService(const QDBusError& Error) {
    return Error.type() == QDBusError::ServiceUnknown || Error.type() == QDBusError::NoServer ||
           Error.type() == QDBusError::Disconnected || Error.type() == QDBusError::NoReply;
}

// Runs Then with the reply of Call once it has come, on the GUI thread.
void WhenAnswered(const QDBusPendingCall& Call, QObject* Context,
                  std::function<void(const QDBusPendingCall&)> Then) {
    auto* watcher = new QDBusPendingCallWatcher(Call, Context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, Context,
                     [Then = std::move(Then)](QDBusPendingCallWatcher* w) {
                         Then(*w);
                         w->deleteLater();
                     });
}

void UnmountObject(QDBusConnection Bus, const QString& Path, QObject* Context, TDiscUnmounter::TDone Done) {
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromUtf8(kService), Path, QString::fromUtf8(kFilesystem),
                                                       QStringLiteral("Unmount"));
    call << QVariantMap();
    WhenAnswered(Bus.asyncCall(call), Context, [Done](const QDBusPendingCall& Reply) {
        TUnmountResult result;
        if (Reply.isError()) {
            result.ServiceMissing = IsMissingService(Reply.error());
            result.Error = Reply.error().message();
        } else {
            result.Unmounted = true;
        }
        Done(result);
    });
}

}  // namespace

void TDiscUnmounter::Unmount(const QString& Node, TDone Done) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        Done({false, true, QStringLiteral("the system bus cannot be reached")});
        return;
    }
    // The block device's object, as udisks2 resolves the node (links
    // included); older udisks2 lack ResolveDevice, and their object is
    // named after the node.
    QDBusMessage resolve = QDBusMessage::createMethodCall(QString::fromUtf8(kService), QString::fromUtf8(kManagerPath),
                                                          QString::fromUtf8(kManager), QStringLiteral("ResolveDevice"));
    resolve << QVariantMap{{QStringLiteral("path"), Node}} << QVariantMap();
    const QString fallback = QString::fromUtf8(kBlockDevices) + QFileInfo(Node).fileName();
    WhenAnswered(bus.asyncCall(resolve), this, [this, bus, fallback, Done](const QDBusPendingCall& Call) {
        QDBusPendingReply<QList<QDBusObjectPath>> reply = Call;
        if (reply.isError() && IsMissingService(reply.error())) {
            Done({false, true, reply.error().message()});
            return;
        }
        const QString path = !reply.isError() && !reply.value().isEmpty() ? reply.value().first().path() : fallback;
        UnmountObject(bus, path, this, Done);
    });
}

QString UnmountCommandText(const QString& Node, const QString& MountPoint) {
    return QStringLiteral("umount \"%1\"   (or: udisksctl unmount -b %2)").arg(MountPoint, Node);
}

}  // namespace kestrel::app
