#pragma once
// The worker that watches a drive while it blanks or formats a disc, does
// the zero writes some media need, follows the drive's progress indicator
// (estimating from the time waited when the drive gives none) and reports
// the end through the component's OnEraseDone.
#include <atomic>
#include <cstdint>
#include <future>
#include <optional>
#include <thread>

#include "burner/device/SCSIDevice.h"

namespace kestrel {

class TEraseThread {
public:
    // StartFailed: the start already went wrong in a way only the end can
    // report (the first zero writes of a quick DVD-RAM erase failed).
    TEraseThread(TSCSIDevice& Burner, uint8_t MediumType, bool Quick, uint16_t EstimatedSeconds, bool StartFailed);
    ~TEraseThread();
    TEraseThread(const TEraseThread&) = delete;
    TEraseThread& operator=(const TEraseThread&) = delete;

    // Lets the thread run; until then it waits, so that the component can
    // record which thread owns the drive.
    void Start();
    // Asks the waiting loops to end early (the component is going away).
    void Cancel() { cancelled_ = true; }
    // Waits for the thread unless it is the calling thread (an OnEraseDone
    // handler that starts the next erase), which is then left to end alone.
    void Join();
    std::thread::id Id() const { return thread_.get_id(); }

    // Fraction of the current phase done, where the drive or the zero
    // writes report it (see TSCSIDevice::EraseProgressFraction).
    std::optional<double> PhaseProgress() const;

    std::atomic<uint32_t> Progress{0};
    const uint8_t MediumType;
    const bool Quick;
    const uint16_t EstimatedSeconds;
    std::atomic<TErasePhase> Phase;
    std::atomic<bool> WithError{false};

private:
    void Execute();
    void UpdateProgress();
    bool Running() const { return !cancelled_; }
    // Polling loops of the drive while it is busy with the erase.
    void PollTestUnitReady(uint32_t Step);
    void PollDiscInformation();
    void PollRequestSense();
    void WaitForFormat();
    // Zero writes of 32 blocks from LBA 0; False when one failed.
    bool WriteZeros(uint32_t Writes);
    bool KeepPolling() const;
    // A failure of the drive that is not "still busy": the blank or format
    // was refused after it had been accepted.
    void NoteLateFailure(const uint8_t* Sense);
    void CheckLastCommand();
    void RestoreDrive();

    TSCSIDevice& burner_;
    uint32_t elapsed_ = 0;  // seconds, advanced by the loops
    std::atomic<uint32_t> zeroWritesDone_{0};
    std::atomic<uint32_t> zeroWritesTotal_{0};
    bool lateFailure_ = false;
    std::atomic<bool> cancelled_{false};
    std::promise<void> go_;
    std::thread thread_;
};

}  // namespace kestrel
