// Waiting for a drive to become ready, and starting an erase.

#include "burner/common/Clock.h"
#include "burner/device/AccessLayer.h"
#include "burner/device/EraseBuffers.h"
#include "burner/device/EraseThread.h"
#include "burner/device/SCSIDevice.h"

namespace kestrel {

namespace {

constexpr uint8_t kNotReadyInProgress = 0x04;
const char* const kEraseRunning = "THE DRIVE IS BUSY ERASING A DISC";

}  // namespace

uint8_t TSCSIDevice::SenseASC() const { return senseBuffer_[12]; }

bool TSCSIDevice::WaitForReady(int BudgetMs, int IntervalMs) {
    const int interval = IntervalMs > 0 ? IntervalMs : 1;
    int64_t remaining = BudgetMs;
    senseBuffer_.fill(0);

    if (quirks_.PollReadyFirst || quirks_.SlowReadyDrive) {
        do {
            SleepMs(1500);
            remaining -= 1500;
            if (remaining < 0) break;
            TestUnitReady(5000);
        } while (LastASC() == kNotReadyInProgress);
    }

    if (LastDiscType == mtDVDRAM) {
        senseBuffer_[12] = kNotReadyInProgress;
    } else {
        do {
            SleepMs(interval);
            ReadDiscInformation();
            remaining -= interval;
            if (remaining < 0) return false;
        } while (LastASC() == kNotReadyInProgress);
    }

    if (TestUnitReady(5000) && SenseASC() == 0) return true;

    do {
        SleepMs(interval);
        remaining -= interval;
        if (remaining < 0) return false;
        TestUnitReady(5000);
    } while (LastASC() == kNotReadyInProgress);

    for (;;) {
        senseBuffer_.fill(0);
        RequestSense(senseBuffer_.data(), uint8_t(senseBuffer_.size()));
        remaining -= interval;
        if (remaining < 0) return false;
        if (senseBuffer_[0] == 0xF0) senseBuffer_[12] = kNotReadyInProgress;
        if (SenseASC() == 0) return true;
        if (SenseASC() == kNotReadyInProgress) SleepMs(interval);
    }
}

bool TSCSIDevice::ReadyForErase() { return TestUnitReady(5000) || WaitForReady(30000, 5000); }

uint16_t TSCSIDevice::EstimatedEraseSeconds(uint8_t Type, bool Quick) const {
    if (IsCDMedium(Type)) return Quick ? 150 : 4500;
    if (IsBDMedium(Type)) return Quick ? 120 : 9000;  // a full format certifies every cluster
    if (Quick) return Type == mtDVDRW ? 180 : 600;
    return 4440;
}

bool TSCSIDevice::StartEraseCommand(uint8_t Type, bool Quick, bool& StartFailed) {
    StartFailed = false;
    const auto& zeros = ZeroBlocks();
    switch (Type) {
        case mtDVDRAM:
            if (!Quick) return FormatUnit(0x11, kDVDRAMFormatList.data(), uint32_t(kDVDRAMFormatList.size()));
            for (uint32_t lba = 0; lba <= 320; lba += 32)
                if (!Write10(lba, 32, SRB_FLAGS_OUT, zeros.data(), uint32_t(zeros.size()))) StartFailed = true;
            SynchronizeCache(false, 30000);
            return true;
        case mtDVDPlusRW:
            if (FormatUnit(0x11, kDVDPlusRWFormatList.data(), uint32_t(kDVDPlusRWFormatList.size()))) return true;
            RezeroUnit();
            SleepMs(1000);
            return FormatUnit(0x11, kDVDPlusRWFormatList.data(), uint32_t(kDVDPlusRWFormatList.size()));
        case mtBDRE: {
            // BD-RE has no blanking: it is formatted again. A quick erase
            // keeps the disc's format; a complete one certifies every
            // cluster, with the disc's size where spare areas allow it,
            // else with the drive's usual spare.
            const auto quick = BDREFormatList(0, mmc::format::kQuickReformat);
            constexpr uint8_t withList = mmc::format::kWithParameterList;
            if (Quick) return FormatUnit(withList, quick.data(), uint32_t(quick.size()));
            uint32_t blocks = 0, blockLength = 0;
            if (!ReadFormatCapacities(blocks, blockLength)) blocks = 0;
            const auto sized = BDREFormatList(blocks, mmc::format::kFullCertification);
            const auto usual = BDREFormatList(0, mmc::format::kFullCertification);
            return FormatUnit(withList, sized.data(), uint32_t(sized.size())) ||
                   FormatUnit(withList, usual.data(), uint32_t(usual.size()));
        }
        default:
            return Blank(Quick ? 1 : 0);
    }
}

bool TSCSIDevice::EraseDisc(bool Quick) {
    if (erasing_) {
        DebugMsg(kEraseRunning, mtFailure);
        return false;
    }
    StopEraseThread();
    // Other programs stay off the drive while its disc is erased (and a
    // mounted disc is refused).
    const std::string held = TAccessLayer::Instance().HoldDriveExclusive(HaId, Target, Lun);
    if (!held.empty()) {
        DebugMsg(">>> " + held, mtFailure);
        return false;
    }
    TestUnitReady(5000);
    LoadEject(false);
    LastDiscType = GetDiscType();
    eraseMode_ = Quick ? 1 : 0;
    const uint8_t type = uint8_t(LastDiscType);
    if (!ReadyForErase()) return ReleaseEraseHold();
    if (type != mtDVDRAM) {
        SetCDSpeed(ReadSpeed, writeSpeed_);
        SetWriteParameters(false, false, false, type);
    }
    const uint16_t speed = GetCurrentWriteSpeed();
    if (!ReadyForErase()) return ReleaseEraseHold();
    InfoMsg(">>> STARTING ERASE PROCESS ON " + MediumTypeName(type) + " AT " + SpeedText(type, speed));

    bool startFailed = false;
    ClearDriveProgress();
    if (!StartEraseCommand(type, Quick, startFailed)) {
        erasing_ = false;
        ReleaseEraseHold();
        if (OnEraseDone) OnEraseDone(this, true);
        return false;
    }
    finalEraseProgress_ = 0;
    eraseThread_ = std::make_unique<TEraseThread>(*this, type, Quick, EstimatedEraseSeconds(type, Quick), startFailed);
    eraseThreadId_ = eraseThread_->Id();
    erasing_ = true;
    eraseThread_->Start();
    return true;
}

uint32_t TSCSIDevice::GetEraseProgress() const {
    return erasing_ && eraseThread_ ? eraseThread_->Progress.load() : 0;
}

TErasePhase TSCSIDevice::ErasePhase() const {
    return erasing_ && eraseThread_ ? eraseThread_->Phase.load() : TErasePhase::Idle;
}

std::optional<double> TSCSIDevice::EraseProgressFraction() const {
    if (!erasing_ || !eraseThread_) return std::nullopt;
    return eraseThread_->PhaseProgress();
}

std::string TSCSIDevice::CommandRefusal() const {
    if (erasing_ && std::this_thread::get_id() != eraseThreadId_.load()) return kEraseRunning;
    return {};
}

bool TSCSIDevice::ReleaseEraseHold() {
    TAccessLayer::Instance().ReleaseDriveExclusive(HaId, Target, Lun);
    return false;
}

void TSCSIDevice::FinishErase(bool WithError, bool Report, uint32_t Progress) {
    finalEraseProgress_ = Progress;
    ReleaseEraseHold();
    erasing_ = false;
    if (!Report) return;
    auto dispatcher = Dispatcher;
    std::weak_ptr<std::atomic<bool>> alive = alive_;
    dispatcher->Post([this, alive, WithError] {
        const auto isAlive = alive.lock();
        if (isAlive && *isAlive && OnEraseDone) OnEraseDone(this, WithError);
    });
}

void TSCSIDevice::StopEraseThread() {
    if (!eraseThread_) return;
    if (!alive_->load()) eraseThread_->Cancel();
    eraseThread_->Join();
    eraseThread_.reset();
}

}  // namespace kestrel
