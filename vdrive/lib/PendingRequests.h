#pragma once
// Execute requests answered with SS_PENDING: one worker thread per drive
// carries them out in the order they were sent, holds each back for the
// delay the drive asks for, completes the caller's request block and signals
// its event. A request can be aborted while it waits in the queue or in its
// delay; once the drive is executing it, it runs to the end.
#include <kestrel/aspi_srb.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "model/DriveSet.h"

namespace vdrive {

class PendingRequests {
public:
    using Runner = std::function<CommandReply()>;

    PendingRequests() = default;
    ~PendingRequests();
    PendingRequests(const PendingRequests&) = delete;
    PendingRequests& operator=(const PendingRequests&) = delete;

    // Queues Srb on Drive's worker; Run executes the command (or hands back
    // a reply already obtained). The caller has set SRB_Status to SS_PENDING.
    void Submit(int Drive, SRB_ExecSCSICmd& Srb, Runner Run);

    // True when Srb was pending and is now completed as SS_ABORTED.
    bool Abort(const void* Srb);

private:
    enum class Stage { Queued, Running, Delayed, Done };
    struct Request {
        SRB_ExecSCSICmd* Srb;
        Runner Run;
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
