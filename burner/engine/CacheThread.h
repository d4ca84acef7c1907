#pragma once
// The read-ahead cache: the producer side of every write. A worker thread
// reads the byte stream of an image in image order (the head built in
// memory, the boot image, then every file in layout order), cuts it into
// blocks of whole sectors and keeps a bounded queue of them filled ahead of
// the write thread, which takes one block at a time.
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "burner/common/DebugLog.h"
#include "burner/iso/BootFiles.h"

namespace kestrel {

// One piece of the stream after the head: a file with the number of bytes
// it occupies in the image (its laid-out length, before rounding up to whole
// sectors), or, with an empty path, that many zero bytes.
struct TCacheSource {
    std::string Path;
    int64_t Size = 0;
    // Size is a region of whole sectors that the file fills up to its last
    // sector (a boot image); only a file that needs more or fewer sectors
    // counts as changed.
    bool SizeIsSectors = false;
    // A block device may stand in for the file (an image burnt from one).
    bool MayBeBlockDevice = false;
    // Bytes laid over the file's copy in the stream (a boot loader's boot
    // information table); the file itself is only read.
    TBytePatch Patch = {};
};

// What a cache streams. Head bytes are not owned and must stay unchanged
// until the cache has ended.
struct TCacheJob {
    int32_t CacheSize = 8392704;
    int32_t BlockSize = 65536;
    bool PadToMinimum = false;
    int64_t TotalBytes = 0;  // the image's own size in bytes, without padding
    const uint8_t* Head = nullptr;
    size_t HeadSize = 0;
    // The boot image, the files in layout order and any zero gaps between them.
    std::vector<TCacheSource> Files;
    std::string ImageFileName;  // when set, the only source is this image file
    // Keep each source's size and time as it was opened (SourceStamps), so
    // a verification can tell the files that changed after they were read.
    bool KeepStamps = false;
};

// What a source was like when it was opened for streaming, to tell later
// whether it changed after it was read.
struct TSourceStamp {
    static constexpr size_t kImageFile = SIZE_MAX;
    size_t Index = 0;  // in the job's Files, or kImageFile
    int64_t Size = 0;
    struct timespec Modified {};
};

class TCacheThread {
public:
    static constexpr int32_t MaxBlockSize = 65536;
    static constexpr int64_t MinimumStreamBytes = 300 * 2048;

    // Starts the producer thread at once. Log receives the warning lines
    // (a source that changed since the layout or while it was read); it may
    // be null.
    TCacheThread(TCacheJob Job, const TDebugLog* Log);
    // Stops the producer and joins it.
    ~TCacheThread();
    TCacheThread(const TCacheThread&) = delete;
    TCacheThread& operator=(const TCacheThread&) = delete;

    // Moves the oldest block into Dest (room for MaxBlockSize bytes) and
    // returns its byte count; -1 while nothing is queued and more is to
    // come; 0 when the stream is finished, failed or torn down.
    int32_t TakeBlock(uint8_t* Dest);
    // As TakeBlock, but waits up to TimeoutMs for a block to arrive before
    // answering -1.
    int32_t WaitBlock(uint8_t* Dest, int64_t TimeoutMs);
    // As WaitBlock, exchanging Buffer (MaxBlockSize bytes) with the block's
    // own buffer instead of copying the block.
    int32_t WaitBlock(std::vector<uint8_t>& Buffer, int64_t TimeoutMs);
    // Waits up to TimeoutMs (scaled) until Primed or Done; true when either.
    bool WaitPrimed(int64_t TimeoutMs);

    // Asks the producer to stop; queued blocks are released.
    void AbortRead();
    // Records a failure of the job unless one is already recorded (the first
    // error wins) and stops the producer.
    void Fail(const std::string& Message);
    // Wakes a consumer waiting in WaitBlock (it then sees its abort flag).
    void WakeConsumer();
    // Waits for the producer thread to end.
    void Join();

    std::string ErrorText() const;
    std::string CurrentFile() const;
    // The sources streamed so far whose stream is not the file: they changed
    // size since the layout (padded or cut to the laid-out length) or were
    // written to while they were read. The stream itself goes on.
    std::vector<std::string> ChangedFiles() const;
    // Every source opened so far, as it was when it was opened (with the
    // job's KeepStamps).
    std::vector<TSourceStamp> SourceStamps() const;
    // The job as streamed (its sources are read again by a verification).
    const TCacheJob& Job() const { return job_; }
    // Bytes of the whole stream, padding included.
    int64_t StreamBytes() const { return streamBytes_; }
    bool Primed() const { return primed_; }
    bool Done() const { return done_; }
    int64_t BufferedBytes() const { return bufferedBytes_; }
    int64_t RemainingBytes() const { return remainingBytes_; }
    int32_t MaxBlocks() const { return maxBlocks_; }
    int32_t BlockSize() const { return job_.BlockSize; }
    int PriorityBand() const { return priorityBand_; }
    // How often the consumer, once the cache was primed, found it empty while
    // more was to come: each one a moment the writer had nothing to send.
    int64_t Underruns() const { return underruns_; }

private:
    struct TBlock {
        std::vector<uint8_t> Data;
        int32_t Count = 0;
    };
    class TAborted {};
    class TSourceFile;

    void Run();
    void StreamHead();
    void StreamSource(const TCacheSource& Source, size_t Index);
    // The size of the opened source, which must be a regular file (or a
    // block device where the source allows one); Opened gets its status.
    int64_t OpenedSize(TSourceFile& File, const TCacheSource& Source, struct stat& Opened);
    // Streams up to Count bytes of File with the source's patch laid over
    // them; the bytes it held.
    int64_t StreamFileBytes(TSourceFile& File, const TCacheSource& Source, int64_t Count);
    void StreamPadding();
    void StreamZeros(int64_t Count);
    void FinishSector();
    void QueueStaging();
    void WaitForRoom();
    void AdjustPriority(size_t Queued);
    void CheckAbort() const;
    void SetError(const std::string& Message);
    // Records Message as the job's failure and leaves the stream.
    [[noreturn]] void Abandon(const std::string& Message);
    void RecordChanged(const std::string& Path);
    void SetCurrentFile(const std::string& Path);
    void Warn(const std::string& Message) const;
    int32_t PopLocked(uint8_t* Dest, std::vector<uint8_t>* Exchange = nullptr);
    void CountUnderrun();
    int32_t QueueLimit() const;
    int32_t RefillMark() const;

    TCacheJob job_;
    const TDebugLog* log_;
    int32_t maxBlocks_;
    int64_t streamBytes_ = 0;

    mutable std::mutex lock_;  // guards the queue, the counters' changes and the texts
    std::condition_variable blockReady_;
    std::condition_variable roomFree_;
    std::deque<std::unique_ptr<TBlock>> queue_;
    std::vector<std::unique_ptr<TBlock>> spare_;
    std::unique_ptr<TBlock> staging_;
    std::string errorText_;
    std::string currentFile_;
    std::vector<std::string> changedFiles_;
    std::vector<TSourceStamp> stamps_;
    bool claimed_ = false;
    bool wakeConsumer_ = false;

    std::atomic<bool> abortRequested_{false};
    std::atomic<bool> primed_{false};
    std::atomic<bool> done_{false};
    std::atomic<int64_t> bufferedBytes_{0};
    std::atomic<int64_t> remainingBytes_{0};
    std::atomic<int64_t> streamedBytes_{0};
    std::atomic<int64_t> underruns_{0};
    std::atomic<int> priorityBand_{2};
    std::thread thread_;
};

}  // namespace kestrel
