#include "burner/engine/KestrelBurner.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "burner/engine/EngineMessages.h"
#include "burner/engine/WriteThread.h"

namespace kestrel {

TKestrelBurner::TKestrelBurner() {
    WritePostGap = true;
    TCompilation::ClearAll(65535, 8191);
    SetCacheSize(4194304);
    JolietFileSystem = true;
    FinalizeTrack = true;
    UnderrunProtection = true;
    dataBuffer_.assign(TCacheThread::MaxBlockSize, 0);
}

TKestrelBurner::~TKestrelBurner() {
    // A write stopped by the destructor raises no event into a dying object.
    *alive_ = false;
    StopRunningWrite();
}

void TKestrelBurner::SetCacheSize(int32_t Value) {
    constexpr int32_t minimum = 2097152;
    cacheSize_ = Value < minimum ? minimum : Value / 2048 * 2048;
}

int TKestrelBurner::CacheFillPercent() const {
    if (!writing_) return 0;
    auto cache = Cache();
    if (!cache || cacheSize_ <= 0) return 0;
    return static_cast<int>(std::lround(static_cast<double>(cache->BufferedBytes()) * 100.0 / cacheSize_));
}

int64_t TKestrelBurner::CacheUnderruns() const {
    auto cache = Cache();
    return cache ? cache->Underruns() : 0;
}

std::optional<double> TKestrelBurner::WritePhaseProgress() const {
    switch (writePhase_.load()) {
        case TWritePhase::Writing: {
            const int64_t total = writeTotalBytes_;
            if (total <= 0) return std::nullopt;
            return std::min(1.0, static_cast<double>(bytesWritten_) / static_cast<double>(total));
        }
        case TWritePhase::Formatting:
        case TWritePhase::Flushing:
        case TWritePhase::Closing: return DriveProgress();
        case TWritePhase::Verifying: {
            const int64_t total = verifyTotalBytes_;
            if (total <= 0) return std::nullopt;
            return std::min(1.0, static_cast<double>(bytesVerified_) / static_cast<double>(total));
        }
        default: return std::nullopt;
    }
}

void TKestrelBurner::SetWritePhase(TWritePhase Phase) {
    ClearDriveProgress();
    writePhase_ = Phase;
}

std::string TKestrelBurner::LastWriteError() const {
    std::lock_guard lock(engineLock_);
    return lastWriteError_;
}

TVerifyReport TKestrelBurner::LastVerification() const {
    std::lock_guard lock(engineLock_);
    return lastVerification_;
}

std::shared_ptr<TCacheThread> TKestrelBurner::Cache() const {
    std::lock_guard lock(engineLock_);
    return cache_;
}

void TKestrelBurner::AbortWrite() {
    abortFlag_ = true;
    AbortQuickSave();
    if (auto cache = Cache()) cache->WakeConsumer();
}

bool TKestrelBurner::WaitForWriteEnd(int64_t TimeoutMs) {
    std::unique_lock lock(endLock_);
    return ended_.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [this] { return !writing_; });
}

bool TKestrelBurner::ClearAll(int MaxFiles, int MaxDirs) {
    StopRunningWrite();
    return TCompilation::ClearAll(MaxFiles, MaxDirs);
}

bool TKestrelBurner::ClearArchiveBits() {
    if (lastWriteWasTest_) {
        DebugMsg(">>> ARCHIVE BITS KEPT: THE LAST WRITE WAS A TEST WRITE", mtFailure);
        return true;
    }
    return TCompilation::ClearArchiveBits();
}

void TKestrelBurner::StopRunningWrite() {
    if (writing_) AbortWrite();
    JoinWriteThread();
    std::lock_guard lock(engineLock_);
    cache_.reset();
}

void TKestrelBurner::JoinWriteThread() {
    if (!writeThread_) return;
    writeThread_->Join();
    writeThread_.reset();
}

bool TKestrelBurner::BeginJob(TJob Job) {
    if (writing_.exchange(true)) return false;
    JoinWriteThread();
    {
        std::lock_guard lock(engineLock_);
        cache_.reset();
        lastWriteError_.clear();
        lastVerification_ = {};
    }
    abortFlag_ = false;
    changedSources_.clear();
    bytesWritten_ = 0;
    writeTotalBytes_ = 0;
    bytesVerified_ = 0;
    verifyTotalBytes_ = 0;
    descriptorCopySectors_ = 0;
    SetWritePhase(TWritePhase::Preparing);
    deviceBufferBytes_ = 0;
    deviceFreeBufferBytes_ = 0;
    lastWriteWasTest_ = Job.Target == TWriteTarget::Disc && TestWrite;
    job_ = std::move(Job);
    return StartWriteThread(static_cast<int>(job_.Target));
}

bool TKestrelBurner::StartWriteThread(int Target) {
    writeThread_ = std::make_unique<TThWrite>(*this, Target);
    return true;
}

void TKestrelBurner::RunJob() {
    std::string error;
    try {
        if (job_.Prepare) error = job_.Prepare();
        // The layout is done: the size is known before any byte goes out.
        if (error.empty()) writeTotalBytes_ = ImageSectors() * 2048;
        if (error.empty()) error = WaitUntilPrimed();
        if (error.empty()) error = job_.Target == TWriteTarget::Disc ? WriteDisc() : WriteImageFile();
    } catch (const std::exception& e) {
        // Whatever went wrong, the write ends with one OnWriteDone.
        error = std::string("INTERNAL ERROR: ") + e.what();
    }
    FinishJob(error);
}

std::string TKestrelBurner::StartCache(TCacheJob Job) {
    auto cache = std::make_shared<TCacheThread>(std::move(Job), this);
    std::lock_guard lock(engineLock_);
    cache_ = std::move(cache);
    return {};
}

std::string TKestrelBurner::WaitUntilPrimed() {
    auto cache = Cache();
    if (!cache) return msgInternalError0005;
    // The cache fills before the first byte goes out, so a slow source
    // cannot starve the drive at the start.
    while (!cache->WaitPrimed(100)) {
        if (abortFlag_) return msgAbortedByUser;
    }
    return cache->ErrorText();
}

void TKestrelBurner::FinishJob(const std::string& Error) {
    std::string error = Error;
    if (auto cache = Cache()) {
        if (!error.empty()) cache->Fail(error);
        cache->Join();
        const std::string cacheError = cache->ErrorText();
        if (!cacheError.empty()) error = cacheError;
        // A write that went through still failed for the files whose copy
        // is not what they hold.
        changedSources_ = cache->ChangedFiles();
        // A verification also finds the sources changed after they were read.
        for (const auto& finding : LastVerification().Findings)
            if (finding.Problem == TVerifyProblem::ChangedWhileBurnt &&
                std::find(changedSources_.begin(), changedSources_.end(), finding.Name) == changedSources_.end())
                changedSources_.push_back(finding.Name);
        if (error.empty() && !changedSources_.empty()) error = ChangedSourcesError(changedSources_);
    }
    ReleaseDrive();
    {
        std::lock_guard lock(engineLock_);
        lastWriteError_ = error;
    }
    SetWritePhase(TWritePhase::Idle);
    {
        std::lock_guard lock(endLock_);
        writing_ = false;
    }
    ended_.notify_all();
    // The event runs on the main thread; the component may be gone by then.
    auto alive = alive_;
    Dispatcher->Post([this, alive, error] {
        if (*alive && OnWriteDone) OnWriteDone(this, error);
    });
}

void TKestrelBurner::LogInfo(const std::string& Line) const {
    if (DoDebug) DebugMsg(Line, mtInfo);
}

}  // namespace kestrel
