#pragma once
// Helpers of the engine tests: waiting for OnWriteDone, running peer tools,
// and small source trees.
#include <array>
#include <chrono>
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
