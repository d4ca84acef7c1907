#pragma once
// Helpers of the engine tests: waiting for OnWriteDone, running peer tools,
// and small source trees.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <functional>
#include <thread>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "burner/engine/KestrelBurner.h"
#include "support/TestSupport.h"

namespace kestrel::test {

// Records every OnWriteDone of a burner, from whatever thread raises it.
class TWriteDoneWatch {
public:
    explicit TWriteDoneWatch(TKestrelBurner& Burner) {
        Burner.OnWriteDone = [this](TKestrelBurner* Sender, const std::string& Error) {
            std::lock_guard lock(mutex_);
            errors_.push_back(Error);
            writingAtEvent_ = Sender->Writing();
            done_.notify_all();
        };
    }
    // The Error of the first event, waiting up to Seconds for it.
    std::string Wait(int Seconds = 60) {
        std::unique_lock lock(mutex_);
        if (!done_.wait_for(lock, std::chrono::seconds(Seconds), [this] { return !errors_.empty(); }))
            return "<no OnWriteDone>";
        return errors_.front();
    }
    size_t Count() {
        std::lock_guard lock(mutex_);
        return errors_.size();
    }
    bool WritingAtEvent() {
        std::lock_guard lock(mutex_);
        return writingAtEvent_;
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    std::vector<std::string> errors_;
    bool writingAtEvent_ = true;
};

// Runs a shell command; its standard output, and its exit status in Status.
inline std::string RunCommand(const std::string& Command, int* Status = nullptr) {
    TCommandResult run = CaptureCommand(Command);
    if (Status) *Status = run.ExitCode;
    return std::move(run.Output);
}

inline std::string Quote(const std::string& Text) { return "'" + Text + "'"; }

// A program started in the background with its output and errors going to
// a log file; killed and reaped if the test leaves before it has ended.
class TBackgroundProgram {
public:
    TBackgroundProgram(std::vector<std::string> Args, const std::string& Log) : log_(Log) {
        std::vector<char*> argv;
        for (auto& arg : Args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TBackgroundProgram() {
        if (pid_ > 0 && !ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    TBackgroundProgram(const TBackgroundProgram&) = delete;
    TBackgroundProgram& operator=(const TBackgroundProgram&) = delete;

    bool Started() const { return pid_ > 0; }
    void Signal(int Number) { kill(pid_, Number); }
    std::string Log() const { return ReadFile(log_); }
    // Polls State until it holds or the program has ended (or Seconds have
    // passed); true when State holds.
    bool WaitFor(const std::function<bool()>& State, int Seconds = 60) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            if (State()) return true;
            if (Reap(WNOHANG)) return State();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    // The exit code once the program has ended by itself; -1 when a signal
    // ended it.
    int ExitCode() {
        Reap(0);
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

private:
    bool Reap(int Options) {
        if (ended_) return true;
        if (waitpid(pid_, &status_, Options) != pid_) return false;
        ended_ = true;
        return true;
    }

    std::string log_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

// A small tree: text, binary of several blocks, empty and 1-byte files, a
// subdirectory.
inline void MakeSourceTree(const std::string& Root) {
    WriteFile(Root + "/readme.txt", "Kestrel test tree\n");
    std::string binary(300000, '\0');
    for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 31 + 7) % 253);
    WriteFile(Root + "/data/blob.bin", binary);
    WriteFile(Root + "/data/empty.dat", "");
    WriteFile(Root + "/data/deeper/one.txt", "1");
}

// Extracts an image (or a dumped disc from sector Start) with xorriso into Out.
inline int ExtractWithXorriso(const std::string& Image, const std::string& Out, int64_t Start = 0) {
    int status = -1;
    std::string load = Start ? " -load sbsector " + std::to_string(Start) : "";
    RunCommand("xorriso -osirrox on -indev " + Quote(Image) + load + " -extract / " + Quote(Out) + " 2>&1", &status);
    return status;
}

// True when the two trees hold the same files with the same bytes.
inline bool SameTree(const std::string& A, const std::string& B) {
    int status = -1;
    RunCommand("diff -r " + Quote(A) + " " + Quote(B) + " >/dev/null 2>&1", &status);
    return status == 0;
}

}  // namespace kestrel::test
