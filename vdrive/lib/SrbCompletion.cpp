#include "SrbCompletion.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace vdrive {

void PublishSrbStatus(SRB_ExecSCSICmd& Srb, uint8_t Status) {
    std::atomic_ref<uint8_t>(Srb.SRB_Status).store(Status, std::memory_order_release);
}

uint8_t CompleteExecSrb(SRB_ExecSCSICmd& Srb, const CommandReply& Reply, bool Notify) {
    Srb.SRB_HaStat = 0;
    Srb.SRB_TargStat = Reply.status;
    if (Reply.status == STATUS_CHKCOND) {
        const size_t want = std::min<size_t>(Srb.SRB_SenseLen, SRB_SENSE_AREA);
        std::memset(Srb.SenseArea, 0, want);
        std::memcpy(Srb.SenseArea, Reply.sense, std::min(want, sizeof Reply.sense));
    }
    if ((Srb.SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) && (Srb.SRB_Flags & (SRB_DIR_IN | SRB_DIR_OUT))) {
        Srb.SRB_BufLen -= std::min(Srb.SRB_BufLen, Reply.transferred);
    }
    const uint8_t status = Reply.status == STATUS_GOOD ? SS_COMP : SS_ERR;
    if (Notify) SignalSrbEvent(Srb);
    PublishSrbStatus(Srb, status);
    return status;
}

CommandReply InternalFailure() {
    CommandReply reply;
    reply.status = STATUS_CHKCOND;
    reply.sense[0] = 0x70;
    reply.sense[2] = 0x04;
    reply.sense[7] = 10;
    reply.sense[12] = 0x44;
    return reply;
}

void AbortExecSrb(SRB_ExecSCSICmd& Srb, bool Notify) {
    Srb.SRB_HaStat = 0;
    Srb.SRB_TargStat = STATUS_GOOD;
    if (Notify) SignalSrbEvent(Srb);
    PublishSrbStatus(Srb, SS_ABORTED);
}

void SignalSrbEvent(const SRB_ExecSCSICmd& Srb) {
    if (!(Srb.SRB_Flags & SRB_EVENT_NOTIFY) || Srb.SRB_PostProc <= 0) return;
    const uint64_t one = 1;
    while (write(static_cast<int>(Srb.SRB_PostProc), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

}  // namespace vdrive
