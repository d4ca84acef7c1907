#pragma once
// Shared by the door tests: running programs (under the interposer) with a
// time budget, and the paths of what the build put in its bin folder.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace kestrel::test {

inline std::string BinPath(const std::string& Name) { return std::string(KESTREL_BIN_DIR) + "/" + Name; }

inline std::string Preload() { return "LD_PRELOAD=" + BinPath("libkestrel-vdrive-sg.so"); }

struct TRunResult {
    int ExitCode = -1;
    std::string Output;  // standard output and error together
};

// Runs a shell command line, killed after Seconds. The environment of the
// test (KESTREL_VDRIVE_DIR and so on) is inherited.
inline TRunResult RunCommand(const std::string& Command, int Seconds = 120) {
    TRunResult result;
    std::string quoted;
    for (char c : Command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    const std::string line = "timeout -k 5 " + std::to_string(Seconds) + " sh -c '" + quoted + "' 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.Output.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Runs Command with the interposer loaded.
inline TRunResult RunPreloaded(const std::string& Command, int Seconds = 120) {
    return RunCommand(Preload() + " " + Command, Seconds);
}

}  // namespace kestrel::test
