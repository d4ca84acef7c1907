#include "ScriptedLibrary.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#define SCRIPTED_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex Guard;
ScriptedReply Reply{SS_COMP, 0, 0, {}, {}, 0, 0};
SRB_ExecSCSICmd LastRequest{};
uint8_t LastOut[1024];
uint32_t LastOutLength = 0;
int Requests = 0;
int Aborts = 0;
SRB_ExecSCSICmd* Pending = nullptr;

void Signal(const SRB_ExecSCSICmd& Srb) {
    if ((Srb.SRB_Flags & SRB_EVENT_NOTIFY) && Srb.SRB_PostProc > 0) {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(int(Srb.SRB_PostProc), &one, sizeof one);
    }
}

void Publish(SRB_ExecSCSICmd& Srb, uint8_t Status) {
    std::atomic_ref<uint8_t>(Srb.SRB_Status).store(Status, std::memory_order_release);
}

[[maybe_unused]] uint32_t Execute(SRB_ExecSCSICmd& Srb) {
    std::unique_lock lock(Guard);
    ++Requests;
    LastRequest = Srb;
    LastOutLength = 0;
    if (Srb.SRB_BufPointer && (Srb.SRB_Flags & SRB_DIR_OUT)) {
        LastOutLength = std::min<uint32_t>(Srb.SRB_BufLen, sizeof LastOut);
        std::memcpy(LastOut, Srb.SRB_BufPointer, LastOutLength);
    }
    const uint32_t returned = std::min(Reply.DataLength, Srb.SRB_BufLen);
    if (Srb.SRB_BufPointer && (Srb.SRB_Flags & SRB_DIR_IN))
        std::memcpy(Srb.SRB_BufPointer, Reply.Data, std::min<uint32_t>(returned, sizeof Reply.Data));
    if (Srb.SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) Srb.SRB_BufLen -= returned;
    Srb.SRB_HaStat = Reply.HaStat;
    Srb.SRB_TargStat = Reply.TargStat;
    std::memcpy(Srb.SenseArea, Reply.Sense, std::min<int>(Srb.SRB_SenseLen, SRB_SENSE_AREA));
    if (Reply.Status != SS_PENDING) {
        Publish(Srb, Reply.Status);
        return Reply.Status;
    }
    Publish(Srb, SS_PENDING);
    Pending = &Srb;
    if (Reply.CompleteAfterMs) {
        std::thread([delay = Reply.CompleteAfterMs, srb = &Srb] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            std::lock_guard lock(Guard);
            if (Pending != srb) return;
            Pending = nullptr;
            Signal(*srb);  // before the status: after it the block is the caller's
            Publish(*srb, SS_COMP);
        }).detach();
    }
    return SS_PENDING;
}

[[maybe_unused]] uint32_t Abort(SRB_Abort& Srb) {
    std::lock_guard lock(Guard);
    ++Aborts;
    if (Pending && Pending == Srb.SRB_ToAbort) {
        Signal(*Pending);
        Publish(*Pending, SS_ABORTED);
        Pending = nullptr;
        Srb.SRB_Status = SS_COMP;
        return SS_COMP;
    }
    Srb.SRB_Status = SS_ABORT_FAIL;
    return SS_ABORT_FAIL;
}

}  // namespace

SCRIPTED_EXPORT uint32_t GetASPI32SupportInfo(void) { return uint32_t(SS_COMP) << 8 | 1; }

#ifndef SCRIPTED_WITHOUT_SEND
SCRIPTED_EXPORT uint32_t SendASPI32Command(void* Srb) {
    auto* header = static_cast<SRB_Header*>(Srb);
    switch (header->SRB_Cmd) {
        case SC_EXEC_SCSI_CMD: return Execute(*static_cast<SRB_ExecSCSICmd*>(Srb));
        case SC_ABORT_SRB: return Abort(*static_cast<SRB_Abort*>(Srb));
        default: header->SRB_Status = SS_INVALID_CMD; return SS_INVALID_CMD;
    }
}
#endif

SCRIPTED_EXPORT void ScriptReply(const ScriptedReply* NewReply) {
    std::lock_guard lock(Guard);
    Reply = *NewReply;
}

SCRIPTED_EXPORT void ScriptLastRequest(SRB_ExecSCSICmd* Copy) {
    std::lock_guard lock(Guard);
    *Copy = LastRequest;
}

SCRIPTED_EXPORT uint32_t ScriptLastOutData(uint8_t* Copy, uint32_t Size) {
    std::lock_guard lock(Guard);
    const uint32_t n = std::min(Size, LastOutLength);
    std::memcpy(Copy, LastOut, n);
    return n;
}

SCRIPTED_EXPORT int ScriptRequestCount(void) {
    std::lock_guard lock(Guard);
    return Requests;
}

SCRIPTED_EXPORT int ScriptAbortCount(void) {
    std::lock_guard lock(Guard);
    return Aborts;
}
