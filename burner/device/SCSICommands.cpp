#include "burner/device/SCSICommands.h"

#include <algorithm>
#include <cstdint>

#include "burner/common/Clock.h"
#include "burner/device/AccessLayer.h"
#include "burner/device/CompletionEvent.h"
#include "burner/device/FailureReport.h"
#include "burner/device/SenseDecoder.h"

namespace kestrel {
namespace {

// Every command may take at least this long.
constexpr int MinimumTimeoutMs = 10000;
// A waiting time limit never shrinks below this much real time, however fast
// the clock seam runs.
constexpr int MinimumRealWaitMs = 1000;
// How long an aborted request is given to leave the layer.
constexpr int AbortGraceMs = 2000;
// Host adapter status of a request that did not complete in time.
constexpr uint8_t HostStatusCommandTimeout = 0x09;
// Sense bytes asked for with every command.
constexpr uint8_t SenseLengthAsked = 24;

std::chrono::steady_clock::time_point CommandDeadline(int TimeoutMs) {
    const std::chrono::microseconds scaled = ScaledMs(TimeoutMs);
    const std::chrono::microseconds floor = std::chrono::milliseconds(std::min(TimeoutMs, MinimumRealWaitMs));
    return std::chrono::steady_clock::now() + std::max(scaled, floor);
}

uint8_t StatusOf(const SRB_ExecSCSICmd& Srb) {
    return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(Srb.SRB_Status)).load(std::memory_order_acquire);
}

TLayerLog LogTo(const TSCSICommands* Owner) {
    return [Owner](const std::string& Line) { Owner->DebugMsg(Line, mtFailure); };
}

}  // namespace

TSCSICommands::TSCSICommands() : ScratchBuffer(SCRATCH_BUFFER_SIZE, 0) {}
TSCSICommands::~TSCSICommands() = default;

// ---- Access layer ----

bool TSCSICommands::InitializeASPI(bool PreferPassThrough, const std::string& LibraryPath) {
    try {
        if (!TAccessLayer::Instance().Initialize(PreferPassThrough, LibraryPath, LogTo(this))) return false;
        AccessLayerLoaded();
        return TAccessLayer::Instance().Initialized();
    } catch (...) {
        return false;
    }
}

bool TSCSICommands::ReinitializeASPI() {
    TAccessLayer::Instance().Reinitialize(LogTo(this));
    if (TAccessLayer::Instance().Initialized()) AccessLayerLoaded();
    return true;
}

bool TSCSICommands::ASPIInitialized() const { return TAccessLayer::Instance().Initialized(); }
std::string TSCSICommands::AccessLayerName() const { return TAccessLayer::Instance().Name(); }
uint32_t TSCSICommands::SendASPI32Command(void* Srb) const { return TAccessLayer::Instance().SendASPI32Command(Srb); }
uint32_t TSCSICommands::GetASPI32SupportInfo() const { return TAccessLayer::Instance().GetASPI32SupportInfo(); }

std::string TSCSICommands::PassThroughDriveLetter(uint8_t Ha, uint8_t Tg, uint8_t Ln) const {
    return TAccessLayer::Instance().PassThroughDriveNode(Ha, Tg, Ln);
}

std::string TSCSICommands::DriveName(uint8_t Ha, uint8_t Tg, uint8_t Ln) const {
    return TAccessLayer::Instance().DriveName(Ha, Tg, Ln);
}

void TSCSICommands::SetCloseAfterCommand(bool Value) const { TAccessLayer::Instance().SetCloseAfterCommand(Value); }

// ---- Command execution ----

void TSCSICommands::ResetFailureState() {
    LastError.clear();
    LastSense.fill(0);
    TargetBusy = false;
    LastTransferred = 0;
}

int TSCSICommands::ExecuteCommand(SRB_ExecSCSICmd& Srb, int TimeoutMs) {
    ResetFailureState();
    if (!TAccessLayer::Instance().Initialized() || HaId == NO_DEVICE_ID) return EXEC_NOT_SENT;
    if (std::string refusal = CommandRefusal(); !refusal.empty()) {
        LastError = std::move(refusal);
        return EXEC_NOT_SENT;
    }
    Srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    Srb.SRB_HaId = HaId;
    Srb.SRB_Target = Target;
    Srb.SRB_Lun = Lun;
    Srb.SRB_SenseLen = SenseLengthAsked;
    Srb.CDBByte[1] = uint8_t((Lun & 7) << 5 | (Srb.CDBByte[1] & 0x1F));

    const bool completed = SendAndWait(Srb, std::max(TimeoutMs, MinimumTimeoutMs));

    const uint8_t status = StatusOf(Srb);
    if (completed && status != SS_COMP && status != SS_PENDING) {
        LastError = ErrorText(Srb, TargetBusy);
        std::copy_n(Srb.SenseArea, LAST_SENSE_SIZE, LastSense.begin());
        NoteDriveProgress(LastSense.data(), LastSense.size());
    }
    if (completed) ConsiderFailureReport(Srb);
    else AbortTimedOut(Srb);
    if (reinterpret_cast<uintptr_t>(Srb.SRB_BufPointer) % 4 != 0)
        DebugMsg("aaaa" + std::to_string(reinterpret_cast<uintptr_t>(Srb.SRB_BufPointer)), mtDevice);
    return 1;
}

bool TSCSICommands::SendAndWait(SRB_ExecSCSICmd& Srb, int TimeoutMs) {
    TCompletionEvent event;
    const bool byEvent = Srb.SRB_Flags & SRB_EVENT_NOTIFY;
    Srb.SRB_PostProc = byEvent ? event.Descriptor() : 0;
    // The residual count tells how much the drive really moved; the request
    // reads as the caller built it again afterwards.
    const uint8_t flags = Srb.SRB_Flags;
    const uint32_t length = Srb.SRB_BufLen;
    Srb.SRB_Flags |= SRB_ENABLE_RESIDUAL_COUNT;

    TAccessLayer::Instance().SendASPI32Command(&Srb, TimeoutMs);
    const bool completed = event.WaitWhilePending(Srb.SRB_Status, CommandDeadline(TimeoutMs));
    if (!completed) {
        // Still pending: abort it and give the layer a moment to let go of
        // the request before this frame's buffers may disappear.
        SRB_Abort abort{};
        abort.SRB_Cmd = SC_ABORT_SRB;
        abort.SRB_HaId = HaId;
        abort.SRB_ToAbort = &Srb;
        TAccessLayer::Instance().SendASPI32Command(&abort);
        if (!event.WaitWhilePending(Srb.SRB_Status, std::chrono::steady_clock::now() +
                                                        std::chrono::milliseconds(AbortGraceMs)))
            event.Abandon();
    }
    LastTransferred = Srb.SRB_BufLen <= length ? length - Srb.SRB_BufLen : length;
    if (LastTransferred == 0 && Srb.SRB_BufLen == length && StatusOf(Srb) == SS_COMP) LastTransferred = length;
    Srb.SRB_BufLen = length;
    Srb.SRB_Flags = flags;
    return completed;
}

// A request that timed out ends as completed with error, host adapter status
// "command timeout", and no error text.
void TSCSICommands::AbortTimedOut(SRB_ExecSCSICmd& Srb) {
    Srb.SRB_HaStat = HostStatusCommandTimeout;
    std::atomic_ref<uint8_t>(Srb.SRB_Status).store(SS_ERR, std::memory_order_release);
}

void TSCSICommands::ConsiderFailureReport(const SRB_ExecSCSICmd& Srb) {
    if (FailureReported || probeDepth_ > 0 || !IsReportableFailure(Srb)) return;
    FailureReported = true;
    DebugMsg(FailureLine(Srb, LastError), mtDevice);
}

void TSCSICommands::NoteDriveProgress(const uint8_t* Sense, size_t Length) {
    if (const auto progress = SenseProgressIndicator(Sense, Length))
        driveProgress_ = static_cast<int32_t>(*progress * 65536.0);
}

std::optional<double> TSCSICommands::DriveProgress() const {
    const int32_t progress = driveProgress_;
    if (progress == kNoDriveProgress) return std::nullopt;
    return progress / 65536.0;
}

// ---- Byte order ----

uint32_t TSCSICommands::MSFToLBA(uint32_t Hours, uint32_t Minutes, uint32_t Seconds, uint32_t Frames) {
    return Hours * 270000 + Minutes * 4500 + Seconds * 75 + Frames;
}

uint16_t TSCSICommands::SwapWord(uint16_t Value) { return uint16_t(Value << 8 | Value >> 8); }

uint32_t TSCSICommands::SwapDWord(uint32_t Value) {
    return (Value >> 24) | ((Value >> 8) & 0xFF00) | ((Value << 8) & 0xFF0000) | (Value << 24);
}

}  // namespace kestrel
