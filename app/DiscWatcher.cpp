#include "app/DiscWatcher.h"

#include <QElapsedTimer>

#include "app/DriveWorker.h"
#include "burner/device/SCSIDevice.h"

namespace kestrel::app {

TDiscWatcher::TDiscWatcher(TDriveWorker& Worker, QObject* Parent)
    : QObject(Parent), worker_(Worker), probe_(std::make_unique<TSCSIDevice>()) {
    probe_->DoDebug = false;
    connect(&timer_, &QTimer::timeout, this, &TDiscWatcher::Tick);
}

TDiscWatcher::~TDiscWatcher() = default;

void TDiscWatcher::SetDrive(uint8_t HaId, uint8_t Target, uint8_t Lun) {
    address_ = {HaId, Target, Lun};
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
    if (looking_) {
        lookAgain_ = true;
        return;
    }
    QTimer::singleShot(0, this, &TDiscWatcher::Tick);
}

void TDiscWatcher::Tick() {
    if (looking_) return;  // one look at a time
    if (DriveBusy && DriveBusy()) {
        // What the burn or erase did is read once the drive is free again.
        stale_ = true;
        return;
    }
    looking_ = true;
    lookAgain_ = false;
    worker_.Run([this, address = address_, stale = stale_, last = last_] { return Look(address, stale, last); },
                [this](const TLookResult& result) { Apply(result); });
}

TDiscWatcher::TLookResult TDiscWatcher::Look(TAddress Address, bool Stale, std::optional<TDriveLook> Last) {
    TLookResult result;
    // A burn may have started between the tick and this turn of the worker.
    if (DriveBusy && DriveBusy()) {
        result.Skipped = true;
        return result;
    }
    probe_->HaId = Address.HaId;
    probe_->Target = Address.Target;
    probe_->Lun = Address.Lun;
    QElapsedTimer clock;
    clock.start();
    result.Look = LookAtDrive(*probe_);
    result.LookMs = clock.elapsed();
    if (result.Look == Last && !Stale) return result;
    if (result.Look && result.Look->Present) {
        result.Disc = ReadDiscSpace(*probe_);
    } else {
        TDiscSpace empty;
        if (result.Look) empty.State = TDiscSpace::TState::NoDisc;
        result.Disc = empty;
    }
    return result;
}

void TDiscWatcher::Apply(const TLookResult& Result) {
    looking_ = false;
    if (Result.Skipped) {
        stale_ = true;
    } else {
        if (timer_.isActive()) timer_.setInterval(Result.LookMs > kSlowLookMs ? kSlowIntervalMs : intervalMs_);
        // A Refresh asked for while the look ran reads the disc once more.
        if (Result.Disc && !lookAgain_) {
            last_ = Result.Look;
            stale_ = false;
            Publish(*Result.Disc);
        } else if (Result.Disc) {
            Publish(*Result.Disc);
        }
    }
    if (lookAgain_) QTimer::singleShot(0, this, &TDiscWatcher::Tick);
}

void TDiscWatcher::Publish(const TDiscSpace& Disc) {
    if (Disc == disc_) return;
    disc_ = Disc;
    emit DiscChanged(disc_);
}

}  // namespace kestrel::app
