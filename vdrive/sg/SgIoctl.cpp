#include "SgIoctl.h"

#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "Errno.h"
#include "Trace.h"
#include "VirtualDrives.h"

namespace vdrive::sg {
namespace {

// From the kernel's scsi_ioctl.h; the C library's copy lacks them.
constexpr unsigned long ScsiIoctlGetIdLun = 0x5382;
constexpr unsigned long ScsiIoctlGetBusNumber = 0x5386;

constexpr int SgVersion = 30527;
constexpr unsigned MaxTransfer = 16u << 20;
constexpr unsigned DefaultTimeoutMs = 60000;
constexpr uint8_t DriverSense = 0x08;
constexpr uint8_t DidTimeOut = 0x03;

Direction DirectionOf(const sg_io_hdr_t& H) {
    if (H.dxfer_len == 0) return Direction::None;
    switch (H.dxfer_direction) {
    case SG_DXFER_TO_DEV: return Direction::Out;
    case SG_DXFER_FROM_DEV:
    case SG_DXFER_TO_FROM_DEV: return Direction::In;
    default: return Direction::None;
    }
}

// The data area as one buffer: the caller's own, or a copy of its scatter
// list (gathered before a write, scattered back after a read).
class TransferBuffer {
public:
    explicit TransferBuffer(const sg_io_hdr_t& H) : h_(H) {
        if (H.iovec_count == 0) return;
        gathered_.resize(H.dxfer_len);
        if (H.dxfer_direction == SG_DXFER_TO_DEV) Walk([](uint8_t* Flat, uint8_t* Part, size_t N) {
            std::memcpy(Flat, Part, N);
        });
    }
    uint8_t* Data() {
        return h_.iovec_count ? gathered_.data() : static_cast<uint8_t*>(h_.dxferp);
    }
    void Finish(Direction Dir) {
        if (h_.iovec_count && Dir == Direction::In) Walk([](uint8_t* Flat, uint8_t* Part, size_t N) {
            std::memcpy(Part, Flat, N);
        });
    }

private:
    template <typename Copy>
    void Walk(Copy C) {
        const auto* iov = static_cast<const sg_iovec_t*>(h_.dxferp);
        size_t done = 0;
        for (unsigned i = 0; i < h_.iovec_count && done < gathered_.size(); ++i) {
            const size_t n = std::min(iov[i].iov_len, gathered_.size() - done);
            C(gathered_.data() + done, static_cast<uint8_t*>(iov[i].iov_base), n);
            done += n;
        }
    }
    const sg_io_hdr_t& h_;
    std::vector<uint8_t> gathered_;
};

void ReportReply(sg_io_hdr_t& H, const CommandReply& Reply) {
    H.status = Reply.status;
    H.masked_status = static_cast<unsigned char>((Reply.status >> 1) & 0x7F);
    H.msg_status = 0;
    H.host_status = 0;
    H.driver_status = Reply.status == 0x02 ? DriverSense : 0;
    H.sb_len_wr = 0;
    if (Reply.status == 0x02 && H.sbp && H.mx_sb_len > 0) {
        H.sb_len_wr = static_cast<unsigned char>(std::min<size_t>(H.mx_sb_len, sizeof Reply.sense));
        std::memcpy(H.sbp, Reply.sense, H.sb_len_wr);
    }
    H.resid = static_cast<int>(H.dxfer_len - std::min<uint32_t>(H.dxfer_len, Reply.transferred));
    H.info = Reply.status != 0 ? SG_INFO_CHECK : 0;
}

// A drive that answers late: wait for it, but never past the caller's own
// time-out, which then ends the command as the host adapter would.
bool WaitForLateReply(const sg_io_hdr_t& H, uint32_t DelayMs) {
    if (DelayMs == 0) return true;
    const unsigned budget = H.timeout ? H.timeout : DefaultTimeoutMs;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<unsigned>(DelayMs, budget)));
    return DelayMs < budget;
}

int SgIo(FakeFile& File, sg_io_hdr_t* H) {
    if (!H) return FailWith(EFAULT);
    if (H->interface_id != 'S') return FailWith(ENOSYS);
    if (!H->cmdp) return FailWith(EFAULT);
    if (H->cmd_len < 6 || H->cmd_len > 16) return FailWith(EINVAL);
    if (H->dxfer_len > MaxTransfer) return FailWith(ENOMEM);
    const Direction dir = DirectionOf(*H);
    if (dir != Direction::None && !H->dxferp) return FailWith(EFAULT);

    const auto start = std::chrono::steady_clock::now();
    TransferBuffer buffer(*H);
    const CommandReply reply = VirtualDrives::Instance().Execute(
        File.Drive, H->cmdp, H->cmd_len, dir == Direction::None ? nullptr : buffer.Data(),
        dir == Direction::None ? 0 : H->dxfer_len, dir);
    buffer.Finish(dir);
    if (WaitForLateReply(*H, reply.delayMs)) {
        ReportReply(*H, reply);
    } else {
        ReportReply(*H, CommandReply{});
        H->host_status = DidTimeOut;
        H->info = SG_INFO_CHECK;
        H->resid = static_cast<int>(H->dxfer_len);
    }
    H->duration = static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - start)
                                            .count());
    TraceCdb(File.Drive, H->cmdp, H->cmd_len, H->status, H->sb_len_wr ? H->sbp : nullptr,
             dir == Direction::Out ? buffer.Data() : nullptr, dir == Direction::Out ? H->dxfer_len : 0);
    return 0;
}

template <typename T>
int Put(void* Arg, T Value) {
    if (!Arg) return FailWith(EFAULT);
    std::memcpy(Arg, &Value, sizeof Value);
    return 0;
}

template <typename T>
bool Get(void* Arg, T& Value) {
    if (!Arg) return false;
    std::memcpy(&Value, Arg, sizeof Value);
    return true;
}

}  // namespace

bool ScsiIoctl(FakeFile& File, unsigned long Request, void* Arg, int& Result) {
    switch (Request) {
    case SG_IO: Result = SgIo(File, static_cast<sg_io_hdr_t*>(Arg)); return true;
    case SG_GET_VERSION_NUM: Result = Put<int>(Arg, SgVersion); return true;
    case SG_EMULATED_HOST: Result = Put<int>(Arg, 0); return true;
    case SG_GET_SCSI_ID: {
        if (!VirtualDrives::Instance().HasScsiAddress(File.Drive)) {
            Result = FailWith(ENOTTY);
            return true;
        }
        struct sg_scsi_id id{};
        id.scsi_id = File.Drive;
        id.scsi_type = 0x05;
        id.h_cmd_per_lun = 1;
        id.d_queue_depth = 1;
        Result = Put(Arg, id);
        return true;
    }
    case ScsiIoctlGetIdLun: {
        if (!VirtualDrives::Instance().HasScsiAddress(File.Drive)) {
            Result = FailWith(ENOTTY);
            return true;
        }
        struct {
            int DevId;  // target, LUN, channel, host from the low byte up
            int HostUniqueId;
        } idlun{File.Drive & 0xFF, 0};
        Result = Put(Arg, idlun);
        return true;
    }
    case ScsiIoctlGetBusNumber:
        Result = VirtualDrives::Instance().HasScsiAddress(File.Drive) ? Put<int>(Arg, 0) : FailWith(ENOTTY);
        return true;
    case SG_SET_TIMEOUT: {
        int jiffies = 0;
        if (!Get(Arg, jiffies)) Result = FailWith(EFAULT);
        else if (jiffies < 0) Result = FailWith(EIO);
        else {
            std::lock_guard lock(File.Mutex);
            File.TimeoutJiffies = jiffies;
            Result = 0;
        }
        return true;
    }
    case SG_GET_TIMEOUT: {
        std::lock_guard lock(File.Mutex);
        Result = File.TimeoutJiffies;
        return true;
    }
    case SG_GET_RESERVED_SIZE: {
        std::lock_guard lock(File.Mutex);
        Result = Put<int>(Arg, File.ReservedSize);
        return true;
    }
    case SG_SET_RESERVED_SIZE: {
        int size = 0;
        if (!Get(Arg, size)) Result = FailWith(EFAULT);
        else if (size < 0) Result = FailWith(EINVAL);
        else {
            std::lock_guard lock(File.Mutex);
            File.ReservedSize = std::min<int>(size, MaxTransfer);
            Result = 0;
        }
        return true;
    }
    default: return false;
    }
}

int FakeIoctl(FakeFile& File, unsigned long Request, void* Arg) {
    int result = 0;
    if (ScsiIoctl(File, Request, Arg, result) || CdromIoctl(File, Request, Arg, result)) return result;
    TraceLine("ioctl %#lx on vdrive%d: not supported", Request, File.Drive);
    return FailWith(ENOTTY);
}

}  // namespace vdrive::sg
