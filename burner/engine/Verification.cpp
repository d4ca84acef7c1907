// Reading a burnt session back (VerifyAfterWrite): after the drive has
// closed the session and is set for reading, every sector of the new
// session is read back in large blocks and compared with the fingerprints
// kept while it was written, the copy of the volume descriptors at LBA 0
// with the head in memory; then the sources are looked at once more for
// changes after they were read.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>

#include "burner/engine/DiscVerifier.h"
#include "burner/engine/EngineMessages.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/StreamSources.h"

namespace kestrel {
namespace {

constexpr int64_t kSector = 2048;

// The source no longer is what it was when it was opened for the burn.
bool ChangedSince(const std::string& Path, const TSourceStamp& Stamp) {
    struct stat now {};
    if (::stat(Path.c_str(), &now) != 0) return true;
    return now.st_size != Stamp.Size || now.st_mtim.tv_sec != Stamp.Modified.tv_sec ||
           now.st_mtim.tv_nsec != Stamp.Modified.tv_nsec;
}

std::string SecondsText(double Seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", Seconds);
    return text;
}

}  // namespace

std::string TKestrelBurner::VerifyWrittenData() {
    if (!job_.Verify) return {};
    if (TestWrite) {
        LogInfo(">>> TEST WRITE: NOTHING WAS RECORDED, NOTHING TO VERIFY");
        return {};
    }
    auto cache = Cache();
    if (!cache || !digest_.Complete()) return msgInternalError0005;
    cache->Join();  // every source has been read: its stamp is complete
    TVerifyReport report;
    report.FirstSector = job_.SourceIsImageFile ? 0 : ImageStartLBA;
    report.Sectors = digest_.StreamSectors();
    verifyTotalBytes_ = report.Sectors * kSector;
    SetWritePhase(TWritePhase::Verifying);
    LogInfo(">>> VERIFYING THE WRITTEN DATA: SECTORS " + std::to_string(report.FirstSector) + ".." +
            std::to_string(report.FirstSector + report.Sectors - 1));
    const auto began = std::chrono::steady_clock::now();

    const TStreamSources sources(cache->Job());
    TDiscVerifier verifier(*this, abortFlag_, bytesVerified_);
    TDiscVerifier::TSession session;
    session.StartLBA = static_cast<uint32_t>(report.FirstSector);
    session.Digest = &digest_;
    session.Sources = &sources;
    const int64_t end = report.FirstSector + report.Sectors;
    session.MakeMap = [this, end] {
        return job_.SourceIsImageFile ? SectorMapOfImage(job_.ImagePath) : SectorMapOfLayout(*this, end);
    };
    verifier.Run(session, report);
    VerifyDescriptorCopy(verifier, report);
    NoteChangedSources(*cache, report);
    if (report.Outcome == TVerifyOutcome::NotRun)
        report.Outcome = report.Findings.empty() ? TVerifyOutcome::Verified : TVerifyOutcome::Differs;
    report.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    LogVerification(report);
    {
        std::lock_guard lock(engineLock_);
        lastVerification_ = report;
    }
    return report.ErrorText();
}

void TKestrelBurner::VerifyDescriptorCopy(TDiscVerifier& Verifier, TVerifyReport& Report) {
    if (descriptorCopySectors_ == 0 || Report.Outcome != TVerifyOutcome::NotRun) return;
    Verifier.CompareWith(0, head_.data(), descriptorCopySectors_, Report);
}

void TKestrelBurner::NoteChangedSources(const TCacheThread& Cache, TVerifyReport& Report) const {
    for (const auto& path : Cache.ChangedFiles()) Report.Add(path, TVerifyProblem::ChangedWhileBurnt);
    const TCacheJob& job = Cache.Job();
    for (const auto& stamp : Cache.SourceStamps()) {
        const std::string& path = stamp.Index == TSourceStamp::kImageFile ? job.ImageFileName : job.Files[stamp.Index].Path;
        if (ChangedSince(path, stamp)) Report.Add(path, TVerifyProblem::ChangedWhileBurnt);
    }
}

void TKestrelBurner::LogVerification(const TVerifyReport& Report) const {
    for (const auto& finding : Report.Findings) DebugMsg(">>> VERIFY: " + finding.Text(), mtFailure);
    if (Report.Outcome == TVerifyOutcome::Verified)
        LogInfo(">>> " + Report.Summary() + " IN " + SecondsText(Report.Seconds) + " S");
    else
        DebugMsg(">>> " + Report.Summary(), mtFailure);
}

}  // namespace kestrel
