#pragma once
// The interposer's access to the drives of the state folder, opened on the
// first use of a virtual node. A folder that cannot be used is reported once
// on standard error and then behaves as no drives at all.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "model/DriveSet.h"

namespace vdrive::sg {

class VirtualDrives {
public:
    static VirtualDrives& Instance();

    int Count();
    CommandReply Execute(int Drive, const uint8_t* Cdb, size_t CdbLen, uint8_t* Data, size_t DataLen,
                         Direction Dir);
    bool Claim(int Drive, uint64_t Owner);
    void Release(int Drive, uint64_t Owner);
    // Drives of some models have no SCSI address to report.
    bool HasScsiAddress(int Drive);

    // A fresh owner id for one exclusive open (unique across processes).
    static uint64_t NewOwner();

    // Lets the drives write back their state at process end; later calls
    // find no drives.
    void Shutdown();

private:
    std::shared_ptr<DriveSet> Drives();

    std::mutex mutex_;
    std::shared_ptr<DriveSet> drives_;
    bool opened_ = false;
    bool shutDown_ = false;
};

}  // namespace vdrive::sg
