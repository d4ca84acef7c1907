#pragma once
// The device layer as the burner sees it: one selected drive with its
// discovery, capabilities, disc information, unit control, erasing and
// write parameters, on top of command execution.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "burner/common/Dispatcher.h"
#include "burner/device/Capabilities.h"
#include "burner/device/MediumTables.h"
#include "burner/device/SCSICommands.h"
#include "burner/device/WriteParameters.h"

namespace kestrel {

class TSCSIDevice;
class TEraseThread;

using TDeviceChangedEvent = std::function<void(TSCSIDevice* Sender)>;
using TEraseDoneEvent = std::function<void(TSCSIDevice* Sender, bool WithError)>;

// What a running erase is doing, for front ends that name the step.
enum class TErasePhase {
    Idle,          // no erase runs
    Blanking,      // the drive blanks the disc
    Formatting,    // the drive formats the disc
    WritingZeros,  // zeros are written from the disc's start (DVD+RW, quick DVD-RAM erase)
    Finishing,     // the drive is waited for and set back for reading
};

// The disc summary handed to the front end.
struct TDisc {
    bool Ready = false;
    uint32_t Capacity = 0;     // blocks
    uint32_t Blocks = 0;       // block count of the source that fixed the capacity
    uint32_t BlockSize = 0;
    uint8_t FirstSession = 0;
    uint8_t LastSession = 0;
    uint8_t LastSessionState = 0;
    uint8_t DiscStatus = 0;
    uint16_t Profile = 0;
    std::string MediumName;
    bool Erasable = false;
};

// The last session of a write-once or sequentially written disc as a failed
// or interrupted write leaves it: open, with tracks that hold recorded blocks
// or a reservation. A new session cannot follow it (the drive would write the
// new image inside it, where no reader looks) until it is closed.
struct TUnfinishedSession {
    uint16_t Session = 0;
    uint16_t FirstTrack = 0;       // its first written or reserved track
    uint16_t LastTrack = 0;        // its last written or reserved track
    uint32_t Start = 0;            // LBA of its first track
    uint32_t RecordedBlocks = 0;   // blocks written in its tracks
};

class TSCSIDevice : public TSCSICommands {
public:
    TSCSIDevice();
    ~TSCSIDevice() override;
    TSCSIDevice(const TSCSIDevice&) = delete;
    TSCSIDevice& operator=(const TSCSIDevice&) = delete;

    // Where OnEraseDone and OnWriteDone are raised: the program's main thread.
    void SetDispatcher(std::shared_ptr<TMainThreadDispatcher> D) { Dispatcher = std::move(D); }
    std::shared_ptr<TMainThreadDispatcher> Dispatcher = std::make_shared<TDirectDispatcher>();

    // ---- Discovery and identification -------------------------------------
    int HostAdapterInquiry(uint8_t Adapter);
    void ScanDevices();
    // The device node (pass-through) or the library's name of the selected
    // drive; empty when unknown.
    std::string GetDriveLetter() const;
    void SelectDevice(const std::string& Line);
    void ReadDeviceInfo();
    // A copy of the device list, one line per drive in scan order.
    std::vector<std::string> Devices() const;
    const std::string& CurrentDevice() const { return currentDevice_; }
    int8_t HostAdapterCount() const { return hostAdapterCount_; }
    TDeviceChangedEvent OnDeviceChange;

    // ---- Capabilities and speeds -----------------------------------------
    bool ReadCapabilities();
    uint16_t GetMaxWriteSpeed();
    uint16_t GetMaxReadSpeed();
    uint16_t GetCurrentWriteSpeed();
    void SetWriteSpeed(uint16_t Value);
    uint16_t WriteSpeed() const { return writeSpeed_; }
    uint32_t Capabilities() const { return capabilities_; }
    uint16_t DeviceMaxWriteSpeed() const { return deviceMaxWriteSpeed_; }
    uint16_t DeviceMaxReadSpeed() const { return deviceMaxReadSpeed_; }
    const TCapabilitiesPage& CapabilitiesPage() const { return capsPage_; }
    const TDriveQuirks& Quirks() const { return quirks_; }
    uint16_t ReadSpeed = 0;  // KB/s, 0 = maximum

    // Options of the write that the write parameters page reflects.
    bool FinalizeDisc = false;
    bool TestWrite = false;
    bool UnderrunProtection = true;

    // ---- Medium and disc information -------------------------------------
    uint8_t GetDiscType();
    uint8_t EraseMode() const { return eraseMode_; }
    bool DiscIsErasable();
    int16_t GetDiscStatus();
    uint16_t GetSessionCount();
    uint32_t GetUsedBlocks();
    uint32_t GetFreeBlocks();
    uint32_t GetDiscCapacity();
    uint32_t GetISOVolumeSize();
    void GetDiscInformation(TDisc& Disc);
    uint16_t LastDiscType = 0;
    // The unfinished session a failed or interrupted write left at the end
    // of the disc (CD-R/RW, DVD-R, sequential DVD-RW, DVD+R, DVD+R DL);
    // nothing when the last session is closed or empty, or the medium is
    // overwritable. Read from READ DISC INFORMATION and READ TRACK
    // INFORMATION as drives report them.
    std::optional<TUnfinishedSession> FindUnfinishedSession();
    // Whether the disc in the drive holds such a session: a burn must close
    // it first (TKestrelBurner::CloseUnfinishedSession) or be refused.
    bool HoldsUnfinishedSession() { return FindUnfinishedSession().has_value(); }
    // True for a formatted overwritable disc (DVD-RAM, DVD+RW, restricted
    // overwrite DVD-RW) without a file system: drives report such a disc as
    // complete, with one session over the whole formatted area, although
    // nothing was ever written to it (an erased DVD+RW). False when the
    // sectors cannot be read: only what was read is taken as empty.
    bool HoldsNoFileSystem();

    // ---- Unit control and erasing ----------------------------------------
    bool WaitForReady(int BudgetMs, int IntervalMs);
    bool EraseDisc(bool Quick);
    // Percent done of the running erase: from the drive's own progress
    // indicator once it reported one, else estimated from the time waited.
    uint32_t GetEraseProgress() const;
    TErasePhase ErasePhase() const;
    // Fraction of the current erase phase done, where it is known: the
    // drive's own progress indicator while it blanks or formats, the zero
    // writes done while they run. nullopt when nothing reports it (a drive
    // without the indicator), never an estimate.
    std::optional<double> EraseProgressFraction() const;
    // The progress the last erase ended with: 100 when the erase thread ran
    // to its end (GetEraseProgress is 0 again by the time OnEraseDone fires).
    uint32_t FinalEraseProgress() const { return finalEraseProgress_; }
    bool Erasing() const { return erasing_; }
    // Waits until the erase thread has ended, OnEraseDone included; returns
    // at once when none runs or when called from the erase thread itself.
    void WaitForEraseEnd() { StopEraseThread(); }
    TEraseDoneEvent OnEraseDone;

    // ---- Write parameters page -------------------------------------------
    bool SetWriteParameters(bool TestWrite, bool UnderrunProtection, bool Finalize, uint16_t Type);
    void ProbeWriteModes();
    uint8_t WriteModes() const { return writeModes_; }
    // The page as last prepared by SetWriteParameters (byte 0 = page code).
    const TWriteParametersPage& WriteParametersPage() const { return writePage_; }

protected:
    // Refuses commands from other threads while the erase thread owns the drive.
    std::string CommandRefusal() const override;
    // Refreshes the adapter count and the device list.
    void AccessLayerLoaded() override;

private:
    friend class TEraseThread;

    int HostAdapterInquiry(uint8_t Adapter, SRB_HAInquiry& Srb);
    std::string InquiryVendor() const;
    std::string InquiryProduct() const;
    std::string InquiryRevision() const;
    bool VendorPageTest();
    void ClearSelection();
    void ApplyQuirks();
    bool ReadAtip(std::array<uint8_t, 26>& Atip, size_t Needed);
    uint32_t TrackOfNextSession(uint32_t Session) const;
    uint32_t LastTrackOfClosedSessions(uint32_t Session) const;
    // Sends the write parameters of a finalizing write for the medium, as
    // the space queries need before the drive's addresses can be trusted.
    void PrepareSpaceQuery(uint8_t Type);
    bool ReadWriteParametersPage(std::vector<uint8_t>& Reply, size_t& Offset, size_t& Available);
    bool ReadyForErase();
    bool StartEraseCommand(uint8_t Type, bool Quick, bool& StartFailed);
    uint16_t EstimatedEraseSeconds(uint8_t Type, bool Quick) const;
    // Ends the erase: Erasing goes False and, when Report, OnEraseDone is
    // posted to the main thread.
    void FinishErase(bool WithError, bool Report, uint32_t Progress);
    // Lets other programs at the drive again; false, for early returns.
    bool ReleaseEraseHold();
    void StopEraseThread();
    uint8_t SenseASC() const;

    mutable std::mutex devicesLock_;
    std::vector<std::string> devices_;
    std::string currentDevice_;
    int8_t hostAdapterCount_ = -1;

    uint32_t capabilities_ = 0;
    uint16_t deviceMaxWriteSpeed_ = 0;
    uint16_t deviceMaxReadSpeed_ = 0;
    uint16_t writeSpeed_ = 0;
    TCapabilitiesPage capsPage_;
    TDriveQuirks quirks_;

    uint8_t writeModes_ = 0;
    TWriteParametersPage writePage_{};

    std::atomic<bool> erasing_{false};
    std::atomic<uint32_t> finalEraseProgress_{0};
    uint8_t eraseMode_ = 0;
    std::unique_ptr<TEraseThread> eraseThread_;
    std::atomic<std::thread::id> eraseThreadId_{};
    // False once the component is being destroyed; a posted OnEraseDone
    // checks it before touching the component.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    // The REQUEST SENSE buffer of the waiting loops; byte 12 is the ASC.
    alignas(8) std::array<uint8_t, 40> senseBuffer_{};
};

}  // namespace kestrel
