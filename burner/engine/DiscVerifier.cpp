#include "burner/engine/DiscVerifier.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "burner/device/BusyWait.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

constexpr uint32_t kSector = 2048;
constexpr uint32_t kRange = kDigestRangeSectors;

// The drive cannot read anything now (no disc, not ready for another
// reason than a long operation): every further sector would fail alike.
bool NothingReadable(const TSCSICommands& Device) {
    return (Device.LastSense[2] & 0x0F) == mmc::key::kNotReady || Device.LastASC() == mmc::asc::kMediumNotPresent;
}

}  // namespace

TDiscVerifier::TDiscVerifier(TSCSICommands& Device, const std::atomic<bool>& Abort, std::atomic<int64_t>& BytesRead)
    : device_(Device), abort_(Abort), bytesRead_(BytesRead), source_(size_t(kRange) * kSector) {
    for (auto& batch : batches_) {
        batch.Data.assign(size_t(kBatchRanges) * kRange * kSector, 0);
        batch.Unreadable.assign(size_t(kBatchRanges) * kRange, false);
    }
}

void TDiscVerifier::Run(const TSession& Session, TVerifyReport& Report) {
    const int64_t total = Session.Digest->StreamSectors();
    const int64_t ranges = (total + kRange - 1) / kRange;
    std::thread helper([this, ranges] { Fingerprint(ranges); });
    // The helper ends with the reading, on every way out.
    struct TStopHelper {
        TDiscVerifier& Verifier;
        std::thread& Helper;
        ~TStopHelper() {
            {
                std::lock_guard lock(Verifier.batchLock_);
                Verifier.stopFingerprinting_ = true;
            }
            Verifier.batchChanged_.notify_all();
            Helper.join();
        }
    } stop{*this, helper};

    size_t next = 0;
    for (int64_t range = 0; range < ranges; range += kBatchRanges, next = (next + 1) % kBatches) {
        TBatch& batch = batches_[next];
        Conclude(Session, batch, Report);
        if (abort_) {
            Report.Outcome = TVerifyOutcome::Aborted;
            return;
        }
        batch.First = range;
        batch.Ranges = static_cast<uint32_t>(std::min<int64_t>(kBatchRanges, ranges - range));
        batch.Sectors = static_cast<uint32_t>(std::min<int64_t>(int64_t(batch.Ranges) * kRange, total - range * kRange));
        if (!ReadBatch(Session, batch, Report)) break;
    }
    // The batches still in flight, oldest first.
    for (size_t i = 0; i < kBatches; ++i) Conclude(Session, batches_[(next + i) % kBatches], Report);
}

bool TDiscVerifier::ReadBatch(const TSession& Session, TBatch& Batch, TVerifyReport& Report) {
    std::fill(Batch.Unreadable.begin(), Batch.Unreadable.end(), false);
    for (uint32_t done = 0; done < Batch.Sectors; done += kRange) {
        const uint32_t count = std::min(kRange, Batch.Sectors - done);
        const auto lba = static_cast<uint32_t>(Session.StartLBA + Batch.First * kRange + done);
        std::string problem;
        if (ReadRange(lba, count, Batch.Data.data() + size_t(done) * kSector, Batch.Unreadable.begin() + done,
                      problem) == TReadResult::Fatal) {
            Report.Outcome = TVerifyOutcome::Failed;
            Report.Problem = problem;
            return false;
        }
        bytesRead_ += int64_t(count) * kSector;
    }
    {
        std::lock_guard lock(batchLock_);
        Batch.State = TBatchState::Read;
    }
    batchChanged_.notify_all();
    if (unreadableCount_ < kMaxUnreadable) return true;
    Report.Problem = "THE READING STOPPED AFTER " + std::to_string(kMaxUnreadable) + " UNREADABLE SECTORS";
    return false;
}

void TDiscVerifier::Fingerprint(int64_t Ranges) {
    size_t next = 0;
    for (int64_t done = 0; done < Ranges; done += kBatchRanges, next = (next + 1) % kBatches) {
        TBatch& batch = batches_[next];
        {
            std::unique_lock lock(batchLock_);
            batchChanged_.wait(lock, [&] { return batch.State == TBatchState::Read || stopFingerprinting_; });
            if (batch.State != TBatchState::Read) return;
        }
        for (uint32_t r = 0; r < batch.Ranges; ++r)
            batch.Digests[r] = RangeDigest(batch.Data.data() + size_t(r) * kRange * kSector,
                                           std::min(kRange, batch.Sectors - r * kRange));
        {
            std::lock_guard lock(batchLock_);
            batch.State = TBatchState::Fingerprinted;
        }
        batchChanged_.notify_all();
    }
}

void TDiscVerifier::Conclude(const TSession& Session, TBatch& Batch, TVerifyReport& Report) {
    {
        std::unique_lock lock(batchLock_);
        if (Batch.State == TBatchState::Free) return;
        batchChanged_.wait(lock, [&] { return Batch.State == TBatchState::Fingerprinted; });
    }
    for (uint32_t r = 0; r < Batch.Ranges; ++r) {
        const uint32_t count = std::min(kRange, Batch.Sectors - r * kRange);
        const auto unreadable = Batch.Unreadable.cbegin() + r * kRange;
        const bool partly = std::find(unreadable, unreadable + count, true) != unreadable + count;
        if (partly || Batch.Digests[r] != Session.Digest->Range(static_cast<size_t>(Batch.First + r)))
            Resolve(Session, (Batch.First + r) * kRange, count, Batch.Data.data() + size_t(r) * kRange * kSector,
                    unreadable, Report);
    }
    std::lock_guard lock(batchLock_);
    Batch.State = TBatchState::Free;
}

void TDiscVerifier::CompareWith(uint32_t Lba, const uint8_t* Expected, uint32_t Sectors, TVerifyReport& Report) {
    const uint32_t count = std::min(Sectors, kRange);
    std::vector<uint8_t> disc(size_t(count) * kSector);
    std::vector<bool> unreadable(count, false);
    std::string problem;
    if (ReadRange(Lba, count, disc.data(), unreadable.begin(), problem) == TReadResult::Fatal) {
        Report.Outcome = TVerifyOutcome::Failed;
        Report.Problem = problem;
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (unreadable[i]) Report.Add(kFileSystemStructures, TVerifyProblem::Unreadable, int64_t(Lba) + i);
        else if (std::memcmp(disc.data() + size_t(i) * kSector, Expected + size_t(i) * kSector, kSector) != 0)
            Report.Add(kFileSystemStructures, TVerifyProblem::Differs, int64_t(Lba) + i);
    }
}

TDiscVerifier::TReadResult TDiscVerifier::ReadRange(uint32_t Lba, uint32_t Count, uint8_t* Into,
                                                    std::vector<bool>::iterator Unreadable, std::string& Problem) {
    const auto read = [&](uint32_t First, uint32_t Sectors) {
        uint8_t* at = Into + size_t(First - Lba) * kSector;
        return AskWhileBusy(device_,
                            [&] { return device_.Read10(First, static_cast<uint16_t>(Sectors), at, Sectors * kSector); }) &&
               device_.LastTransferred >= Sectors * kSector;
    };
    const auto fatal = [&] {
        Problem = DriveBusy(device_) ? DriveBusyText(device_) : "CAN'T READ THE DISC BACK [" + device_.LastError + "]";
        return TReadResult::Fatal;
    };
    if (read(Lba, Count)) return TReadResult::Read;
    if (DriveBusy(device_) || NothingReadable(device_)) return fatal();
    // The block holds a sector the drive cannot read: which ones, one by one.
    for (uint32_t i = 0; i < Count; ++i) {
        if (read(Lba + i, 1)) continue;
        if (DriveBusy(device_) || NothingReadable(device_)) return fatal();
        Unreadable[i] = true;
        ++unreadableCount_;
        std::memset(Into + size_t(i) * kSector, 0, kSector);
    }
    return TReadResult::Partly;
}

void TDiscVerifier::Resolve(const TSession& Session, int64_t StreamSector, uint32_t Count, const uint8_t* Disc,
                            std::vector<bool>::const_iterator Unreadable, TVerifyReport& Report) {
    const int64_t lba = Session.StartLBA + StreamSector;
    const TSectorMap& map = Map(Session);
    // Without the sources the range can only be named as a whole.
    const bool compared = Session.Sources->Read(StreamSector, Count, source_.data()).empty();
    bool named = false;
    for (uint32_t i = 0; i < Count; ++i) {
        const std::string name = map.NameOf(lba + i);
        if (Unreadable[i]) {
            Report.Add(name, TVerifyProblem::Unreadable, lba + i);
            named = true;
        } else if (compared && std::memcmp(Disc + size_t(i) * kSector, source_.data() + size_t(i) * kSector, kSector) != 0) {
            Report.Add(name, TVerifyProblem::Differs, lba + i);
            named = true;
        }
    }
    if (named) return;
    // The disc differs from what was written but agrees with the sources as
    // they are now (or they cannot be read): every file of the range is named.
    for (uint32_t i = 0; i < Count; ++i) Report.Add(map.NameOf(lba + i), TVerifyProblem::Differs, lba + i);
}

const TSectorMap& TDiscVerifier::Map(const TSession& Session) {
    if (!map_) map_ = Session.MakeMap ? Session.MakeMap() : TSectorMap{};
    return *map_;
}

}  // namespace kestrel
