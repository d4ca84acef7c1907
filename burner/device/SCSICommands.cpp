#include "burner/device/SCSICommands.h"

namespace kestrel {

TSCSICommands::TSCSICommands() : ScratchBuffer(SCRATCH_BUFFER_SIZE, 0) {}
TSCSICommands::~TSCSICommands() = default;

bool TSCSICommands::InitializeASPI(bool, const std::string&) { return false; }
bool TSCSICommands::ReinitializeASPI() { return false; }
bool TSCSICommands::ASPIInitialized() const { return false; }
std::string TSCSICommands::AccessLayerName() const { return {}; }
uint32_t TSCSICommands::SendASPI32Command(void*) const { return SS_NO_ASPI; }
uint32_t TSCSICommands::GetASPI32SupportInfo() const { return uint32_t(SS_NO_ADAPTERS) << 8; }
std::string TSCSICommands::PassThroughDriveLetter(uint8_t, uint8_t, uint8_t) const { return {}; }
std::string TSCSICommands::DriveName(uint8_t, uint8_t, uint8_t) const { return {}; }
void TSCSICommands::SetCloseAfterCommand(bool) const {}

int TSCSICommands::ExecuteCommand(SRB_ExecSCSICmd&, int) { ResetFailureState(); return EXEC_NOT_SENT; }
void TSCSICommands::ResetFailureState() { LastError.clear(); LastSense.fill(0); TargetBusy = false; }
bool TSCSICommands::Run(SRB_ExecSCSICmd&, int, bool) { return false; }
void TSCSICommands::ReportFailure(const SRB_ExecSCSICmd&) {}

bool TSCSICommands::TestUnitReady(int) { return false; }
bool TSCSICommands::RezeroUnit() { return false; }
bool TSCSICommands::RequestSense(uint8_t*, uint8_t) { return false; }
bool TSCSICommands::FormatUnit(uint8_t, const uint8_t*, uint32_t) { return false; }
bool TSCSICommands::Inquiry() { return false; }
bool TSCSICommands::LoadEject(bool) { return false; }
bool TSCSICommands::AllowMediumRemoval(bool) { return false; }
bool TSCSICommands::ReadFormatCapacities(uint32_t&, uint32_t&) { return false; }
bool TSCSICommands::ReadCapacity(uint32_t&, uint32_t&) { return false; }
bool TSCSICommands::Read10(uint32_t, uint16_t, void*, uint32_t) { return false; }
bool TSCSICommands::Write10(uint32_t, uint16_t, uint8_t, const void*, uint32_t) { return false; }
bool TSCSICommands::SynchronizeCache(bool, int) { return false; }
bool TSCSICommands::ReadTOC(bool, uint8_t, uint8_t, void*, uint16_t, uint8_t) { return false; }
bool TSCSICommands::GetConfiguration(uint8_t, uint16_t, void*, uint16_t) { return false; }
bool TSCSICommands::ReadDiscInformation() { return false; }
bool TSCSICommands::ReadTrackInformation(uint32_t, uint8_t) { return false; }
bool TSCSICommands::ReserveTrack(uint32_t) { return false; }
bool TSCSICommands::SendOPC() { return false; }
bool TSCSICommands::ModeSelect10(const void*, uint16_t) { return false; }
bool TSCSICommands::ModeSense10(uint8_t, bool, void*, uint16_t) { return false; }
bool TSCSICommands::CloseTrackSession(bool, bool, bool) { return false; }
bool TSCSICommands::CloseTrackSessionEx(bool, uint8_t, uint8_t, uint8_t, uint8_t) { return false; }
bool TSCSICommands::ReadBufferCapacity(uint32_t&, uint32_t&) { return false; }
bool TSCSICommands::ReadBufferCapacity() { return false; }
bool TSCSICommands::SendCueSheet(const void*, uint32_t) { return false; }
bool TSCSICommands::Blank(uint8_t) { return false; }
bool TSCSICommands::SetStreaming(const void*, uint16_t) { return false; }
bool TSCSICommands::SetCDSpeed(uint16_t, uint16_t) { return false; }
bool TSCSICommands::SendDVDStructure(uint8_t, const void*, uint16_t) { return false; }
bool TSCSICommands::SetStreamingSpeed(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) { return false; }
bool TSCSICommands::SendDVDTimeStamp(const std::tm&) { return false; }
uint32_t TSCSICommands::MSFToLBA(uint32_t H, uint32_t M, uint32_t S, uint32_t F) { return H * 270000 + M * 4500 + S * 75 + F; }
uint16_t TSCSICommands::SwapWord(uint16_t V) { return uint16_t(V << 8 | V >> 8); }
uint32_t TSCSICommands::SwapDWord(uint32_t V) { return __builtin_bswap32(V); }

}  // namespace kestrel
