#pragma once
// Keeps the fill meter's picture of the disc current: a slow timer takes a
// cheap look at the drive and reads the disc again only when that look
// changed, when the drive was busy with a burn or an erase meanwhile, or
// when asked to (a drive change, Load, Eject, Refresh).
//
// The looks run on the window's drive worker, between the window's own
// drive commands, so they never meet a command of the burner half way and
// never stall the window; each is one to three short queries. They go
// through a device object of their own: its lines stay out of the log, and
// a failed query here never uses up the burner's one detailed failure
// report.
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

class TDriveWorker;

class TDiscWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultIntervalMs = 2000;
    // A drive that takes longer than this to answer a look is looked at
    // only every kSlowIntervalMs, so it cannot keep the worker busy.
    static constexpr int kSlowLookMs = 1500;
    static constexpr int kSlowIntervalMs = 30000;

    // Looks run on Worker; it must outlive the looks (the owner stops it first).
    explicit TDiscWatcher(TDriveWorker& Worker, QObject* Parent = nullptr);
    ~TDiscWatcher() override;

    // Follows the drive at this address; the disc is read at the next turn.
    void SetDrive(uint8_t HaId, uint8_t Target, uint8_t Lun);
    // While this says true, the drive is left alone (a burn or an erase owns
    // it). Asked on the worker thread too: it may read only thread-safe state.
    std::function<bool()> DriveBusy;

    void Start(int IntervalMs = kDefaultIntervalMs);
    void Stop();
    // Reads the disc again at the next turn of the event loop.
    void Refresh();
    const TDiscSpace& Disc() const { return disc_; }
    // Takes a disc read elsewhere (before a burn) as the current picture.
    void Publish(const TDiscSpace& Disc);

signals:
    void DiscChanged(const kestrel::app::TDiscSpace& Disc);

private:
    struct TAddress {
        uint8_t HaId = 0, Target = 0, Lun = 0;
    };
    struct TLookResult {
        bool Skipped = false;             // the drive was busy
        std::optional<TDriveLook> Look;
        std::optional<TDiscSpace> Disc;   // read again when the look changed
        int64_t LookMs = 0;
    };
    void Tick();
    // Worker thread.
    TLookResult Look(TAddress Address, bool Stale, std::optional<TDriveLook> Last);
    void Apply(const TLookResult& Result);

    TDriveWorker& worker_;
    std::unique_ptr<TSCSIDevice> probe_;  // used on the worker thread only
    QTimer timer_;
    int intervalMs_ = kDefaultIntervalMs;
    TAddress address_;
    std::optional<TDriveLook> last_;
    bool stale_ = true;
    bool looking_ = false;
    bool lookAgain_ = false;
    TDiscSpace disc_;
};

}  // namespace kestrel::app
