// Routing of CDBs to their handlers, and the readiness checks shared by them.

#include "model/Bytes.h"
#include "model/Drive.h"
#include "model/Sense.h"

namespace vdrive {

size_t Drive::Dispatch(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    auto need = [&](size_t Len) {
        if (Cmd.cdbLen < Len) sense::InvalidField();
    };
    switch (c[0]) {
    case 0x00: return TestUnitReady();
    case 0x01: RequireNoLongOp(); return 0;  // REZERO UNIT
    case 0x03: need(6); return RequestSense(Cmd);
    case 0x04: need(6); return FormatUnit(Cmd);
    case 0x08: need(6); return Read(Cmd, Get24(c + 1) & 0x1FFFFF, c[4] ? c[4] : 256);
    case 0x12: need(6); return Inquiry(Cmd);
    case 0x15: need(6); return ModeSelect(Cmd, false);
    case 0x1A: need(6); return ModeSense(Cmd, false);
    case 0x1B: need(6); return StartStopUnit(Cmd);
    case 0x1E: need(6); return PreventAllow(Cmd);
    case 0x23: need(10); return ReadFormatCapacities(Cmd);
    case 0x25: need(10); return ReadCapacity(Cmd);
    case 0x28: need(10); return Read(Cmd, Get32(c + 2), Get16(c + 7));
    case 0x2A: need(10); return Write(Cmd, Get32(c + 2), Get16(c + 7));
    case 0x2B: need(10); RequireReadableMedium(); return 0;  // SEEK (10)
    case 0x2F: need(10); return Verify(Cmd);
    case 0x35: need(10); return SynchronizeCache();
    case 0x3C: need(10); return ReadBuffer(Cmd);
    case 0x43: need(10); return ReadToc(Cmd);
    case 0x46: need(10); return GetConfiguration(Cmd);
    case 0x4A: need(10); return GetEventStatus(Cmd);
    case 0x51: need(10); return ReadDiscInformation(Cmd);
    case 0x52: need(10); return ReadTrackInformation(Cmd);
    case 0x53: need(10); return ReserveTrack(Cmd);
    case 0x54: need(10); return SendOpc();
    case 0x55: need(10); return ModeSelect(Cmd, true);
    case 0x5A: need(10); return ModeSense(Cmd, true);
    case 0x5B: need(10); return CloseTrackSession(Cmd);
    case 0x5C: need(10); return ReadBufferCapacity(Cmd);
    case 0x5D: need(10); return SendCueSheet(Cmd);
    case 0xA1: need(12); return Blank(Cmd);
    case 0xA7: need(12); return 0;  // SET READ AHEAD
    case 0xA8: need(12); return Read(Cmd, Get32(c + 2), Get32(c + 6));
    case 0xAA: need(12); return Write(Cmd, Get32(c + 2), Get32(c + 6));
    case 0xAC: need(12); return GetPerformance(Cmd);
    case 0xAD: need(12); return ReadDvdStructure(Cmd);
    case 0xB6: need(12); return SetStreaming(Cmd);
    case 0xBB: need(12); return SetCdSpeed(Cmd);
    case 0xBD: need(12); return MechanismStatus(Cmd);
    case 0xBE: need(12); return ReadCd(Cmd);
    case 0xBF: need(12); return SendDvdStructure(Cmd);
    default: sense::InvalidOpcode();
    }
}

void Drive::RequireNoLongOp() {
    if (state_.op == LongOp::None) return;
    uint8_t ascq = state_.op == LongOp::Format ? 0x04 : state_.op == LongOp::Close ? 0x08 : 0x07;
    throw CheckCondition(sense::kNotReady, 0x04, ascq, LongOpProgress(), true);
}

uint16_t Drive::LongOpProgress() const {
    if (state_.op == LongOp::None || state_.opEndMs <= state_.opStartMs) return 0;
    double part = double(WallClockMs() - state_.opStartMs) / double(state_.opEndMs - state_.opStartMs);
    part = std::clamp(part, 0.0, 1.0);
    return static_cast<uint16_t>(part * 65535.0);
}

Medium& Drive::RequireMedium() {
    RequireNoLongOp();
    if (!state_.medium) throw CheckCondition(sense::kNotReady, 0x3A, state_.trayOpen ? 0x02 : 0x01);
    if (state_.trayOpen) throw CheckCondition(sense::kNotReady, 0x3A, 0x02);
    return *state_.medium;
}

Medium& Drive::RequireReadableMedium() {
    Medium& m = RequireMedium();
    if (!model_.Reads(m.kind)) throw CheckCondition(sense::kNotReady, 0x30, 0x00);
    return m;
}

Medium& Drive::RequireWritableMedium() {
    Medium& m = RequireReadableMedium();
    if (!model_.Writes(m.kind)) sense::CannotWriteMedium();
    return m;
}

// Starts blank, format or close. Immediate operations return at once and
// report NOT READY with progress until the time is up; others finish before
// the command returns.
void Drive::StartLongOp(LongOp Op, double Seconds, bool Immediate) {
    double scaled = Seconds * knobs_.EffectiveTimeScale();
    auto ms = static_cast<int64_t>(scaled * 1000.0);
    if (ms <= 0) return;
    if (!Immediate) waitAfterMs_ = std::min<int64_t>(ms, 600000) + 2;
    state_.op = Op;
    state_.opStartMs = WallClockMs();
    state_.opEndMs = state_.opStartMs + ms;
    SaveState();
}

bool Drive::Simulating() const {
    return (writePage_[2] & 0x10) && model_.testWrite && state_.medium && state_.medium->Traits().canSimulate;
}

}  // namespace vdrive
