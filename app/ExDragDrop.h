#pragma once
// Lets the user drop files and folders from a file manager onto one control
// of the program and hands the dropped names over in one event. Drags that
// start inside the program (they carry the browser's own marker) are left to
// the control.
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>

class QMimeData;

namespace kestrel::app {

class TExDragDrop : public QObject {
    Q_OBJECT
public:
    using TDroppedEvent = std::function<void(TExDragDrop* Sender, int32_t ItemsCount)>;

    explicit TExDragDrop(QObject* Owner = nullptr);
    ~TExDragDrop() override;

    // The full paths of the last drop, in the order the file manager gave them.
    const QStringList& Items() const { return items_; }

    QWidget* Control() const { return control_; }
    // Attaches to Control (detaching from the previous one); null detaches.
    void SetControl(QWidget* Control);

    // Raised once per drop, after Items is filled.
    TDroppedEvent OnDropped;

    // True when the data comes from outside the program and names files.
    static bool IsShellDrop(const QMimeData* Data);
    // Takes a drop: fills Items and raises OnDropped. Returns the count.
    int Drop(const QMimeData* Data);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QWidget* DropTarget() const;

    QStringList items_;
    QPointer<QWidget> control_;
};

}  // namespace kestrel::app
