#pragma once
// Optional trace of what the interposer answers, on standard error, when
// KESTREL_VDRIVE_SG_TRACE=1: one line per intercepted call on a virtual
// node and per CDB (in hex, with status and sense key/ASC/ASCQ).
#include <cstddef>
#include <cstdint>

namespace vdrive::sg {

bool TraceEnabled();
void TraceLine(const char* Format, ...) __attribute__((format(printf, 1, 2)));
// Out is the data sent with the command (its first bytes are shown), or null.
void TraceCdb(int Drive, const uint8_t* Cdb, unsigned CdbLen, unsigned Status, const uint8_t* Sense,
              const uint8_t* Out = nullptr, size_t OutLen = 0);

}  // namespace vdrive::sg
