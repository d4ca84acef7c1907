#pragma once
// The burning component: the compilation and its image (TImageBuilder), the
// device layer (TSCSIDevice), and the recording engine that joins them: the
// read-ahead cache feeding the write thread, which writes the image to a
// disc or to an image file and reports the end through OnWriteDone.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "burner/device/SCSIDevice.h"
#include "burner/engine/CacheThread.h"
#include "burner/engine/VerifyReport.h"
#include "burner/engine/WriteDigest.h"
#include "burner/engine/WritePhase.h"
#include "burner/iso/ImageBuilder.h"

namespace kestrel {

class TDiscVerifier;
class TKestrelBurner;
class TLocalFolder;
class TThWrite;
using TWriteDoneEvent = std::function<void(TKestrelBurner* Sender, const std::string& Error)>;
using TNotifyEvent = std::function<void(TKestrelBurner* Sender)>;

// Where the write thread sends the image.
enum class TWriteTarget { Disc = 0, ImageFile = 1 };

class TKestrelBurner : public TSCSIDevice, public TImageBuilder {
public:
    TKestrelBurner();
    ~TKestrelBurner() override;

    // ---- Starting writes ------------------------------------------------
    // Builds an image file. Quick: synchronous on the calling thread, 1 when
    // finished (errors propagate as exceptions). Otherwise -1: the cache and
    // the write thread write the image and raise OnWriteDone. An empty
    // compilation is refused either way. A failed build leaves FileName as
    // it was, unless it is a device or FIFO, which is written through.
    int SaveToISOFile(const std::string& FileName, bool Quick);
    // Burns the compilation onto the disc in the selected drive. Returns at
    // once; the end (or any failure) comes through OnWriteDone, exactly once.
    // False, without an event, only while another write is running. An empty
    // compilation is refused before the drive is touched. Sources that
    // change while they are read are written as laid out and the burn is
    // finished, then reported failed for them (ChangedSources).
    bool BurnCD();
    // Burns an existing image file (a regular file or a block device, not
    // empty) from address 0; as BurnCD otherwise.
    bool BurnISOImage(const std::string& FileName);
    // Asks the running write (or quick save) to stop; it ends with
    // "OPERATION ABORTED BY USER".
    void AbortWrite();
    // Waits up to TimeoutMs (real time) for the running write to end; true
    // when no write runs any more.
    bool WaitForWriteEnd(int64_t TimeoutMs);

    // ---- Progress, read by the front end while a write runs ----------------
    bool Writing() const { return writing_; }
    int64_t BytesWritten() const { return bytesWritten_; }
    // Fill of the read-ahead cache in percent; 0 when no write runs.
    int CacheFillPercent() const;
    // Times the last (or running) write's cache ran empty after priming.
    int64_t CacheUnderruns() const;
    // Device buffer figures of the running write (bytes).
    uint32_t DeviceBufferBytes() const { return deviceBufferBytes_; }
    uint32_t DeviceFreeBufferBytes() const { return deviceFreeBufferBytes_; }
    // The Error of the last completed write.
    std::string LastWriteError() const;

    // ---- What the running write is doing (see TWritePhase) ----------------
    TWritePhase WritePhase() const { return writePhase_; }
    // Fraction of the current phase done, from 0 to 1, where it is known:
    // the bytes sent of WriteTotalBytes while Writing; the drive's own
    // progress indicator while it formats, flushes or closes, once it has
    // reported one. nullopt otherwise: no figure is made up.
    std::optional<double> WritePhaseProgress() const;
    // Bytes the running write sends in all (the image with its padding); 0
    // until the layout has fixed it, which is before the Writing phase.
    int64_t WriteTotalBytes() const { return writeTotalBytes_; }
    // Bytes read back so far while Verifying, and in all.
    int64_t BytesVerified() const { return bytesVerified_; }
    int64_t VerifyTotalBytes() const { return verifyTotalBytes_; }

    // ---- Options ---------------------------------------------------------
    int32_t CacheSize() const { return cacheSize_; }
    // Below 2 MiB stores 2 MiB; otherwise the value rounded down to whole sectors.
    void SetCacheSize(int32_t Value);
    bool FinalizeTrack = true;
    bool PerformOPC = false;
    // Format a DVD-RW that already holds data before the burn (the user's
    // explicit choice); a blank DVD-RW is formatted without it. A BD-RE is
    // formatted only while it is unformatted; one holding data is emptied
    // by erasing it.
    bool FormatBeforeBurn = false;
    // A failed or interrupted burn leaves the last session of a write-once
    // or sequential disc unfinished (HoldsUnfinishedSession, inherited from
    // the device layer, tells; FindUnfinishedSession says where). BurnCD
    // refuses such a disc unless this is set (the user's explicit choice):
    // then it closes the unfinished tracks and session, leaving the disc
    // appendable, and writes the new session behind them. A test write
    // never closes anything and is refused. BurnISOImage refuses such a
    // disc whatever this says: an image is written onto a blank disc only.
    bool CloseUnfinishedSession = false;
    // Empty when no other program holds the drive, else why it cannot be
    // used. A burn running elsewhere leaves its session open meanwhile:
    // front ends ask this first, so that such a disc is not taken for one
    // that a failed burn left unfinished.
    std::string DriveHeldByAnotherProgram();
    std::string ISOFileName;
    // After a burn onto a disc (BurnCD, BurnISOImage) has closed, read the
    // new session back and compare it with what was written (the Verifying
    // phase). Sectors that differ or cannot be read, and sources that
    // changed after they were read, fail the burn; the error names them.
    // Taken when the burn starts; not for test writes and image files.
    bool VerifyAfterWrite = false;
    // What the last write's verification found (NotRun when none was asked
    // for or the write failed before it). Valid once the write has ended.
    TVerifyReport LastVerification() const;

    TWriteDoneEvent OnWriteDone;
    // Raised on the write thread when the drive is about to close the track
    // (and session): never for a write that failed, was aborted or only
    // simulated, nor where nothing is closed (DVD-RAM, FinalizeTrack off).
    TNotifyEvent OnFinalizingTrack;

    const std::string& Version() const { return version_; }
    void SetVersion(const std::string&) {}  // the version is fixed

    // ---- Compilation upkeep that must not meet a running write -----------
    // Stops a running write (joining its threads) before emptying the compilation.
    bool ClearAll(int MaxFiles, int MaxDirs);
    // Refused after a test write: nothing was really recorded.
    bool ClearArchiveBits();

    // ---- Session start on a disc -----------------------------------------
    // Sets ImageStartLBA from the drive; true when it could be determined.
    bool GetNextWritableAddress();
    // The volume space size of the last ISO 9660 volume in sectors 32 down
    // to 16; 0 when there is none; nullopt when the sectors cannot be read.
    std::optional<int32_t> FindLastVolumeSize();
    // Adds the tree of a session on the disc to the compilation (fixed
    // extents): SessionNo -1 the last, 0 none; Dir null for the root. False
    // when no tree was found or part of it had to be left out (logged).
    virtual bool ImportDiscSession(int SessionNo, TDEntry* Dir);
    // Copies an imported file from the disc to FileName: its bytes from all
    // its extents (runs of zero sectors left as holes), its permissions and
    // its date; a symbolic link is created as a link. An existing file is
    // replaced only with ReplaceExisting, and never written through a link.
    // False (logged) on any failure, leaving no partial file; throws
    // std::system_error when the local file cannot be created.
    bool ExtractFile(const TFEntry* Entry, const std::string& FileName, bool ReplaceExisting = false);
    // The same into an open folder, under Name. Depth: how many folders
    // Folder lies below the one the extraction was asked into, the levels
    // a link's target may climb.
    bool ExtractFile(const TFEntry* Entry, const TLocalFolder& Folder, const std::string& Name, bool ReplaceExisting,
                     int Depth);
    // Told by ExtractFile after each piece it copied, on the thread that
    // runs it: the bytes copied so far and the file's size. Returning false
    // stops the copy, which then fails and leaves no file behind.
    std::function<bool(uint64_t Copied, uint64_t Size)> OnExtractProgress;
    // Medium type code remembered by the last disc layout.
    uint16_t MediumType() const { return mediumType_; }

protected:
    bool LayoutDiscStart(TDEntry* ImportTarget) override;

private:
    friend class TThWrite;

    struct TJob {
        TWriteTarget Target = TWriteTarget::ImageFile;
        bool SourceIsImageFile = false;
        std::string ImagePath;          // the image file burnt by BurnISOImage
        bool Verify = false;            // VerifyAfterWrite when the job began
        std::function<std::string()> Prepare;  // runs first on the write thread
    };

    // Starting and ending a job. StartWriteThread runs the prepared job on a
    // new write thread; Target 0 disc, 1 image file.
    bool BeginJob(TJob Job);
    bool StartWriteThread(int Target);
    void RunJob();
    void FinishJob(const std::string& Error);
    // Enters Phase; the drive's progress of the phase before is forgotten.
    void SetWritePhase(TWritePhase Phase);
    void JoinWriteThread();
    void StopRunningWrite();
    std::shared_ptr<TCacheThread> Cache() const;

    // The cache: the stream of a laid-out compilation, starting, priming,
    // and taking blocks (>0 bytes, 0 at the end, -1 with Error set).
    std::string BuildCompilationStream(int32_t BlockSize, TCacheJob& Job);
    std::string StartCache(TCacheJob Job);
    std::string WaitUntilPrimed();
    int32_t FetchBlock(std::string& Error);

    // Image-file target.
    std::string WriteImageFile();
    std::string CheckImageTarget() const;

    // Disc target: checks and preparation before any byte is written.
    std::string PrepareCompilationBurn();
    std::string PrepareImageBurn(const std::string& Path, int64_t Size);
    // Empty, with the image's size in Size, or why it cannot be burnt.
    std::string ExamineImageFile(const std::string& FileName, int64_t& Size) const;
    std::string CheckDriveFree();
    void ReleaseDrive();
    std::string CheckDiscNotClosed();
    // Refuses a disc whose last session a failed burn left unfinished, or
    // closes that session first when CloseUnfinishedSession asks for it.
    std::string CheckUnfinishedSession(bool ForImage);
    std::string CloseUnfinished(const TUnfinishedSession& Session);
    bool CloseUnfinishedTracks(const TUnfinishedSession& Session);
    // The session a layout imports for SessionToImport.
    int SessionForLayoutImport() const;
    std::string CheckWritableDisc(bool ForImage, int64_t Sectors);
    std::string CheckImportedExtents() const;
    std::string CheckSources() const;
    bool HasImportedEntries() const;
    std::string FormatDVDRWIfNeeded();
    std::string FormatDVDPlusRW();
    // Formats an unformatted BD-RE; any other disc is left as it is.
    std::string FormatBlankBDRE();
    std::string WaitWhileFormatting(int64_t IntervalMs);
    std::string PrepareDrive();
    // Data, flush, descriptor copy, closing and reset.
    std::string WriteDisc();
    std::string WriteDiscData();
    std::string SendBlock(uint32_t LBA, const uint8_t* Data, uint32_t Bytes);
    std::string FlushDrive();
    std::string WriteVolumeDescriptorCopy();
    std::string CloseSession();
    // Reading the session back (VerifyAfterWrite), and its parts.
    std::string VerifyWrittenData();
    void VerifyDescriptorCopy(TDiscVerifier& Verifier, TVerifyReport& Report);
    void NoteChangedSources(const TCacheThread& Cache, TVerifyReport& Report) const;
    void LogVerification(const TVerifyReport& Report) const;
    bool SendCloseCommands();
    bool CloseCDSession();
    void ResetDriveForReading();
    void QueryDeviceBuffer();
    bool IsOverwritableMedium() const;
    void LogInfo(const std::string& Line) const;

    // Engine options and state.
    int32_t cacheSize_ = 4194304;
    const std::string version_ = "1.22";

    TJob job_;
    mutable std::mutex engineLock_;  // guards cache_, lastWriteError_, lastVerification_
    std::shared_ptr<TCacheThread> cache_;
    std::unique_ptr<TThWrite> writeThread_;
    std::mutex endLock_;
    std::condition_variable ended_;
    std::string lastWriteError_;
    TVerifyReport lastVerification_;
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);

    std::atomic<bool> writing_{false};
    std::atomic<bool> abortFlag_{false};
    std::atomic<int64_t> bytesWritten_{0};
    std::atomic<int64_t> writeTotalBytes_{0};
    std::atomic<int64_t> bytesVerified_{0};
    std::atomic<int64_t> verifyTotalBytes_{0};
    std::atomic<TWritePhase> writePhase_{TWritePhase::Idle};
    std::atomic<uint32_t> deviceBufferBytes_{0};
    std::atomic<uint32_t> deviceFreeBufferBytes_{0};
    std::atomic<bool> lastWriteWasTest_{false};

    // Disc write state, used by the write thread only.
    std::atomic<uint16_t> mediumType_{0};
    bool burnLayout_ = false;
    // The unfinished session this burn closed before its layout; 0 for none.
    uint16_t closedUnfinishedSession_ = 0;
    std::string discStartError_;
    int32_t blockSize_ = 65536;
    uint16_t sessionNumber_ = 1;
    uint16_t trackNumber_ = 1;
    bool bufferReported_ = false;
    int bufferQueryCountdown_ = 5;
    std::vector<uint8_t> head_;      // this job's copy of the image head
    TWriteDigest digest_;            // of the data sent, when the job verifies
    uint32_t descriptorCopySectors_ = 0;  // sectors of the head copied to LBA 0
    std::vector<uint8_t> dataBuffer_;
    std::string claimedDrive_;
    // The address the access layer holds exclusively for this write.
    std::optional<std::array<uint8_t, 3>> heldDrive_;
};

}  // namespace kestrel
