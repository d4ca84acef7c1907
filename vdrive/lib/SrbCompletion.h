#pragma once
// Writing the outcome of an execute request into the caller's request block.
// The status byte is stored last, with release order, because a caller may
// poll it from another thread instead of waiting on the event.
#include <kestrel/aspi_srb.h>

#include "model/DriveSet.h"

namespace vdrive {

// Fills target status, sense area and residual count from Reply, then the
// status byte (SS_COMP or SS_ERR). Returns that status.
uint8_t CompleteExecSrb(SRB_ExecSCSICmd& Srb, const CommandReply& Reply);

// The reply of a drive that failed inside (an exception from the model):
// HARDWARE ERROR, internal target failure.
CommandReply InternalFailure();

// Marks a request that will never run as aborted.
void AbortExecSrb(SRB_ExecSCSICmd& Srb);

// Stores Status into the status byte with release order.
void PublishSrbStatus(SRB_ExecSCSICmd& Srb, uint8_t Status);

// Wakes a caller that waits on the request's eventfd (SRB_EVENT_NOTIFY).
void SignalSrbEvent(const SRB_ExecSCSICmd& Srb);

}  // namespace vdrive
