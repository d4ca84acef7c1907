#pragma once
// The component's fixed messages: request status texts, sense key texts,
// operation messages and the additional sense (ASC/ASCQ) texts. They are
// compiled in and looked up on every use; nothing is cached by callers.
#include <cstdint>
#include <initializer_list>
#include <string>

namespace kestrel {

// Identifiers of the fixed messages (numbered from 64928 upward).
enum TMessageId : int {
    msgFirst = 64928,
    // Request status
    msgUnknown = msgFirst,
    msgAbortedByUser,
    msgCheckCondition,
    msgTargetBusy,
    msgTargetReservationConflict,
    msgTargetQueueFull,
    msgCommandTimeout,
    msgSrbTimeout,
    msgMessageReject,
    msgBusReset,
    msgParityError,
    msgRequestSenseFailed,
    msgSelectionTimeout,
    msgDataOverrun,
    msgUnexpectedBusFree,
    msgInvalidRequest,
    msgInvalidHostAdapter,
    msgNoDevice,
    msgInvalidSrb,
    msgBufferAlignment,
    msgAspiIsBusy,
    msgBufferTooBig,
    // Sense keys
    msgFilemark,
    msgEndOfMedia,
    msgIllegalLength,
    msgNoAdditionalSense,
    msgRecoveredError,
    msgNotReady,
    msgMediumError,
    msgHardwareError,
    msgIllegalRequest,
    msgUnitAttention,
    msgDataProtect,
    msgEraseCheck,
    msgCopyAborted,
    msgAbortedCommand,
    msgVolumeOverflow,
    msgMiscompare,
    msgReserved,
    // Operation messages
    msgInvalidDeviceId,
    msgStartingErase,
    msgStartingWrite,
    msgTestDummyWrite,
    msgWriterBusyBufferFull,
    msgWriterError,
    msgInternalError0005,
    msgErrorImportingSession,
    msgErrorImportingSessionNameLength,
    msgErrorImportingSessionNotFound,
    msgImportingSession,
    msgExtractingFile,
    msgCantCreateFile,
    msgCantOpenFile,
    msgLast = msgCantOpenFile,
};

// The text of a fixed message; empty for an identifier without one.
std::string LoadMessage(int Id);

// The additional sense text of an ASC/ASCQ pair, or nullptr when the pair is
// not in the table.
const char* AdditionalSenseText(uint8_t ASC, uint8_t ASCQ);
// Number of ASC/ASCQ pairs in the table.
int AdditionalSenseCount();

// Replaces each "%s" or "%d" of Pattern, in order, with the next argument.
std::string FormatMessage(const std::string& Pattern, std::initializer_list<std::string> Args);

}  // namespace kestrel
