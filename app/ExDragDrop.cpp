#include "app/ExDragDrop.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "app/DragMarker.h"

namespace kestrel::app {

namespace {

// A local file keeps its path; an SMB address becomes the "//host/share/..."
// form the compilation knows; anything else is taken as it is written.
QString PathOfUrl(const QUrl& Url) {
    if (Url.isLocalFile()) return Url.toLocalFile();
    if (Url.scheme() == QLatin1String("smb") && !Url.host().isEmpty())
        return QStringLiteral("//") + Url.host() + Url.path();
    return Url.toString();
}

}  // namespace

TExDragDrop::TExDragDrop(QObject* Owner) : QObject(Owner) {}

TExDragDrop::~TExDragDrop() { SetControl(nullptr); }

QWidget* TExDragDrop::DropTarget() const {
    if (!control_) return nullptr;
    // Item views receive drag events on their viewport.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control_.data())) return area->viewport();
    return control_;
}

void TExDragDrop::SetControl(QWidget* Control) {
    if (Control == control_) return;
    if (QWidget* old = DropTarget()) old->removeEventFilter(this);
    control_ = Control;
    if (QWidget* target = DropTarget()) {
        control_->setAcceptDrops(true);
        target->setAcceptDrops(true);
        target->installEventFilter(this);
    }
}

bool TExDragDrop::IsShellDrop(const QMimeData* Data) {
    return Data && Data->hasUrls() && !Data->hasFormat(kBrowserDragFormat);
}

int TExDragDrop::Drop(const QMimeData* Data) {
    items_.clear();
    for (const QUrl& url : Data->urls()) items_.append(PathOfUrl(url));
    const auto count = static_cast<int32_t>(items_.size());
    if (OnDropped) OnDropped(this, count);
    return count;
}

bool TExDragDrop::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched != DropTarget()) return QObject::eventFilter(Watched, Event);
    switch (Event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(Event);
            if (!IsShellDrop(drag->mimeData())) return false;
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(Event);
            if (!IsShellDrop(drop->mimeData())) return false;
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            Drop(drop->mimeData());
            return true;
        }
        default:
            return false;
    }
}

}  // namespace kestrel::app
