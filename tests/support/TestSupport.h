#pragma once
// Small helpers shared by the test programs.
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace kestrel::test {

// A fresh folder under $TMPDIR, removed with everything in it at the end.
class TTempDir {
public:
    TTempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& Name) const { return (path_ / Name).string(); }

private:
    std::filesystem::path path_;
};

// Sets an environment variable for the life of the object.
class TScopedEnv {
public:
    TScopedEnv(const std::string& Name, const std::string& Value) : name_(Name) {
        if (const char* old = std::getenv(Name.c_str())) old_ = old;
        setenv(Name.c_str(), Value.c_str(), 1);
    }
    ~TScopedEnv() {
        if (old_) setenv(name_.c_str(), old_->c_str(), 1);
        else unsetenv(name_.c_str());
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

inline void WriteFile(const std::string& Path, const std::string& Bytes) {
    std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
    std::ofstream(Path, std::ios::binary) << Bytes;
}

inline std::string ReadFile(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct TCommandResult {
    int ExitCode = -1;   // -1 when the command could not run or was killed
    std::string Output;  // what it wrote to the pipe
};

// Runs a shell command line and collects its standard output (add 2>&1
// for its errors as well). The test's environment is inherited.
inline TCommandResult CaptureCommand(const std::string& CommandLine) {
    TCommandResult result;
    FILE* pipe = popen(CommandLine.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 65536> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.Output.append(chunk.data(), n);
    const int status = pclose(pipe);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Runs a shell command line with its output and errors together, killed
// after Seconds.
inline TCommandResult RunWithBudget(const std::string& Command, int Seconds = 120) {
    std::string quoted;
    for (char c : Command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return CaptureCommand("timeout -k 5 " + std::to_string(Seconds) + " sh -c '" + quoted + "' 2>&1");
}

// True when a program is on PATH (peer tools used as independent checkers).
inline bool HaveProgram(const std::string& Name) {
    return std::system(("command -v " + Name + " >/dev/null 2>&1").c_str()) == 0;
}

// The line of Text that holds Part, from Part to the line's end; empty when
// there is none.
inline std::string LineWith(const std::string& Text, const std::string& Part) {
    const size_t at = Text.find(Part);
    if (at == std::string::npos) return "";
    const size_t end = Text.find('\n', at);
    return Text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// Whether this program runs under the virtual recorder's SG_IO interposer
// (preloaded by the test programs of the pass-through layer).
inline bool InterposerLoaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::string(preload).find("libkestrel-vdrive-sg.so") != std::string::npos;
}

// Polls Condition until it holds or Seconds of real time have passed.
template <typename F>
bool WaitUntil(F Condition, double Seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
    while (!Condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace kestrel::test
