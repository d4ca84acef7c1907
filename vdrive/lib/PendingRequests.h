#pragma once
// Execute requests answered with SS_PENDING: one worker thread per drive
// carries them out in the order they were sent, holds each back for the
// delay the drive asks for, completes the caller's request block and signals
// its event. The drive works on a private copy of the data, handed to the
// caller's buffer only at completion, so a request can be aborted at any
// time before it completes: after an abort nothing touches the caller's
// block or buffer again (the drive may still have carried the command out).
#include <kestrel/aspi_srb.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "model/DriveSet.h"

namespace vdrive {

class PendingRequests {
public:
    // Executes the command on the given data buffer.
    using Runner = std::function<CommandReply(uint8_t* Data)>;

    PendingRequests() = default;
    ~PendingRequests();
    PendingRequests(const PendingRequests&) = delete;
    PendingRequests& operator=(const PendingRequests&) = delete;

    // Queues Srb on Drive's worker; Run executes the command (or hands back
    // a reply already obtained) on a copy of the Len bytes at Data. The
    // caller has set SRB_Status to SS_PENDING.
    void Submit(int Drive, SRB_ExecSCSICmd& Srb, Runner Run, Direction Dir = Direction::None,
                uint8_t* Data = nullptr, size_t Len = 0);

    // True when Srb was pending and is now completed as SS_ABORTED.
    bool Abort(const void* Srb);

private:
    enum class Stage { Queued, Running, Delayed, Done };
    struct Request {
        SRB_ExecSCSICmd* Srb;
        Runner Run;
        Direction Dir;
        uint8_t* CallerData;
        std::vector<uint8_t> Buffer;
        Stage State = Stage::Queued;
    };
    struct Lane {
        std::deque<std::shared_ptr<Request>> Queue;
        std::thread Worker;
    };

    void Work(int Drive);
    void Finish(Request& Req, const CommandReply& Reply);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<int, Lane> lanes_;
    std::map<const void*, std::shared_ptr<Request>> active_;
    bool stopping_ = false;
};

}  // namespace vdrive
