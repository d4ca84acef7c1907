#include "burner/engine/EngineMessages.h"

#include <cstring>

#include "burner/common/FileKind.h"

namespace kestrel {

std::string FormatMessage(const char* Message, const std::string& Argument) {
    std::string text = Message;
    const auto at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, Argument);
    return text;
}

std::string FormatNotAFile(const std::string& Path, mode_t Mode) {
    return "CAN'T OPEN FILE \"" + Path + "\": IT IS " + FileKindName(Mode);
}

std::string FormatWithReason(const char* Message, const std::string& Argument, int Error) {
    return FormatMessage(Message, Argument) + ": " + std::strerror(Error);
}

std::string FormatChangedSize(const std::string& Path, int64_t Actual, int64_t LaidOut) {
    return ">>> FILE \"" + Path + "\" HAS " + std::to_string(Actual) + " BYTES, LAID OUT WITH " +
           std::to_string(LaidOut) + (Actual < LaidOut ? ": PADDED WITH ZEROS" : ": CUT");
}

std::string FormatShortRead(const std::string& Path, int64_t Read, int64_t Expected) {
    return ">>> FILE \"" + Path + "\" ENDED AFTER " + std::to_string(Read) + " OF " + std::to_string(Expected) +
           " BYTES WHILE IT WAS READ: PADDED WITH ZEROS";
}

std::string FormatChangedWhileRead(const std::string& Path) {
    return ">>> FILE \"" + Path + "\" CHANGED WHILE IT WAS READ";
}

}  // namespace kestrel
