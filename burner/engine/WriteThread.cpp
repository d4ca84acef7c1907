#include "burner/engine/WriteThread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#include "burner/common/Clock.h"
#include "burner/engine/EngineMessages.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/ThreadPriority.h"

namespace kestrel {

TThWrite::TThWrite(TKestrelBurner& Burner, int Target)
    : burner_(Burner), target_(Target), thread_([this] { Execute(); }) {}

TThWrite::~TThWrite() {
    if (!thread_.joinable()) return;
    // The completion event may start the next write on this very thread.
    if (IsCurrentThread()) thread_.detach();
    else thread_.join();
}

void TThWrite::Join() {
    if (thread_.joinable() && !IsCurrentThread()) thread_.join();
}

void TThWrite::Execute() {
    SetCurrentThreadPriority(TThreadPriority::TimeCritical);
    burner_.RunJob();
}

int32_t TKestrelBurner::FetchBlock(std::string& Error) {
    auto cache = Cache();
    for (;;) {
        if (abortFlag_) {
            Error = msgAbortedByUser;
            return -1;
        }
        const int32_t n = cache->WaitBlock(dataBuffer_, 100);
        Error = cache->ErrorText();
        if (!Error.empty()) return -1;
        if (n >= 0) return n;
    }
}

namespace {

// Writes the image beside its final name and renames it into place once it
// is complete, so a failed build never replaces an existing file.
class TImageOutput {
public:
    explicit TImageOutput(const std::string& FileName) : final_(FileName) {
        std::random_device random;
        temp_ = FileName + ".part-" + std::to_string(random() % 1000000);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        created_ = fd_ >= 0;
    }
    ~TImageOutput() {
        if (fd_ >= 0) ::close(fd_);
        if (created_ && !committed_) ::unlink(temp_.c_str());
    }
    TImageOutput(const TImageOutput&) = delete;
    TImageOutput& operator=(const TImageOutput&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    bool Write(const uint8_t* Data, size_t Count) {
        while (Count > 0) {
            ssize_t n = ::write(fd_, Data, Count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            Data += n;
            Count -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Commit() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return false;
        if (::rename(temp_.c_str(), final_.c_str()) != 0) return false;
        committed_ = true;
        return true;
    }

private:
    std::string final_;
    std::string temp_;
    int fd_ = -1;
    bool created_ = false;
    bool committed_ = false;
};

}  // namespace

std::string TKestrelBurner::WriteImageFile() {
    TImageOutput output(ISOFileName);
    if (!output.IsOpen()) return FormatMessage(msgCantCreateFile, ISOFileName);
    std::string error;
    for (;;) {
        const int32_t n = FetchBlock(error);
        if (n < 0) return error;
        if (n == 0) break;
        if (!output.Write(dataBuffer_.data(), static_cast<size_t>(n)))
            return FormatMessage(msgCantWriteFile, ISOFileName);
        bytesWritten_ += n;
    }
    if (!output.Commit()) return FormatMessage(msgCantWriteFile, ISOFileName);
    return {};
}

std::string TKestrelBurner::CheckImageTarget() const {
    struct stat target{};
    if (::stat(ISOFileName.c_str(), &target) != 0) return {};
    const auto same = [&target](const std::string& Path) {
        struct stat source{};
        return !Path.empty() && ::stat(Path.c_str(), &source) == 0 && source.st_dev == target.st_dev &&
               source.st_ino == target.st_ino;
    };
    bool isSource = false;
    for (const TBootFile& boot : BootFiles()) isSource = isSource || same(boot.Path);
    for (const auto& entry : FileTable) {
        if (isSource) break;
        if (!entry->Dir && !entry->Imported) isSource = same(entry->SourcePath);
    }
    if (isSource) return "THE IMAGE FILE \"" + ISOFileName + "\" IS ONE OF ITS OWN SOURCES";
    return {};
}

std::string TKestrelBurner::WriteDiscData() {
    std::string error;
    const bool padDVDBlocks = !IsCDMedium(mediumType_) && !job_.SourceIsImageFile;
    const uint32_t startLBA = job_.SourceIsImageFile ? 0 : static_cast<uint32_t>(ImageStartLBA);
    const int64_t limit = ImageSectors() * 2048;
    uint32_t sectorsWritten = 0;
    bufferQueryCountdown_ = 5;
    // Failed writes are reported in the result, not by the failure report.
    FailureReported = true;
    for (;;) {
        const int32_t n = FetchBlock(error);
        if (n < 0) return error;
        if (n == 0) return {};
        uint32_t bytes = static_cast<uint32_t>(n);
        // DVD media take whole 32-sector units; the tail of the last is zeros.
        if (padDVDBlocks && bytes < TCacheThread::MaxBlockSize) {
            std::memset(dataBuffer_.data() + bytes, 0, TCacheThread::MaxBlockSize - bytes);
            bytes = TCacheThread::MaxBlockSize;
        }
        bytesWritten_ = std::min<int64_t>(bytesWritten_ + bytes, limit);
        if (bufferQueryCountdown_ <= 0 && bufferReported_) {
            QueryDeviceBuffer();
            bufferQueryCountdown_ = 5;
        }
        --bufferQueryCountdown_;
        error = SendBlock(startLBA + sectorsWritten, dataBuffer_.data(), bytes);
        if (!error.empty()) return error;
        sectorsWritten += bytes / 2048;
    }
}

std::string TKestrelBurner::SendBlock(uint32_t LBA, const uint8_t* Data, uint32_t Bytes) {
    bool formatted = false;
    for (int retries = 0;;) {
        if (abortFlag_) return msgAbortedByUser;
        if (Write10(LBA, static_cast<uint16_t>(Bytes / 2048), SRB_FLAGS_OUT, Data, Bytes)) return {};
        const bool haveSense = LastSense[0] != 0;
        if (TargetBusy || (haveSense && (LastASC() == 0x04 || LastASC() == 0x00))) {
            if (++retries >= 10000) return msgWriterBusy;
            SleepMs(600);
            continue;
        }
        // An unformatted DVD+RW is formatted on its first write, then the
        // write is tried once more.
        if (!formatted && mediumType_ == mtDVDPlusRW && LastASC() == 0x30) {
            formatted = true;
            std::string error = FormatDVDPlusRW();
            if (!error.empty()) return error;
            continue;
        }
        return std::string(msgWriterError) + " [" + (LastError.empty() ? "NO ANSWER" : LastError) + "]";
    }
}

void TKestrelBurner::QueryDeviceBuffer() {
    if (!ReadBufferCapacity()) {
        bufferReported_ = false;  // a failed query ends the polling for this write
        return;
    }
    deviceBufferBytes_ = DeviceBufferSize;
    deviceFreeBufferBytes_ = DeviceFreeBufferSize;
}

}  // namespace kestrel
