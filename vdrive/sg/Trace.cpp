#include "Trace.h"

#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vdrive::sg {

bool TraceEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("KESTREL_VDRIVE_SG_TRACE");
        return v && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

void TraceLine(const char* Format, ...) {
    if (!TraceEnabled()) return;
    char line[512];
    int n = std::snprintf(line, sizeof line, "[vdrive-sg %d] ", static_cast<int>(getpid()));
    va_list args;
    va_start(args, Format);
    n += std::vsnprintf(line + n, sizeof line - static_cast<size_t>(n) - 1, Format, args);
    va_end(args);
    n = std::min<int>(n, sizeof line - 2);
    line[n++] = '\n';
    std::fwrite(line, 1, static_cast<size_t>(n), stderr);
}

void TraceCdb(int Drive, const uint8_t* Cdb, unsigned CdbLen, unsigned Status, const uint8_t* Sense,
              const uint8_t* Out, size_t OutLen) {
    if (!TraceEnabled()) return;
    std::string hex;
    char byte[4];
    for (unsigned i = 0; i < CdbLen; ++i) {
        std::snprintf(byte, sizeof byte, "%02X ", Cdb[i]);
        hex += byte;
    }
    if (Out && OutLen > 0) {
        hex += "data ";
        for (size_t i = 0; i < std::min<size_t>(OutLen, 16); ++i) {
            std::snprintf(byte, sizeof byte, "%02X ", Out[i]);
            hex += byte;
        }
    }
    if (Sense) {
        TraceLine("vdrive%d CDB %sstatus %02X sense %X/%02X/%02X", Drive, hex.c_str(), Status, Sense[2] & 0x0F,
                  Sense[12], Sense[13]);
    } else {
        TraceLine("vdrive%d CDB %sstatus %02X", Drive, hex.c_str(), Status);
    }
}

}  // namespace vdrive::sg
