#pragma once
// The one log line that describes a failed command in full: its name, CDB,
// address, status, data and sense.
#include <string>

#include "kestrel/aspi_srb.h"

namespace kestrel {

// Whether a failure of this request may be reported: a few routine commands
// whose failures are expected (readiness polls, probes) and failures while a
// long write is in progress (ASC 04h, ASCQ 08h) are never reported.
bool IsReportableFailure(const SRB_ExecSCSICmd& Srb);

// The line "<<< NAME (OP) {FL|LN} - ha:t:l <ST> [LEN] cdb |data= sense ..."
// for a failed request; LastError closes it.
std::string FailureLine(const SRB_ExecSCSICmd& Srb, const std::string& LastError);

}  // namespace kestrel
