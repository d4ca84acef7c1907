#include "PendingRequests.h"

#include <algorithm>
#include <chrono>

#include "SrbCompletion.h"

namespace vdrive {
namespace {

// What a drive that fails inside reports: HARDWARE ERROR, internal target
// failure. A worker thread must not end on an exception.
CommandReply RunGuarded(const PendingRequests::Runner& Run, uint8_t* Data) {
    try {
        return Run(Data);
    } catch (...) {
        return InternalFailure();
    }
}

}  // namespace

PendingRequests::~PendingRequests() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& [drive, lane] : lanes_) {
        if (lane.Worker.joinable()) lane.Worker.join();
    }
}

void PendingRequests::Submit(int Drive, SRB_ExecSCSICmd& Srb, Runner Run, Direction Dir, uint8_t* Data,
                             size_t Len) {
    auto req = std::make_shared<Request>(Request{&Srb, std::move(Run), Dir, Data, {}});
    if (Dir == Direction::Out) req->Buffer.assign(Data, Data + Len);
    if (Dir == Direction::In) req->Buffer.resize(Len);
    {
        std::lock_guard lock(mutex_);
        active_[&Srb] = req;
        Lane& lane = lanes_[Drive];
        lane.Queue.push_back(req);
        if (!lane.Worker.joinable()) lane.Worker = std::thread([this, Drive] { Work(Drive); });
    }
    wake_.notify_all();
}

bool PendingRequests::Abort(const void* Srb) {
    {
        std::lock_guard lock(mutex_);
        auto it = active_.find(Srb);
        if (it == active_.end()) return false;
        Request& req = *it->second;
        req.State = Stage::Done;
        AbortExecSrb(*req.Srb, true);
        active_.erase(it);
    }
    wake_.notify_all();
    return true;
}

// Completes under the lock so that an abort can never race the writes into
// a request block the caller may already be reusing.
void PendingRequests::Finish(Request& Req, const CommandReply& Reply) {
    if (Req.Dir == Direction::In) {
        std::copy_n(Req.Buffer.data(), std::min<size_t>(Reply.transferred, Req.Buffer.size()), Req.CallerData);
    }
    CompleteExecSrb(*Req.Srb, Reply, true);
    Req.State = Stage::Done;
    active_.erase(Req.Srb);
}

void PendingRequests::Work(int Drive) {
    std::unique_lock lock(mutex_);
    Lane& lane = lanes_[Drive];
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !lane.Queue.empty(); });
        if (lane.Queue.empty()) return;  // stopping, nothing left
        std::shared_ptr<Request> req = lane.Queue.front();
        lane.Queue.pop_front();
        if (req->State == Stage::Done) continue;  // aborted while queued
        if (stopping_) {
            req->State = Stage::Done;
            AbortExecSrb(*req->Srb, true);
            active_.erase(req->Srb);
            continue;
        }
        req->State = Stage::Running;
        lock.unlock();
        const CommandReply reply = RunGuarded(req->Run, req->Buffer.empty() ? nullptr : req->Buffer.data());
        lock.lock();
        if (req->State == Stage::Done) continue;  // aborted while the drive worked
        req->State = Stage::Delayed;
        const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.delayMs);
        wake_.wait_until(lock, due, [&] { return stopping_ || req->State != Stage::Delayed; });
        if (req->State == Stage::Delayed) Finish(*req, reply);
    }
}

}  // namespace vdrive
