// The library's C entry points (see kestrel/aspi_srb.h). No exception leaves
// them: a failure inside is answered with an error status.
#include <kestrel/aspi_srb.h>

#include "AspiAdapter.h"

#define VDRIVE_EXPORT extern "C" __attribute__((visibility("default")))

VDRIVE_EXPORT uint32_t GetASPI32SupportInfo(void) {
    try {
        return vdrive::AspiAdapter::Instance().SupportInfo();
    } catch (...) {
        return uint32_t{SS_FAILED_INIT} << 8;
    }
}

VDRIVE_EXPORT uint32_t SendASPI32Command(void* Srb) {
    try {
        return vdrive::AspiAdapter::Instance().Send(Srb);
    } catch (...) {
        if (Srb) static_cast<SRB_Header*>(Srb)->SRB_Status = SS_ERR;
        return SS_ERR;
    }
}

VDRIVE_EXPORT int KestrelDriveName(uint8_t HaId, uint8_t Target, uint8_t Lun, char* Name, int Size) {
    try {
        return vdrive::AspiAdapter::Instance().DriveName(HaId, Target, Lun, Name, Size);
    } catch (...) {
        return -1;
    }
}

VDRIVE_EXPORT int KestrelHoldDrive(uint8_t HaId, uint8_t Target, uint8_t Lun, uint64_t* Hold) {
    try {
        return vdrive::AspiAdapter::Instance().HoldDrive(HaId, Target, Lun, Hold);
    } catch (...) {
        return KESTREL_HOLD_NO_DRIVE;
    }
}

VDRIVE_EXPORT void KestrelReleaseDrive(uint8_t HaId, uint8_t Target, uint8_t Lun, uint64_t Hold) {
    try {
        vdrive::AspiAdapter::Instance().ReleaseDrive(HaId, Target, Lun, Hold);
    } catch (...) {
        // the hold lapses with the process
    }
}
