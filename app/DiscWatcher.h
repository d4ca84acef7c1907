#pragma once
// Keeps the fill meter's picture of the disc current: a slow timer takes a
// cheap look at the drive and reads the disc again only when that look
// changed, when the drive was busy with a burn or an erase meanwhile, or
// when asked to (a drive change, Load, Eject, Refresh).
//
// The looks run on the GUI thread, between the window's own commands, so
// they never meet a command of the burner half way; each is one to three
// short queries. They go through a device object of their own: its lines
// stay out of the log, and a failed query here never uses up the burner's
// one detailed failure report.
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/DiscSpace.h"

namespace kestrel {
class TSCSIDevice;
}

namespace kestrel::app {

class TDiscWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultIntervalMs = 2000;
    // A drive that takes longer than this to answer a look is looked at
    // only every kSlowIntervalMs, so it cannot keep stalling the window.
    static constexpr int kSlowLookMs = 1500;
    static constexpr int kSlowIntervalMs = 30000;

    explicit TDiscWatcher(QObject* Parent = nullptr);
    ~TDiscWatcher() override;

    // Follows the drive at this address; the disc is read at the next turn.
    void SetDrive(uint8_t HaId, uint8_t Target, uint8_t Lun);
    // While this says true, the drive is left alone (a burn or an erase owns it).
    std::function<bool()> DriveBusy;

    void Start(int IntervalMs = kDefaultIntervalMs);
    void Stop();
    // Reads the disc again at the next turn of the event loop.
    void Refresh();
    // Reads the disc now (the drive must not be busy) and publishes it.
    const TDiscSpace& ReadNow();
    const TDiscSpace& Disc() const { return disc_; }

signals:
    void DiscChanged(const kestrel::app::TDiscSpace& Disc);

private:
    void Tick();
    void Publish(const TDiscSpace& Disc);

    std::unique_ptr<TSCSIDevice> probe_;
    QTimer timer_;
    int intervalMs_ = kDefaultIntervalMs;
    std::optional<TDriveLook> last_;
    bool stale_ = true;
    TDiscSpace disc_;
};

}  // namespace kestrel::app
