#pragma once
// Shared by the door tests: running programs (under the interposer) with a
// time budget, and the paths of what the build put in its bin folder.
#include <string>

#include "support/TestSupport.h"

namespace kestrel::test {

inline std::string BinPath(const std::string& Name) { return std::string(KESTREL_BIN_DIR) + "/" + Name; }

inline std::string Preload() { return "LD_PRELOAD=" + BinPath("libkestrel-vdrive-sg.so"); }

using TRunResult = TCommandResult;

inline TRunResult RunCommand(const std::string& Command, int Seconds = 120) { return RunWithBudget(Command, Seconds); }

// Runs Command with the interposer loaded.
inline TRunResult RunPreloaded(const std::string& Command, int Seconds = 120) {
    return RunCommand(Preload() + " " + Command, Seconds);
}

}  // namespace kestrel::test
