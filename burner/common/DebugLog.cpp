#include "burner/common/DebugLog.h"

namespace kestrel {

void TDebugLog::DebugMsg(const std::string& Message, uint8_t mType) const {
    if (OnDebugMessage) OnDebugMessage(const_cast<TDebugLog*>(this), Message, mType);
}

void TDebugLog::InfoMsg(const std::string& Message) const {
    if (DoDebug) DebugMsg(Message, mtInfo);
}

}  // namespace kestrel
