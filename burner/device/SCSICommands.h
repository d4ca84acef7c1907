#pragma once
// Command execution for one selected drive: request blocks through the
// access layer, the command catalog, logging and sense decoding.
#include "burner/common/DebugLog.h"

namespace kestrel {

class TSCSICommands : public virtual TDebugLog {
public:
    TSCSICommands() = default;
    ~TSCSICommands() override = default;
};

}  // namespace kestrel
