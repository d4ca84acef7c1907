#include "burner/engine/CacheThread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "burner/common/Clock.h"
#include "burner/engine/EngineMessages.h"
#include "burner/engine/ThreadPriority.h"

namespace kestrel {
namespace {

constexpr int64_t kSector = 2048;

int64_t RoundUpToSector(int64_t Bytes) { return (Bytes + kSector - 1) / kSector * kSector; }

}  // namespace

// A source opened for streaming; closed on every way out.
class TCacheThread::TSourceFile {
public:
    explicit TSourceFile(const std::string& Path) {
        // O_NONBLOCK keeps a source that became a FIFO from blocking the
        // open. A file that another program holds a lease on (only a regular
        // file can carry one) is waited for, as a plain open does.
        fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0 && errno == EWOULDBLOCK) fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ >= 0) (void)posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~TSourceFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    TSourceFile(const TSourceFile&) = delete;
    TSourceFile& operator=(const TSourceFile&) = delete;
    bool IsOpen() const { return fd_ >= 0; }
    bool Examine(struct stat& Info) const { return ::fstat(fd_, &Info) == 0; }
    // The size of a block device, -1 when it cannot be told.
    int64_t DeviceSize() const {
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        if (end < 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return -1;
        return end;
    }
    // The file was written to since Opened was taken.
    bool ChangedSince(const struct stat& Opened) const {
        struct stat now {};
        if (!Examine(now)) return true;
        return now.st_size != Opened.st_size || now.st_mtim.tv_sec != Opened.st_mtim.tv_sec ||
               now.st_mtim.tv_nsec != Opened.st_mtim.tv_nsec;
    }
    // Reads exactly Count bytes unless the file ends or fails first; returns
    // the bytes read, or -1 (errno set) on a read error.
    int64_t ReadFully(uint8_t* Dest, int64_t Count) {
        int64_t got = 0;
        while (got < Count) {
            ssize_t n = ::read(fd_, Dest + got, static_cast<size_t>(Count - got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return -1;
            if (n == 0) break;
            got += n;
        }
        return got;
    }

private:
    int fd_ = -1;
};

TCacheThread::TCacheThread(TCacheJob Job, const TDebugLog* Log)
    : job_(std::move(Job)), log_(Log), maxBlocks_(0) {
    job_.BlockSize = std::clamp<int32_t>(job_.BlockSize / kSector * kSector, kSector, MaxBlockSize);
    maxBlocks_ = std::max<int32_t>(job_.CacheSize, 0) / job_.BlockSize;
    // Padding only completes a compilation's own stream that is too short.
    job_.PadToMinimum = job_.PadToMinimum && job_.ImageFileName.empty() &&
                        job_.TotalBytes < MinimumStreamBytes;
    int64_t total = job_.TotalBytes;
    if (job_.PadToMinimum) total = MinimumStreamBytes;
    remainingBytes_ = total;
    streamBytes_ = RoundUpToSector(total);
    staging_ = std::make_unique<TBlock>();
    staging_->Data.assign(MaxBlockSize, 0);
    thread_ = std::thread([this] { Run(); });
}

TCacheThread::~TCacheThread() {
    AbortRead();
    Join();
}

void TCacheThread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

int32_t TCacheThread::QueueLimit() const { return std::max<int32_t>(1, maxBlocks_ - 1); }

void TCacheThread::Run() {
    SetCurrentThreadPriority(TThreadPriority::BelowNormal);
    try {
        if (job_.ImageFileName.empty()) {
            StreamHead();
            for (size_t i = 0; i < job_.Files.size(); ++i) StreamSource(job_.Files[i], i);
        } else {
            StreamSource({job_.ImageFileName, job_.TotalBytes, true, true}, TSourceStamp::kImageFile);
        }
        if (streamedBytes_ + staging_->Count != RoundUpToSector(job_.TotalBytes)) {
            SetError(msgInternalError0005);
            throw TAborted();
        }
        // The padding continues the last block, so only the stream's very
        // last block can be short.
        StreamPadding();
        if (staging_->Count > 0) QueueStaging();
    } catch (const TAborted&) {
        std::lock_guard lock(lock_);
        if (abortRequested_) {
            claimed_ = true;
            queue_.clear();
            bufferedBytes_ = 0;
            if (errorText_.empty()) errorText_ = msgAbortedByUser;
        }
    }
    {
        std::lock_guard lock(lock_);
        done_ = true;
        primed_ = true;
    }
    blockReady_.notify_all();
}

void TCacheThread::StreamHead() {
    size_t offset = 0;
    while (offset < job_.HeadSize) {
        CheckAbort();
        const size_t room = static_cast<size_t>(job_.BlockSize - staging_->Count);
        const size_t n = std::min(room, job_.HeadSize - offset);
        std::memcpy(staging_->Data.data() + staging_->Count, job_.Head + offset, n);
        staging_->Count += static_cast<int32_t>(n);
        offset += n;
        if (staging_->Count == job_.BlockSize) QueueStaging();
    }
    FinishSector();
}

void TCacheThread::StreamZeros(int64_t Count) {
    while (Count > 0) {
        CheckAbort();
        const int64_t n = std::min<int64_t>(job_.BlockSize - staging_->Count, Count);
        std::memset(staging_->Data.data() + staging_->Count, 0, static_cast<size_t>(n));
        staging_->Count += static_cast<int32_t>(n);
        Count -= n;
        if (staging_->Count == job_.BlockSize) QueueStaging();
    }
}

void TCacheThread::StreamSource(const TCacheSource& Source, size_t Index) {
    if (Source.Size <= 0) return;
    if (Source.Path.empty()) {
        StreamZeros(Source.Size);
        FinishSector();
        return;
    }
    SetCurrentFile(Source.Path);
    TSourceFile file(Source.Path);
    struct stat opened {};
    const int64_t actual = OpenedSize(file, Source, opened);
    if (job_.KeepStamps) {
        std::lock_guard lock(lock_);
        stamps_.push_back({Index, static_cast<int64_t>(opened.st_size), opened.st_mtim});
    }
    // A source that changed since the layout keeps its laid-out length: the
    // directory records already say how long it is.
    bool changed = Source.SizeIsSectors ? RoundUpToSector(actual) != Source.Size : actual != Source.Size;
    if (changed) Warn(FormatChangedSize(Source.Path, actual, Source.Size));
    const int64_t expected = std::min(actual, Source.Size);
    const int64_t read = StreamFileBytes(file, Source, expected);
    if (read < expected) {
        Warn(FormatShortRead(Source.Path, read, expected));
        changed = true;
    } else if (!changed && file.ChangedSince(opened)) {
        Warn(FormatChangedWhileRead(Source.Path));
        changed = true;
    }
    if (changed) RecordChanged(Source.Path);
    // Zeros for what the file no longer holds, then up to the sector end.
    StreamZeros(Source.Size - read);
    FinishSector();
}

int64_t TCacheThread::OpenedSize(TSourceFile& File, const TCacheSource& Source, struct stat& Opened) {
    if (!File.IsOpen()) Abandon(FormatMessage(msgCantOpenFile, Source.Path));
    if (!File.Examine(Opened)) Abandon(FormatWithReason(msgCantReadFile, Source.Path, errno));
    const bool device = Source.MayBeBlockDevice && S_ISBLK(Opened.st_mode);
    if (!S_ISREG(Opened.st_mode) && !device) Abandon(FormatNotAFile(Source.Path, Opened.st_mode));
    const int64_t size = device ? File.DeviceSize() : static_cast<int64_t>(Opened.st_size);
    if (size < 0) Abandon(FormatWithReason(msgCantReadFile, Source.Path, errno));
    return size;
}

int64_t TCacheThread::StreamFileBytes(TSourceFile& File, const TCacheSource& Source, int64_t Count) {
    int64_t read = 0;
    while (read < Count) {
        CheckAbort();
        const int64_t n = std::min<int64_t>(job_.BlockSize - staging_->Count, Count - read);
        uint8_t* dest = staging_->Data.data() + staging_->Count;
        const int64_t got = File.ReadFully(dest, n);
        if (got < 0) Abandon(FormatWithReason(msgCantReadFile, Source.Path, errno));
        Source.Patch.ApplyTo(dest, read, static_cast<size_t>(got));
        staging_->Count += static_cast<int32_t>(got);
        read += got;
        if (got < n) break;  // the file got shorter while it was read
        if (staging_->Count == job_.BlockSize) QueueStaging();
    }
    return read;
}

void TCacheThread::FinishSector() {
    const int64_t padded = RoundUpToSector(staging_->Count);
    std::memset(staging_->Data.data() + staging_->Count, 0, static_cast<size_t>(padded - staging_->Count));
    staging_->Count = static_cast<int32_t>(padded);
    if (staging_->Count == job_.BlockSize) QueueStaging();
}

void TCacheThread::StreamPadding() {
    if (job_.PadToMinimum) StreamZeros(MinimumStreamBytes - RoundUpToSector(job_.TotalBytes));
}

void TCacheThread::QueueStaging() {
    size_t queued = 0;
    {
        std::lock_guard lock(lock_);
        if (claimed_ || abortRequested_) throw TAborted();
        bufferedBytes_ += staging_->Count;
        streamedBytes_ += staging_->Count;
        queue_.push_back(std::move(staging_));
        queued = queue_.size();
        if (!spare_.empty()) {
            staging_ = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    blockReady_.notify_all();
    if (!staging_) {
        staging_ = std::make_unique<TBlock>();
        staging_->Data.assign(MaxBlockSize, 0);
    }
    staging_->Count = 0;
    AdjustPriority(queued);
    WaitForRoom();
}

int32_t TCacheThread::RefillMark() const { return QueueLimit() - std::max<int32_t>(1, QueueLimit() / 4); }

void TCacheThread::WaitForRoom() {
    std::unique_lock lock(lock_);
    if (static_cast<int32_t>(queue_.size()) < QueueLimit()) return;
    // Once full, the producer sleeps until a quarter of the queue has gone,
    // so the two threads do not wake each other for every block.
    while (static_cast<int32_t>(queue_.size()) > RefillMark() && !abortRequested_) {
        if (!primed_) {
            primed_ = true;
            blockReady_.notify_all();
        }
        if (priorityBand_ != 0) {
            priorityBand_ = 0;
            SetCurrentThreadPriority(TThreadPriority::Idle);
        }
        roomFree_.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (abortRequested_) throw TAborted();
}

void TCacheThread::AdjustPriority(size_t Queued) {
    const auto q = static_cast<int32_t>(Queued);
    int band = 1;
    if (q < maxBlocks_ / 4) band = 3;
    else if (q < maxBlocks_ / 2) band = 2;
    if (band == priorityBand_) return;
    priorityBand_ = band;
    SetCurrentThreadPriority(band == 3   ? TThreadPriority::Normal
                             : band == 2 ? TThreadPriority::BelowNormal
                                         : TThreadPriority::Lowest);
}

void TCacheThread::CheckAbort() const {
    if (abortRequested_) throw TAborted();
}

int32_t TCacheThread::PopLocked(uint8_t* Dest, std::vector<uint8_t>* Exchange) {
    if (claimed_) return 0;
    if (queue_.empty()) return done_ ? 0 : -1;
    std::unique_ptr<TBlock> block = std::move(queue_.front());
    queue_.pop_front();
    const int32_t count = block->Count;
    // Handing over the block's own buffer saves copying it.
    if (Exchange && Exchange->size() == MaxBlockSize) block->Data.swap(*Exchange);
    else std::memcpy(Dest, block->Data.data(), static_cast<size_t>(count));
    bufferedBytes_ -= count;
    remainingBytes_ -= count;
    if (spare_.size() < 4) spare_.push_back(std::move(block));
    if (static_cast<int32_t>(queue_.size()) <= RefillMark()) roomFree_.notify_one();
    return count;
}

void TCacheThread::CountUnderrun() {
    if (primed_ && queue_.empty() && !done_ && !claimed_ && !abortRequested_) ++underruns_;
}

int32_t TCacheThread::TakeBlock(uint8_t* Dest) {
    std::lock_guard lock(lock_);
    return PopLocked(Dest);
}

int32_t TCacheThread::WaitBlock(uint8_t* Dest, int64_t TimeoutMs) {
    std::unique_lock lock(lock_);
    CountUnderrun();
    blockReady_.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                         [this] { return !queue_.empty() || done_ || claimed_ || wakeConsumer_; });
    wakeConsumer_ = false;
    return PopLocked(Dest);
}

int32_t TCacheThread::WaitBlock(std::vector<uint8_t>& Buffer, int64_t TimeoutMs) {
    std::unique_lock lock(lock_);
    CountUnderrun();
    blockReady_.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                         [this] { return !queue_.empty() || done_ || claimed_ || wakeConsumer_; });
    wakeConsumer_ = false;
    return PopLocked(Buffer.data(), &Buffer);
}

bool TCacheThread::WaitPrimed(int64_t TimeoutMs) {
    std::unique_lock lock(lock_);
    return blockReady_.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                                [this] { return primed_ || done_; });
}

void TCacheThread::AbortRead() {
    {
        std::lock_guard lock(lock_);
        abortRequested_ = true;
    }
    roomFree_.notify_all();
    blockReady_.notify_all();
}

void TCacheThread::WakeConsumer() {
    {
        std::lock_guard lock(lock_);
        wakeConsumer_ = true;
    }
    blockReady_.notify_all();
}

void TCacheThread::Fail(const std::string& Message) {
    SetError(Message);
    AbortRead();
}

void TCacheThread::Abandon(const std::string& Message) {
    SetError(Message);
    throw TAborted();
}

void TCacheThread::RecordChanged(const std::string& Path) {
    std::lock_guard lock(lock_);
    changedFiles_.push_back(Path);
}

std::vector<std::string> TCacheThread::ChangedFiles() const {
    std::lock_guard lock(lock_);
    return changedFiles_;
}

std::vector<TSourceStamp> TCacheThread::SourceStamps() const {
    std::lock_guard lock(lock_);
    return stamps_;
}

void TCacheThread::SetError(const std::string& Message) {
    std::lock_guard lock(lock_);
    if (errorText_.empty()) errorText_ = Message;
}

void TCacheThread::SetCurrentFile(const std::string& Path) {
    std::lock_guard lock(lock_);
    currentFile_ = Path;
}

std::string TCacheThread::ErrorText() const {
    std::lock_guard lock(lock_);
    return errorText_;
}

std::string TCacheThread::CurrentFile() const {
    std::lock_guard lock(lock_);
    return currentFile_;
}

void TCacheThread::Warn(const std::string& Message) const {
    if (log_) log_->DebugMsg(Message, mtFailure);
}

}  // namespace kestrel
