#pragma once
// The library's one host adapter: targets 0..7 are the virtual drives of the
// current state folder, LUN 0. Answers the ASPI request blocks of
// kestrel/aspi_srb.h. Thread-safe.
#include <kestrel/aspi_srb.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "DriveHolds.h"
#include "PendingRequests.h"
#include "model/DriveSet.h"

namespace vdrive {

class AspiAdapter {
public:
    static AspiAdapter& Instance();

    uint32_t SupportInfo();
    uint32_t Send(void* Srb);
    int DriveName(uint8_t HaId, uint8_t Target, uint8_t Lun, char* Name, int Size);
    // The exclusive hold of a drive (see KestrelHoldDrive in aspi_srb.h).
    int HoldDrive(uint8_t HaId, uint8_t Target, uint8_t Lun, uint64_t* Hold);
    void ReleaseDrive(uint8_t HaId, uint8_t Target, uint8_t Lun, uint64_t Hold);

private:
    static constexpr int MaxTargets = 8;
    static constexpr uint32_t MaxTransfer = 0x00FF0000;

    // The drives of the state folder named by the environment right now; a
    // test that points KESTREL_VDRIVE_DIR elsewhere gets the new folder.
    std::shared_ptr<DriveSet> Drives();
    // The drive index at (HaId, Target, Lun), or -1.
    int DriveAt(const DriveSet& Set, uint8_t HaId, uint8_t Target, uint8_t Lun) const;

    uint8_t HostAdapterInquiry(SRB_HAInquiry& Srb);
    uint8_t GetDeviceType(SRB_GDEVBlock& Srb);
    uint8_t Execute(SRB_ExecSCSICmd& Srb);
    uint8_t AbortRequest(SRB_Abort& Srb);
    uint8_t GetDiskInfo(SRB_GetDiskInfo& Srb);

    std::mutex mutex_;
    std::shared_ptr<DriveSet> drives_;
    std::string stateDir_;
    std::string lastError_;
    DriveHolds holds_;
    PendingRequests pending_;
};

}  // namespace vdrive
