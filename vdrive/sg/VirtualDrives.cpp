#include "VirtualDrives.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>

#include "Immortal.h"

namespace vdrive::sg {
namespace {

// The model's own file work must not leave its errno behind: a program
// under the interposer may read errno after a call that succeeded.
class KeepErrno {
public:
    KeepErrno() : saved_(errno) {}
    ~KeepErrno() { errno = saved_; }
    KeepErrno(const KeepErrno&) = delete;
    KeepErrno& operator=(const KeepErrno&) = delete;

private:
    int saved_;
};

CommandReply CheckCondition(uint8_t Key, uint8_t Asc) {
    CommandReply reply;
    reply.status = 0x02;
    reply.sense[0] = 0x70;
    reply.sense[2] = Key;
    reply.sense[7] = 10;
    reply.sense[12] = Asc;
    return reply;
}

}  // namespace

VirtualDrives& VirtualDrives::Instance() {
    static Immortal<VirtualDrives> drives;
    return drives.Get();
}

std::shared_ptr<DriveSet> VirtualDrives::Drives() {
    KeepErrno keep;
    std::lock_guard lock(mutex_);
    if (opened_ || shutDown_) return drives_;
    opened_ = true;
    try {
        drives_ = DriveSet::Open(DriveSet::DefaultStateDir());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "libkestrel-vdrive-sg: no virtual drives: %s\n", e.what());
    }
    return drives_;
}

int VirtualDrives::Count() {
    auto set = Drives();
    return set ? set->Count() : 0;
}

CommandReply VirtualDrives::Execute(int Drive, const uint8_t* Cdb, size_t CdbLen, uint8_t* Data, size_t DataLen,
                                    Direction Dir) {
    auto set = Drives();
    if (!set) return CheckCondition(0x02, 0x3A);  // NOT READY, medium not present
    KeepErrno keep;
    try {
        return set->Execute(Drive, Cdb, CdbLen, Data, DataLen, Dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "libkestrel-vdrive-sg: vdrive%d failed: %s\n", Drive, e.what());
        return CheckCondition(0x04, 0x44);  // HARDWARE ERROR, internal target failure
    }
}

bool VirtualDrives::Claim(int Drive, uint64_t Owner) {
    auto set = Drives();
    KeepErrno keep;
    try {
        return set && set->Claim(Drive, Owner);
    } catch (const std::exception&) {
        return false;
    }
}

void VirtualDrives::Release(int Drive, uint64_t Owner) {
    KeepErrno keep;
    try {
        if (auto set = Drives()) set->Release(Drive, Owner);
    } catch (const std::exception&) {
        // nothing left to give back
    }
}

bool VirtualDrives::HasScsiAddress(int Drive) {
    auto set = Drives();
    KeepErrno keep;
    return set && set->HasScsiAddress(Drive);
}

uint64_t VirtualDrives::NewOwner() {
    static std::atomic<uint32_t> counter{0};
    return (static_cast<uint64_t>(getpid()) << 32) | (++counter);
}

void VirtualDrives::Shutdown() {
    std::shared_ptr<DriveSet> last;
    {
        std::lock_guard lock(mutex_);
        shutDown_ = true;
        last = std::move(drives_);
    }
}

}  // namespace vdrive::sg
