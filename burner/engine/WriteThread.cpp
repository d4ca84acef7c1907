#include "burner/engine/WriteThread.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "burner/common/Clock.h"
#include "burner/engine/EngineMessages.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/ThreadPriority.h"
#include "burner/iso/ImageFileWriter.h"

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
    // An image written into a FIFO whose reader went away fails with EPIPE
    // instead of ending the whole program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
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

std::string TKestrelBurner::WriteImageFile() {
    try {
        // The image reaches its name only once it is complete (see
        // TImageTarget); an abort also ends the wait for a FIFO's reader.
        iso::TImageFileWriter output(ISOFileName, 4 * TCacheThread::MaxBlockSize, [this] {
            if (abortFlag_) throw std::runtime_error(msgAbortedByUser);
        });
        SetWritePhase(TWritePhase::Writing);
        std::string error;
        for (;;) {
            const int32_t n = FetchBlock(error);
            if (n < 0) return error;
            if (n == 0) break;
            output.Append(dataBuffer_.data(), static_cast<size_t>(n));
            bytesWritten_ += n;
        }
        output.Close();
        return {};
    } catch (const std::runtime_error& e) {
        return e.what();
    }
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
    // DVD media take whole 32-sector units; a BD takes whole clusters even
    // at the end of an image file.
    const bool padDVDBlocks = !IsCDMedium(mediumType_) && (!job_.SourceIsImageFile || IsBDMedium(mediumType_));
    const uint32_t startLBA = job_.SourceIsImageFile ? 0 : static_cast<uint32_t>(ImageStartLBA);
    const int64_t limit = ImageSectors() * 2048;
    uint32_t sectorsWritten = 0;
    bufferQueryCountdown_ = 5;
    // Failed writes are reported in the result, not by the failure report.
    FailureReported = true;
    // What goes out is fingerprinted for the read-back after closing.
    const bool keepDigest = job_.Verify && !TestWrite;
    if (keepDigest) digest_.Start(Cache()->StreamBytes() / 2048);
    SetWritePhase(TWritePhase::Writing);
    for (;;) {
        const int32_t n = FetchBlock(error);
        if (n < 0) return error;
        if (n == 0) return {};
        uint32_t bytes = static_cast<uint32_t>(n);
        // The tail of the last unit is zeros.
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
        if (keepDigest) digest_.Add(dataBuffer_.data(), bytes);
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
