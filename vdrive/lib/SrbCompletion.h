#pragma once
// Writing the outcome of an execute request into the caller's request block.
// The status byte is stored last, with release order: once it leaves
// SS_PENDING the block belongs to the caller again, who may free it at once.
// So the event is signalled before the status byte, never after; a waiter
// woken early sees SS_PENDING for a moment and looks again.
#include <kestrel/aspi_srb.h>

#include "model/DriveSet.h"

namespace vdrive {

// Fills target status, sense area and residual count from Reply, signals the
// event when Notify is set, then stores the status byte (SS_COMP or SS_ERR).
// Returns that status.
uint8_t CompleteExecSrb(SRB_ExecSCSICmd& Srb, const CommandReply& Reply, bool Notify = false);

// The reply of a drive that failed inside (an exception from the model):
// HARDWARE ERROR, internal target failure.
CommandReply InternalFailure();

// Marks a request that will never run as aborted (signalling first when Notify).
void AbortExecSrb(SRB_ExecSCSICmd& Srb, bool Notify = false);

// Stores Status into the status byte with release order.
void PublishSrbStatus(SRB_ExecSCSICmd& Srb, uint8_t Status);

// Wakes a caller that waits on the request's eventfd (SRB_EVENT_NOTIFY).
// Only while the status byte is still SS_PENDING.
void SignalSrbEvent(const SRB_ExecSCSICmd& Srb);

}  // namespace vdrive
