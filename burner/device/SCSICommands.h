#pragma once
// Command execution for one selected drive: request blocks through the
// access layer, the command catalog (one method per MMC command), the
// failure state of the last command, logging and sense decoding.
#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "burner/common/DebugLog.h"
#include "burner/device/DriveRecords.h"
#include "kestrel/aspi_srb.h"

namespace kestrel {

// SRB flags used by the catalog: data in, data out, no data; all complete by event.
enum : uint8_t {
    SRB_FLAGS_IN = SRB_DIR_IN | SRB_EVENT_NOTIFY,    // 48h
    SRB_FLAGS_OUT = SRB_DIR_OUT | SRB_EVENT_NOTIFY,  // 50h
    SRB_FLAGS_NONE = SRB_EVENT_NOTIFY,               // 40h
};

// Result of ExecuteCommand when nothing was sent (no layer, no drive, refused).
constexpr int EXEC_NOT_SENT = SS_ILLEGAL_MODE;  // E2h
// HaId/Target/Lun of a component without a selected drive.
constexpr uint8_t NO_DEVICE_ID = 0xFE;
// Size of the scratch buffer that MODE SENSE/MODE SELECT pass their data through.
constexpr uint32_t SCRATCH_BUFFER_SIZE = 65536;
// Bytes kept of the sense area of a failed command.
constexpr int LAST_SENSE_SIZE = 33;
// Bytes of the INQUIRY buffer (128 asked for, plus room).
constexpr int INQUIRY_BUFFER_SIZE = 131;

class TSCSICommands : public virtual TDebugLog {
public:
    TSCSICommands();
    ~TSCSICommands() override;
    TSCSICommands(const TSCSICommands&) = delete;
    TSCSICommands& operator=(const TSCSICommands&) = delete;

    // ---- Access layer (process-wide; these members forward to it) ----
    // Loads the pass-through layer or the run-time library; True when a layer
    // is loaded. Never throws. On success AccessLayerLoaded() runs.
    bool InitializeASPI(bool PreferPassThrough, const std::string& LibraryPath = {});
    // Drops the current layer and loads one again with the remembered choice.
    bool ReinitializeASPI();
    bool ASPIInitialized() const;
    // "KRASPI32" for the pass-through layer, else the library's file name.
    std::string AccessLayerName() const;
    uint32_t SendASPI32Command(void* Srb) const;
    uint32_t GetASPI32SupportInfo() const;
    // The device node of a pass-through drive ("/dev/sr0"), empty when no
    // in-use entry has that address.
    std::string PassThroughDriveLetter(uint8_t HaId, uint8_t Target, uint8_t Lun) const;
    // The name the loaded layer gives the drive at an address: the device node
    // on the pass-through layer, the library's own name ("vdrive0") otherwise;
    // empty when unknown.
    std::string DriveName(uint8_t HaId, uint8_t Target, uint8_t Lun) const;
    void SetCloseAfterCommand(bool Value) const;

    // ---- Command execution ----
    // Completes Srb with the selected drive's address, sends it and waits up
    // to TimeoutMs (at least 10,000). Returns 1 when it was sent, E2h when no
    // layer is loaded, no drive is selected or the command was refused; the
    // command's own outcome is Srb.SRB_Status.
    int ExecuteCommand(SRB_ExecSCSICmd& Srb, int TimeoutMs);

    // The component's critical section (the engine guards its cache with it).
    void Lock() { CriticalSection.lock(); }
    void Unlock() { CriticalSection.unlock(); }

    // ---- Command catalog ----
    bool TestUnitReady(int TimeoutMs);
    bool RezeroUnit();
    bool RequestSense(uint8_t* Buffer, uint8_t AllocationLength);
    // Byte1: format data flag and format code (11h with a parameter list).
    bool FormatUnit(uint8_t Byte1, const uint8_t* ParameterList, uint32_t Length);
    // 128 bytes into InquiryData.
    bool Inquiry();
    bool LoadEject(bool Eject);
    bool AllowMediumRemoval(bool Allow);
    // The block count as chosen from the capacity descriptors; BlockLength is
    // 2048. CurrentCapacityType keeps the type of the current capacity.
    bool ReadFormatCapacities(uint32_t& Blocks, uint32_t& BlockLength);
    // The formats READ FORMAT CAPACITIES offers for the disc, in the drive's
    // order (the current capacity is not one of them).
    bool ReadFormatDescriptors(std::vector<TFormatDescriptor>& Formats);
    bool ReadCapacity(uint32_t& LastLBA, uint32_t& BlockLength);
    bool Read10(uint32_t LBA, uint16_t Blocks, void* Buffer, uint32_t Length);
    // Flags: normally SRB_FLAGS_OUT. Success is status 01h or 00h.
    bool Write10(uint32_t LBA, uint16_t Blocks, uint8_t Flags, const void* Buffer, uint32_t Length);
    bool SynchronizeCache(bool Immediate, int TimeoutMs);
    bool ReadTOC(bool MSF, uint8_t Format, uint8_t TrackSession, void* Buffer, uint16_t AllocationLength,
                 uint8_t Control = 0);
    bool GetConfiguration(uint8_t RT, uint16_t StartingFeature, void* Buffer, uint16_t AllocationLength);
    // 56 bytes into DiscInformation.
    bool ReadDiscInformation();
    // 40 bytes into TrackInformation. AddressType: TRACK_ADDRESS_LBA,
    // TRACK_ADDRESS_TRACK (the default) or TRACK_ADDRESS_SESSION.
    bool ReadTrackInformation(uint32_t Address, uint8_t AddressType = TRACK_ADDRESS_TRACK);
    bool ReserveTrack(uint32_t Blocks);
    bool SendOPC();
    // The parameter list is copied into the scratch buffer and sent from there.
    bool ModeSelect10(const void* ParameterList, uint16_t Length);
    // Read through the scratch buffer, then copied to Buffer (zeroed first).
    bool ModeSense10(uint8_t PageCode, bool DefaultValues, void* Buffer, uint16_t AllocationLength);
    bool CloseTrackSession(bool CloseTrack, bool Immediate, bool Finalize);
    bool CloseTrackSessionEx(bool Immediate, uint8_t CloseFunction, uint8_t Byte3, uint8_t Byte4, uint8_t Byte5);
    // Also stores DeviceBufferSize and DeviceFreeBufferSize.
    bool ReadBufferCapacity(uint32_t& BufferLength, uint32_t& BlankLength);
    bool ReadBufferCapacity();
    bool SendCueSheet(const void* Buffer, uint32_t Length);
    // BLANK with the immediate bit; BlankingType 0 complete, 1 quick (minimal).
    // Success is status 01h or 00h.
    bool Blank(uint8_t BlankingType);
    bool SetStreaming(const void* ParameterList, uint16_t Length);
    // Speeds in KB/s; 0 is sent as FFFFh (the drive's maximum).
    bool SetCDSpeed(uint16_t ReadSpeed, uint16_t WriteSpeed);
    bool SendDVDStructure(uint8_t Format, const void* Buffer, uint16_t Length);

    // ---- Helpers on top of the catalog ----
    // Performance descriptor for the area StartLBA..EndLBA, sizes in blocks per
    // ReadTime/WriteTime milliseconds.
    bool SetStreamingSpeed(uint32_t StartLBA, uint32_t EndLBA, uint32_t ReadSize, uint32_t WriteSize,
                           uint32_t ReadTime, uint32_t WriteTime);
    // DVD time stamp (SEND DVD STRUCTURE format 0Fh) from a local date and time.
    bool SendDVDTimeStamp(const std::tm& LocalTime);
    static uint32_t MSFToLBA(uint32_t Hours, uint32_t Minutes, uint32_t Seconds, uint32_t Frames);
    static uint16_t SwapWord(uint16_t Value);
    static uint32_t SwapDWord(uint32_t Value);

    // ---- Failure state of the last command ----
    std::string LastError;
    std::array<uint8_t, LAST_SENSE_SIZE> LastSense{};
    bool TargetBusy = false;
    // ASC and ASCQ of the last failed command (LastSense bytes 12 and 13).
    uint8_t LastASC() const { return LastSense[12]; }
    uint8_t LastASCQ() const { return LastSense[13]; }
    // Bytes the drive moved in the last command (the request's length when
    // the layer does not report a residual count).
    uint32_t LastTransferred = 0;

    // ---- The drive's own progress of a long operation ----
    // While a drive blanks, formats or closes, it answers NOT READY with a
    // progress indicator. This is the last one any command (or REQUEST SENSE)
    // brought back since ClearDriveProgress, from 0 to 1; nullopt when none
    // did. Safe to read from any thread.
    std::optional<double> DriveProgress() const;
    void ClearDriveProgress() { driveProgress_ = kNoDriveProgress; }

    // ---- Selected drive ----
    uint8_t HaId = NO_DEVICE_ID;
    uint8_t Target = NO_DEVICE_ID;
    uint8_t Lun = NO_DEVICE_ID;

    // ---- Command data kept by the component ----
    alignas(8) std::array<uint8_t, INQUIRY_BUFFER_SIZE> InquiryData{};
    TDiscInfoRecord DiscInformation;
    TTrackRecord TrackInformation;
    uint32_t DeviceBufferSize = 0;
    uint32_t DeviceFreeBufferSize = 0;
    // The one failure report of this instance is used up.
    bool FailureReported = false;
    // Descriptor type of the current capacity of the last READ FORMAT
    // CAPACITIES that succeeded: 1 unformatted, 2 formatted, 3 no disc.
    uint8_t CurrentCapacityType = 0;

    // While a probe scope lives, failed commands are answers, not faults
    // (a volume looked for on a blank disc): they are neither reported nor
    // do they use up the failure report. Scopes nest.
    class TProbeScope {
    public:
        explicit TProbeScope(TSCSICommands& Device) : device_(Device) { ++device_.probeDepth_; }
        ~TProbeScope() { --device_.probeDepth_; }
        TProbeScope(const TProbeScope&) = delete;
        TProbeScope& operator=(const TProbeScope&) = delete;

    private:
        TSCSICommands& device_;
    };

protected:
    // Runs after InitializeASPI or ReinitializeASPI loaded a layer; the device
    // layer refreshes its adapter count and device list here.
    virtual void AccessLayerLoaded() {}
    // A non-empty text refuses the command about to be sent (for example while
    // another thread owns the drive); the text becomes LastError.
    virtual std::string CommandRefusal() const { return {}; }

    // Scratch buffer of MODE SENSE/MODE SELECT (not re-entrant).
    std::vector<uint8_t> ScratchBuffer;

private:
    static constexpr uint8_t ReadFormatCapacitiesLength = 248;
    bool RunReadFormatCapacities(uint8_t (&Reply)[ReadFormatCapacitiesLength]);
    void ResetFailureState();
    // Sends Srb and waits for it; false when it had to be aborted.
    bool SendAndWait(SRB_ExecSCSICmd& Srb, int TimeoutMs);
    void AbortTimedOut(SRB_ExecSCSICmd& Srb);
    void ConsiderFailureReport(const SRB_ExecSCSICmd& Srb);
    // Builds the request of one catalog command.
    static SRB_ExecSCSICmd Request(uint8_t Flags, uint8_t CdbLength, void* Buffer = nullptr, uint32_t Length = 0);
    // Executes Srb; true when it was sent and completed (or, with
    // PendingIsSuccess, is still pending).
    bool Run(SRB_ExecSCSICmd& Srb, int TimeoutMs, bool PendingIsSuccess = false);

    // Keeps the progress indicator of sense data, when it carries one.
    void NoteDriveProgress(const uint8_t* Sense, size_t Length);

    std::recursive_mutex CriticalSection;
    static constexpr int32_t kNoDriveProgress = -1;
    std::atomic<int32_t> driveProgress_{kNoDriveProgress};  // in 1/65536
    std::atomic<int> probeDepth_{0};
};

}  // namespace kestrel
