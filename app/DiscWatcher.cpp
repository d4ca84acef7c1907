#include "app/DiscWatcher.h"

#include <QElapsedTimer>

#include "burner/device/SCSIDevice.h"

namespace kestrel::app {

TDiscWatcher::TDiscWatcher(QObject* Parent) : QObject(Parent), probe_(std::make_unique<TSCSIDevice>()) {
    probe_->DoDebug = false;
    connect(&timer_, &QTimer::timeout, this, &TDiscWatcher::Tick);
}

TDiscWatcher::~TDiscWatcher() = default;

void TDiscWatcher::SetDrive(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    probe_->HaId = HaId;
    probe_->Target = Target;
    probe_->Lun = Lun;
    Refresh();
}

void TDiscWatcher::Start(int IntervalMs) {
    intervalMs_ = IntervalMs;
    timer_.start(IntervalMs);
    Refresh();
}

void TDiscWatcher::Stop() { timer_.stop(); }

void TDiscWatcher::Refresh() {
    stale_ = true;
    QTimer::singleShot(0, this, &TDiscWatcher::Tick);
}

void TDiscWatcher::Tick() {
    if (DriveBusy && DriveBusy()) {
        // What the burn or erase did is read once the drive is free again.
        stale_ = true;
        return;
    }
    QElapsedTimer clock;
    clock.start();
    const std::optional<TDriveLook> look = LookAtDrive(*probe_);
    if (timer_.isActive()) timer_.setInterval(clock.elapsed() > kSlowLookMs ? kSlowIntervalMs : intervalMs_);
    if (look == last_ && !stale_) return;
    last_ = look;
    stale_ = false;
    if (look && look->Present) {
        Publish(ReadDiscSpace(*probe_));
        return;
    }
    TDiscSpace empty;
    if (look) empty.State = TDiscSpace::TState::NoDisc;
    Publish(empty);
}

const TDiscSpace& TDiscWatcher::ReadNow() {
    last_ = LookAtDrive(*probe_);
    stale_ = false;
    Publish(ReadDiscSpace(*probe_));
    return disc_;
}

void TDiscWatcher::Publish(const TDiscSpace& Disc) {
    if (Disc == disc_) return;
    disc_ = Disc;
    emit DiscChanged(disc_);
}

}  // namespace kestrel::app
