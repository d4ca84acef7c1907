#pragma once
// The status of a running burn on stderr. On a terminal it is one line,
// redrawn, that names what the write is doing: preparing, formatting,
// writing (megabytes of the total, the read-ahead cache and, when the drive
// reports it, the drive's buffer), writing out the drive's buffer, closing,
// verifying; with a bar wherever the progress is known. Elsewhere each step is one
// line when it begins. Log lines go above the status line.
#include <mutex>
#include <string>

#include "burner/engine/KestrelBurner.h"

namespace kestrel::cli {

class TBurnStatus {
public:
    TBurnStatus();
    ~TBurnStatus() { End(); }
    TBurnStatus(const TBurnStatus&) = delete;
    TBurnStatus& operator=(const TBurnStatus&) = delete;

    // Shows what Burner is doing now (call it every few tenths of a second).
    void Show(const TKestrelBurner& Burner);
    // Prints one line above the status line.
    void Message(const std::string& Line);
    // Ends the status line.
    void End();

private:
    std::mutex mutex_;
    bool terminal_;
    std::string line_;
    TWritePhase shownPhase_ = TWritePhase::Idle;
};

}  // namespace kestrel::cli
