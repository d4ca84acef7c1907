#include "burner/device/EraseThread.h"

#include <algorithm>
#include <cmath>

#include "burner/common/Clock.h"
#include "burner/device/EraseBuffers.h"
#include "burner/device/SCSIDevice.h"

namespace kestrel {

namespace {

constexpr uint8_t kNotReadyInProgress = 0x04;
constexpr uint16_t kZeroBlocks = 32;

// The step the erase command left the drive in.
TErasePhase FirstPhase(uint8_t Type, bool Quick) {
    if (Type == mtDVDRAM) return Quick ? TErasePhase::WritingZeros : TErasePhase::Formatting;
    if (Type == mtDVDPlusRW || Type == mtBDRE) return TErasePhase::Formatting;
    return TErasePhase::Blanking;
}

}  // namespace

TEraseThread::TEraseThread(TSCSIDevice& Burner, uint8_t MediumType_, bool Quick_, uint16_t EstimatedSeconds_,
                           bool StartFailed)
    : MediumType(MediumType_), Quick(Quick_), EstimatedSeconds(std::max<uint16_t>(EstimatedSeconds_, 1)),
      Phase(FirstPhase(MediumType_, Quick_)), WithError(StartFailed), burner_(Burner) {
    thread_ = std::thread([this, go = go_.get_future()]() mutable {
        go.wait();
        Execute();
        // Nothing may touch this object from here on: an OnEraseDone handler
        // running on this thread may already have released it.
    });
}

TEraseThread::~TEraseThread() {
    Cancel();
    Start();
    Join();
}

void TEraseThread::Start() {
    try {
        go_.set_value();
    } catch (const std::future_error&) {
        // already started
    }
}

void TEraseThread::Join() {
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else thread_.join();
}

void TEraseThread::UpdateProgress() {
    // The drive's own figure where it gives one; otherwise the time waited
    // against the estimate for the medium.
    const auto reported = burner_.DriveProgress();
    const double percent = reported ? std::round(*reported * 100.0)
                                    : std::round(double(elapsed_) / EstimatedSeconds * 100.0);
    Progress = uint32_t(std::min(percent, 100.0));
}

std::optional<double> TEraseThread::PhaseProgress() const {
    switch (Phase.load()) {
        case TErasePhase::Blanking:
        case TErasePhase::Formatting: return burner_.DriveProgress();
        case TErasePhase::WritingZeros: {
            const uint32_t total = zeroWritesTotal_;
            if (total == 0) return std::nullopt;
            return std::min(1.0, double(zeroWritesDone_) / total);
        }
        default: return std::nullopt;
    }
}

void TEraseThread::NoteLateFailure(const uint8_t* Sense) {
    if ((Sense[0] & 0x7E) != 0x70) return;
    const uint8_t key = Sense[2] & 0x0F, asc = Sense[12];
    if (asc == kNotReadyInProgress) return;
    const bool mediumOrHardware = key == 0x03 || key == 0x04;
    const bool eraseOrFormatFailed = asc == 0x51 || asc == 0x31;
    const bool mediumGone = asc == 0x3A;
    if (mediumOrHardware || eraseOrFormatFailed || mediumGone) {
        WithError = true;
        lateFailure_ = true;
    }
}

void TEraseThread::CheckLastCommand() {
    if (!burner_.LastError.empty()) NoteLateFailure(burner_.LastSense.data());
}

bool TEraseThread::KeepPolling() const {
    return burner_.LastASC() == kNotReadyInProgress && elapsed_ <= EstimatedSeconds && !lateFailure_ && Running();
}

void TEraseThread::PollTestUnitReady(uint32_t Step) {
    do {
        UpdateProgress();
        if (!burner_.TestUnitReady(5000)) {
            CheckLastCommand();
            SleepMs(2000);
        }
        elapsed_ += Step;
    } while (KeepPolling());
}

void TEraseThread::PollDiscInformation() {
    do {
        UpdateProgress();
        burner_.ReadDiscInformation();
        CheckLastCommand();
        elapsed_ += 5;
        if (burner_.LastASC() == kNotReadyInProgress) SleepMs(5000);
    } while (KeepPolling());
}

void TEraseThread::PollRequestSense() {
    auto& sense = burner_.senseBuffer_;
    do {
        UpdateProgress();
        sense.fill(0);
        burner_.RequestSense(sense.data(), uint8_t(sense.size()));
        elapsed_ += 2;
        if (sense[0] == 0xF0) sense[12] = kNotReadyInProgress;
        else NoteLateFailure(sense.data());
        SleepMs(2000);
    } while (sense[12] != 0 && elapsed_ <= EstimatedSeconds && !lateFailure_ && Running());
}

void TEraseThread::WaitForFormat() {
    do {
        SleepMs(2000);
        burner_.ReadDiscInformation();
        CheckLastCommand();
        elapsed_ += 2;
        UpdateProgress();
    } while (KeepPolling());
}

bool TEraseThread::WriteZeros(uint32_t Writes) {
    const auto& zeros = ZeroBlocks();
    zeroWritesDone_ = 0;
    zeroWritesTotal_ = Writes;
    Phase = TErasePhase::WritingZeros;
    for (uint32_t i = 0; i < Writes; ++i) {
        if (!Running()) return false;
        if (!burner_.Write10(i * kZeroBlocks, kZeroBlocks, SRB_FLAGS_OUT, zeros.data(), uint32_t(zeros.size()))) {
            WithError = true;
            return false;
        }
        zeroWritesDone_ = i + 1;
    }
    return true;
}

void TEraseThread::RestoreDrive() {
    Phase = TErasePhase::Finishing;
    Progress = 100;
    burner_.SetWriteParameters(false, false, false, mtCDROM);
    burner_.SetCDSpeed(burner_.GetMaxReadSpeed(), 2);
    burner_.RezeroUnit();
    burner_.AllowMediumRemoval(true);
    burner_.LoadEject(false);
    burner_.RezeroUnit();
    bool ready = burner_.TestUnitReady(5000);
    // A reload may leave one unit attention to clear before the drive answers.
    if (!ready && (burner_.LastSense[2] & 0x0F) == 0x06) ready = burner_.TestUnitReady(5000);
    if (!ready) WithError = true;
}

void TEraseThread::Execute() {
    Progress = 0;
    elapsed_ = 0;
    if (MediumType == mtDVDRWRestricted || MediumType == mtDVDRWSequential) {
        PollTestUnitReady(1);
        SleepMs(5000);
        PollTestUnitReady(1);
    } else if (MediumType == mtDVDPlusRW) {
        WaitForFormat();
        if (!lateFailure_ && WriteZeros(Quick ? 65 : 71001)) {
            Phase = TErasePhase::Finishing;
            SleepMs(300);
            elapsed_ += 1;
            UpdateProgress();
            burner_.SynchronizeCache(false, 30000);
            burner_.CloseTrackSessionEx(false, 3, 0, 0, 0);
        }
    } else if (MediumType == mtBDRE) {
        WaitForFormat();  // formatting again is the whole erase
    } else if (MediumType == mtDVDRAM && Quick) {
        if (WriteZeros(65)) burner_.SynchronizeCache(false, 30000);
        Phase = TErasePhase::Finishing;
        elapsed_ = 0;
    } else {
        elapsed_ = 0;
    }

    if (burner_.Quirks().SlowReadyDrive && Running()) {
        PollTestUnitReady(2);
        burner_.ReadDiscInformation();
        SleepMs(5000);
    }

    if (Running() && !lateFailure_ && (!burner_.TestUnitReady(5000) || !burner_.ReadDiscInformation())) {
        CheckLastCommand();
        if (MediumType != mtDVDRAM) PollDiscInformation();
        if (!lateFailure_) PollTestUnitReady(2);
        if (!lateFailure_) PollRequestSense();
    }

    if (!Running()) {
        burner_.FinishErase(WithError, false, Progress);
        return;
    }
    if (burner_.AccessLayerName() == "KRASPI32") burner_.ReinitializeASPI();
    RestoreDrive();
    burner_.FinishErase(WithError, true, Progress);
}

}  // namespace kestrel
