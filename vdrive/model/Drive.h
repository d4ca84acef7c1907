#pragma once
// One emulated MMC CD/DVD recorder living in a folder of the state
// directory. Execute runs one CDB the way a drive does: status, fixed sense,
// replies cut to the allocation length. The folder holds:
//   model.conf  the drive model (DriveModel)
//   state.conf  tray, medium structure and long operation (DriveState)
//   disc.img    the sectors, sparse
//   knobs.conf  test knobs (Knobs)
//   live        shared hot state, trace  the bounded command trace
//   lock        the file lock serialising processes; claim  exclusive holder
// Every command takes the file lock, reloads what another process changed
// and leaves the folder consistent when it returns.
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/DiscImage.h"
#include "model/DriveModel.h"
#include "model/DriveSet.h"
#include "model/DriveState.h"
#include "model/Knobs.h"
#include "model/SharedRecord.h"

namespace vdrive {

// The parts of a CDB a handler needs, and its data buffer.
struct CommandBuffer {
    const uint8_t* cdb;
    size_t cdbLen;
    uint8_t* data;
    size_t dataLen;
    Direction dir;
};

class Drive {
public:
    // Opens the drive folder; creates it with Model and Initial when it does
    // not exist yet.
    Drive(std::string Folder, int Index, const std::optional<DriveModel>& Model = std::nullopt,
          const std::optional<Medium>& Initial = std::nullopt);
    ~Drive();
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    CommandReply Execute(const uint8_t* Cdb, size_t CdbLen, uint8_t* Data, size_t DataLen, Direction Dir);

    // Control operations for the tool and for tests (each under the locks).
    void Insert(const Medium& NewMedium, const std::string& ImagePath = "");
    void Eject();  // takes the medium out and closes the tray
    DriveState State();
    DriveModel Model();
    void SetModel(const DriveModel& NewModel);
    Knobs CurrentKnobs();
    void SetKnobs(const Knobs& NewKnobs);
    std::vector<TraceEntry> Trace();
    void ClearTrace();
    // Writes every recorded sector from 0 to the end of the last recorded
    // block into a sparse file; returns the number of blocks.
    uint32_t Dump(const std::string& Target);
    bool Claim(uint64_t Owner);
    void Release(uint64_t Owner);

    const std::string& Folder() const { return folder_; }
    int Index() const { return index_; }

private:
    class FileLock;
    friend class FileLock;

    // Persistence
    void LoadModel();
    void LoadKnobs();
    void LoadState();
    void SaveState();
    void SaveKnobs();
    void Refresh();
    void RefreshForReplace();
    void SyncHot();
    void PublishHot(size_t TrackIndex);
    std::string PathOf(const char* Name) const { return folder_ + "/" + Name; }

    // Dispatch and checks
    size_t Dispatch(const CommandBuffer& Cmd);
    void ApplyBusyKnobs(uint8_t Opcode, CommandReply& Reply, bool& Handled);
    void FinishLongOp();
    void RequireNoLongOp();
    Medium& RequireMedium();
    Medium& RequireReadableMedium();
    Medium& RequireWritableMedium();
    void StartLongOp(LongOp Op, double Seconds, bool Immediate);
    uint16_t LongOpProgress() const;
    bool Simulating() const;

    // Command handlers (each returns the bytes transferred)
    size_t TestUnitReady();
    size_t RequestSense(const CommandBuffer& Cmd);
    size_t Inquiry(const CommandBuffer& Cmd);
    size_t StartStopUnit(const CommandBuffer& Cmd);
    size_t PreventAllow(const CommandBuffer& Cmd);
    size_t GetConfiguration(const CommandBuffer& Cmd);
    size_t ModeSense(const CommandBuffer& Cmd, bool Ten);
    size_t ModeSelect(const CommandBuffer& Cmd, bool Ten);
    size_t GetEventStatus(const CommandBuffer& Cmd);
    size_t MechanismStatus(const CommandBuffer& Cmd);
    size_t GetPerformance(const CommandBuffer& Cmd);
    size_t ReadBuffer(const CommandBuffer& Cmd);
    size_t ReadDiscInformation(const CommandBuffer& Cmd);
    size_t ReadTrackInformation(const CommandBuffer& Cmd);
    size_t ReadToc(const CommandBuffer& Cmd);
    size_t ReadCapacity(const CommandBuffer& Cmd);
    size_t ReadFormatCapacities(const CommandBuffer& Cmd);
    size_t ReadDvdStructure(const CommandBuffer& Cmd);
    size_t ReadBdStructure(const CommandBuffer& Cmd);
    size_t Read(const CommandBuffer& Cmd, uint32_t Lba, uint32_t Count);
    size_t ReadCd(const CommandBuffer& Cmd);
    size_t Write(const CommandBuffer& Cmd, uint32_t Lba, uint32_t Count);
    size_t Verify(const CommandBuffer& Cmd);
    size_t SynchronizeCache();
    size_t CloseTrackSession(const CommandBuffer& Cmd);
    size_t ReserveTrack(const CommandBuffer& Cmd);
    size_t SendOpc();
    size_t Blank(const CommandBuffer& Cmd);
    size_t FormatUnit(const CommandBuffer& Cmd);
    size_t SetCdSpeed(const CommandBuffer& Cmd);
    size_t SetStreaming(const CommandBuffer& Cmd);
    size_t SendDvdStructure(const CommandBuffer& Cmd);
    size_t ReadBufferCapacity(const CommandBuffer& Cmd);
    size_t SendCueSheet(const CommandBuffer& Cmd);

    // Helpers of the handlers
    std::vector<uint8_t> CapabilitiesPage() const;
    std::vector<uint8_t> ModePage(uint8_t Page, uint8_t Control) const;
    uint16_t MaxReadKBs() const;
    uint16_t MaxWriteKBs() const;
    uint16_t MinWriteKBs() const;
    double RecordingRate() const;
    void DrainBuffer();
    void Throttle(uint32_t Bytes);
    void CheckWriteKnobs(uint32_t Lba, uint32_t Count);
    // Under the corrupt-write-lba knob: records that block of Data with one
    // byte changed, as a drive writing wrong data does without noticing.
    void RecordCorruptBlock(uint32_t Lba, uint32_t Count, const uint8_t* Data);

    std::string folder_;
    int index_;
    std::mutex mutex_;
    int lockFd_ = -1;

    DriveModel model_;
    struct timespec modelTime_ {};
    Knobs knobs_;
    struct timespec knobsTime_ {};
    DriveState state_;
    uint64_t seenWriteGeneration_ = 0;
    uint64_t seenConfigGeneration_ = ~0ull;
    int64_t configCheckedMs_ = 0;
    int64_t waitAfterMs_ = 0;  // a long operation the command waits for
    bool hotDirty_ = false;
    std::unique_ptr<DiscImage> image_;
    std::unique_ptr<LiveBlock> live_;
    std::unique_ptr<TraceRing> trace_;

    // Volatile drive settings, as a real drive keeps them until power off.
    std::array<uint8_t, 52> writePage_{};
    bool locked_ = false;
    uint16_t readKBs_ = 0xFFFF;   // selected read speed, FFFFh = maximum
    uint16_t writeKBs_ = 0xFFFF;  // selected write speed
    double bufferFill_ = 0;       // bytes held in the drive buffer
    int64_t bufferStampUs_ = 0;
    double throttleNextUs_ = 0;
    std::optional<uint32_t> simulateNext_;  // next address of a test write
    // Session-at-once on CD: after SEND CUE SHEET the host writes the
    // 150-block pre-gap from start - 150, then the data; SYNCHRONIZE CACHE
    // closes the session as the write parameters say.
    struct SessionAtOnce {
        int64_t start = 0;      // first data block of the session
        int64_t next = 0;       // address the next WRITE must use
        bool wroteData = false;
    };
    std::optional<SessionAtOnce> sao_;
    uint64_t reportedMediaEvents_ = 0;
};

}  // namespace vdrive
