#include "burner/engine/EngineMessages.h"

namespace kestrel {

std::string FormatMessage(const char* Message, const std::string& Argument) {
    std::string text = Message;
    const auto at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, Argument);
    return text;
}

std::string FormatChangedSize(const std::string& Path, int64_t Actual, int64_t LaidOut) {
    return ">>> FILE \"" + Path + "\" HAS " + std::to_string(Actual) + " BYTES, LAID OUT WITH " +
           std::to_string(LaidOut) + (Actual < LaidOut ? ": PADDED WITH ZEROS" : ": CUT") ;
}

}  // namespace kestrel
