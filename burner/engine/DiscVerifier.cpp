#include "burner/engine/DiscVerifier.h"

#include <algorithm>
#include <cstring>

#include "burner/device/BusyWait.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

constexpr uint32_t kSector = 2048;

// The drive cannot read anything now (no disc, not ready for another
// reason than a long operation): every further sector would fail alike.
bool NothingReadable(const TSCSICommands& Device) {
    return (Device.LastSense[2] & 0x0F) == mmc::key::kNotReady || Device.LastASC() == mmc::asc::kMediumNotPresent;
}

}  // namespace

TDiscVerifier::TDiscVerifier(TSCSICommands& Device, const std::atomic<bool>& Abort, std::atomic<int64_t>& BytesRead)
    : device_(Device),
      abort_(Abort),
      bytesRead_(BytesRead),
      disc_(size_t(kDigestRangeSectors) * kSector),
      source_(size_t(kDigestRangeSectors) * kSector),
      unreadable_(kDigestRangeSectors) {}

void TDiscVerifier::Run(const TSession& Session, TVerifyReport& Report) {
    const int64_t total = Session.Digest->StreamSectors();
    for (int64_t sector = 0, range = 0; sector < total; sector += kDigestRangeSectors, ++range) {
        if (abort_) {
            Report.Outcome = TVerifyOutcome::Aborted;
            return;
        }
        const auto count = static_cast<uint32_t>(std::min<int64_t>(kDigestRangeSectors, total - sector));
        std::string problem;
        const TReadResult read = ReadRange(static_cast<uint32_t>(Session.StartLBA + sector), count, problem);
        if (read == TReadResult::Fatal) {
            Report.Outcome = TVerifyOutcome::Failed;
            Report.Problem = problem;
            return;
        }
        if (read == TReadResult::Partly ||
            RangeDigest(disc_.data(), count) != Session.Digest->Range(static_cast<size_t>(range)))
            Resolve(Session, sector, count, Report);
        bytesRead_ += int64_t(count) * kSector;
        if (unreadableCount_ >= kMaxUnreadable) {
            Report.Problem = "THE READING STOPPED AFTER " + std::to_string(kMaxUnreadable) + " UNREADABLE SECTORS";
            return;
        }
    }
}

void TDiscVerifier::CompareWith(uint32_t Lba, const uint8_t* Expected, uint32_t Sectors, TVerifyReport& Report) {
    const uint32_t count = std::min(Sectors, kDigestRangeSectors);
    std::string problem;
    if (ReadRange(Lba, count, problem) == TReadResult::Fatal) {
        Report.Outcome = TVerifyOutcome::Failed;
        Report.Problem = problem;
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (unreadable_[i]) Report.Add(kFileSystemStructures, TVerifyProblem::Unreadable, int64_t(Lba) + i);
        else if (std::memcmp(disc_.data() + size_t(i) * kSector, Expected + size_t(i) * kSector, kSector) != 0)
            Report.Add(kFileSystemStructures, TVerifyProblem::Differs, int64_t(Lba) + i);
    }
}

TDiscVerifier::TReadResult TDiscVerifier::ReadRange(uint32_t Lba, uint32_t Count, std::string& Problem) {
    std::fill(unreadable_.begin(), unreadable_.end(), false);
    const auto read = [&](uint32_t First, uint32_t Sectors) {
        uint8_t* into = disc_.data() + size_t(First - Lba) * kSector;
        return AskWhileBusy(device_, [&] { return device_.Read10(First, static_cast<uint16_t>(Sectors), into, Sectors * kSector); }) &&
               device_.LastTransferred >= Sectors * kSector;
    };
    const auto fatal = [&] {
        Problem = DriveBusy(device_) ? DriveBusyText(device_)
                                     : "CAN'T READ THE DISC BACK [" + device_.LastError + "]";
        return TReadResult::Fatal;
    };
    if (read(Lba, Count)) return TReadResult::Read;
    if (DriveBusy(device_) || NothingReadable(device_)) return fatal();
    // The block holds a sector the drive cannot read: which ones, one by one.
    for (uint32_t i = 0; i < Count; ++i) {
        if (read(Lba + i, 1)) continue;
        if (DriveBusy(device_) || NothingReadable(device_)) return fatal();
        unreadable_[i] = true;
        ++unreadableCount_;
        std::memset(disc_.data() + size_t(i) * kSector, 0, kSector);
    }
    return TReadResult::Partly;
}

void TDiscVerifier::Resolve(const TSession& Session, int64_t StreamSector, uint32_t Count, TVerifyReport& Report) {
    const int64_t lba = Session.StartLBA + StreamSector;
    const TSectorMap& map = Map(Session);
    // Without the sources the range can only be named as a whole.
    const bool compared = Session.Sources->Read(StreamSector, Count, source_.data()).empty();
    bool named = false;
    for (uint32_t i = 0; i < Count; ++i) {
        const std::string name = map.NameOf(lba + i);
        if (unreadable_[i]) {
            Report.Add(name, TVerifyProblem::Unreadable, lba + i);
            named = true;
        } else if (compared &&
                   std::memcmp(disc_.data() + size_t(i) * kSector, source_.data() + size_t(i) * kSector, kSector) != 0) {
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
