#include "burner/device/SenseDecoder.h"

#include "burner/device/MessageTable.h"

namespace kestrel {
namespace {

constexpr uint8_t kSenseKeyNoSense = 0x0;
constexpr uint8_t kSenseKeyNotReady = 0x2;
constexpr size_t kProgressEnd = 18;            // bytes up to the end of the indicator
constexpr uint8_t kSenseKeySpecificValid = 0x80;  // SKSV, byte 15

int HostAdapterStatusMessage(uint8_t HaStat) {
    switch (HaStat) {
        case 0x09: return msgCommandTimeout;
        case 0x0B: return msgSrbTimeout;
        case 0x0D: return msgMessageReject;
        case 0x0E: return msgBusReset;
        case 0x0F: return msgParityError;
        case 0x10: return msgRequestSenseFailed;
        case 0x11: return msgSelectionTimeout;
        case 0x12: return msgDataOverrun;
        case 0x13: return msgUnexpectedBusFree;
        default: return msgUnknown;
    }
}

int TargetStatusMessage(uint8_t TargStat) {
    switch (TargStat) {
        case 0x00:
        case STATUS_CHKCOND: return msgCheckCondition;
        case STATUS_BUSY: return msgTargetBusy;
        case 0x18: return msgTargetReservationConflict;
        case 0x28: return msgTargetQueueFull;
        default: return msgUnknown;
    }
}

int CompletedWithErrorMessage(uint8_t HaStat, uint8_t TargStat) {
    return HaStat == 0 ? TargetStatusMessage(TargStat) : HostAdapterStatusMessage(HaStat);
}

int NoSenseKeyMessage(uint8_t Byte2) {
    if (Byte2 & 0x80) return msgFilemark;
    if (Byte2 & 0x40) return msgEndOfMedia;
    if (Byte2 & 0x20) return msgIllegalLength;
    return msgNoAdditionalSense;
}

int SenseKeyMessage(uint8_t Key) {
    static constexpr int Keys[16] = {
        0, msgRecoveredError, msgNotReady, msgMediumError, msgHardwareError, msgIllegalRequest,
        msgUnitAttention, msgDataProtect, msgEraseCheck, msgCheckCondition, msgCopyAborted,
        msgAbortedCommand, msgCheckCondition, msgVolumeOverflow, msgMiscompare, msgReserved,
    };
    return Keys[Key & 0x0F];
}

}  // namespace

std::string StatusText(uint8_t Status, uint8_t HaStat, uint8_t TargStat, bool& Busy) {
    Busy = false;
    switch (Status) {
        case SS_PENDING:
        case SS_COMP: return {};
        case SS_ABORTED:
        case SS_ABORT_FAIL: return LoadMessage(msgAbortedByUser);
        case SS_ERR:
            Busy = HaStat == 0 && TargStat == STATUS_BUSY;
            return LoadMessage(CompletedWithErrorMessage(HaStat, TargStat));
        case SS_INVALID_CMD: return LoadMessage(msgInvalidRequest);
        case SS_INVALID_HA: return LoadMessage(msgInvalidHostAdapter);
        case SS_NO_DEVICE: return LoadMessage(msgNoDevice);
        case SS_INVALID_SRB: return LoadMessage(msgInvalidSrb);
        case SS_BUFFER_ALIGN: return LoadMessage(msgBufferAlignment);
        case SS_ASPI_IS_BUSY: return LoadMessage(msgAspiIsBusy);
        case SS_BUFFER_TO_BIG: return LoadMessage(msgBufferTooBig);
        default: return LoadMessage(msgUnknown);
    }
}

std::string SenseKeyText(const uint8_t* Sense, size_t Length) {
    auto byte = [&](size_t i) -> uint8_t { return Sense && i < Length ? Sense[i] : 0; };
    const uint8_t response = byte(0);
    if (response == 0) return {};
    if ((response & 0x7E) != 0x70) return LoadMessage(msgUnknown);
    const uint8_t key = byte(2) & 0x0F;
    return LoadMessage(key == 0 ? NoSenseKeyMessage(byte(2)) : SenseKeyMessage(key));
}

std::string AdditionalSenseMessage(uint8_t ASC, uint8_t ASCQ) {
    if (const char* text = AdditionalSenseText(ASC, ASCQ)) return text;
    return std::to_string(ASC) + "," + std::to_string(ASCQ);
}

std::string ErrorText(const SRB_ExecSCSICmd& Srb, bool& Busy) {
    std::string text = StatusText(Srb.SRB_Status, Srb.SRB_HaStat, Srb.SRB_TargStat, Busy);
    if (text == LoadMessage(msgCheckCondition)) text = SenseKeyText(Srb.SenseArea, sizeof Srb.SenseArea);
    if (Srb.SenseArea[7] != 0)
        text += " (" + AdditionalSenseMessage(Srb.SenseArea[12], Srb.SenseArea[13]) + ")";
    return text;
}

std::optional<double> SenseProgressIndicator(const uint8_t* Sense, size_t Length) {
    if (!Sense || Length < kProgressEnd) return std::nullopt;
    const bool fixedFormat = (Sense[0] & 0x7E) == 0x70;
    const uint8_t key = Sense[2] & 0x0F;
    const bool covered = size_t(Sense[7]) + 8 >= kProgressEnd;
    if (!fixedFormat || !covered || (key != kSenseKeyNotReady && key != kSenseKeyNoSense)) return std::nullopt;
    if (!(Sense[15] & kSenseKeySpecificValid)) return std::nullopt;
    return double(uint16_t(Sense[16] << 8 | Sense[17])) / 65536.0;
}

}  // namespace kestrel
