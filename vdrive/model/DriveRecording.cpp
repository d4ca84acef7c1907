// Reading and recording: READ/WRITE, the drive buffer, closing, reserving,
// blanking and formatting.
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "kestrel/mmc.h"
#include "model/Bytes.h"
#include "model/Drive.h"
#include "model/Sense.h"

namespace vdrive {
namespace {

int64_t MonotonicUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Durations of the long operations at time scale 1, in seconds.
constexpr double kBlankFullSeconds = 60, kBlankQuickSeconds = 10, kBlankSessionSeconds = 5;
constexpr double kFormatFullSeconds = 60, kFormatQuickSeconds = 5, kCloseSeconds = 2;

// A full format, or a BD format that certifies every cluster, takes the
// long time; quick formats and spare areas of a BD-R the short one.
bool FormatTakesLong(const Medium& M, uint8_t Type, uint8_t Subtype) {
    namespace fmt = mmc::format;
    if (M.IsBd()) return M.IsOverwrite() && (Type == fmt::kFull || Subtype == fmt::kFullCertification);
    return Type != fmt::kDvdPlusRw && Type != 0x13 && Type != 0x15 && Type != 0x11;
}

}  // namespace

size_t Drive::Read(const CommandBuffer& Cmd, uint32_t Lba, uint32_t Count) {
    const Medium& m = RequireReadableMedium();
    if (Count == 0) return 0;
    uint32_t fits = static_cast<uint32_t>(Cmd.dataLen / kBlockSize);
    if (fits == 0) sense::InvalidField();
    Count = std::min(Count, fits);
    const uint32_t limit = m.IsOverwrite() ? m.FormattedBlocks() : m.capacity;
    if (uint64_t(Lba) + Count > limit) sense::OutOfRange();
    for (uint32_t i = 0; i < Count; ++i)
        if (!m.IsReadable(Lba + i)) sense::IllegalModeForTrack();
    if (knobs_.unreadableLba >= Lba && knobs_.unreadableLba < int64_t(Lba) + Count)
        throw CheckCondition(mmc::key::kMediumError, mmc::asc::kUnrecoveredReadError, 0x00);
    image_->Read(Lba, Cmd.data, Count);
    return size_t(Count) * kBlockSize;
}

// READ CD of user data only (2,048 bytes per block of a data track).
size_t Drive::ReadCd(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    uint8_t sectorType = (c[1] >> 2) & 0x07;
    if (sectorType != 0 && sectorType != 2) sense::IllegalModeForTrack();
    if ((c[9] & 0xF8) != 0x10 || c[10] != 0) sense::InvalidField();
    return Read(Cmd, Get32(c + 2), Get24(c + 6));
}

size_t Drive::Verify(const CommandBuffer& Cmd) {
    const Medium& m = RequireReadableMedium();
    uint32_t lba = Get32(Cmd.cdb + 2), count = Get16(Cmd.cdb + 7);
    for (uint32_t i = 0; i < count; ++i)
        if (!m.IsReadable(lba + i)) sense::IllegalModeForTrack();
    return 0;
}

void Drive::CheckWriteKnobs(uint32_t Lba, uint32_t Count) {
    if (knobs_.failWriteLba >= 0 && knobs_.failWriteCount != 0 && knobs_.failWriteLba >= Lba &&
        knobs_.failWriteLba < int64_t(Lba) + Count) {
        if (knobs_.failWriteCount > 0) --knobs_.failWriteCount;
        SaveKnobs();
        const SenseCode& s = knobs_.failWriteSense;
        throw CheckCondition(s.key, s.asc, s.ascq);
    }
    if (knobs_.dropMediumAfter >= 0) {
        if (knobs_.dropMediumAfter < Count) {
            knobs_.dropMediumAfter = -1;
            SaveKnobs();
            state_.trayOpen = true;
            ++state_.mediaEvents;
            SaveState();
            throw CheckCondition(sense::kNotReady, 0x3A, 0x02);
        }
        knobs_.dropMediumAfter -= Count;
        SaveKnobs();
    }
}

void Drive::RecordCorruptBlock(uint32_t Lba, uint32_t Count, const uint8_t* Data) {
    const int64_t bad = knobs_.corruptWriteLba;
    if (bad < Lba || bad >= int64_t(Lba) + Count) return;
    // The caller's buffer stays as it was: only the recorded copy differs.
    const uint8_t* block = Data + size_t(bad - Lba) * kBlockSize;
    std::vector<uint8_t> changed(block, block + kBlockSize);
    changed[kBlockSize / 2] ^= 0xFF;
    image_->Write(static_cast<uint32_t>(bad), changed.data(), 1, false);
}

size_t Drive::Write(const CommandBuffer& Cmd, uint32_t Lba, uint32_t Count) {
    Medium& m = RequireWritableMedium();
    if (Count == 0) return 0;
    if (Cmd.dir == Direction::In || uint64_t(Count) * kBlockSize > Cmd.dataLen) sense::InvalidField();
    if (sao_ && m.IsCd()) {
        // The pre-gap before the first track lies at negative addresses on a
        // first session; it holds no data and is not kept.
        const int64_t lba = static_cast<int32_t>(Lba);
        if (lba != sao_->next) sense::InvalidWriteAddress();
        const uint32_t gap = lba < sao_->start ? static_cast<uint32_t>(std::min<int64_t>(Count, sao_->start - lba)) : 0;
        if (gap == Count) {
            sao_->next += Count;
            return size_t(Count) * kBlockSize;
        }
        CommandBuffer rest = Cmd;
        rest.data += size_t(gap) * kBlockSize;
        rest.dataLen -= size_t(gap) * kBlockSize;
        auto saved = std::move(sao_);
        sao_.reset();
        size_t done = 0;
        try {
            done = Write(rest, static_cast<uint32_t>(lba + gap), Count - gap);
        } catch (...) {
            sao_ = std::move(saved);
            throw;
        }
        sao_ = std::move(saved);
        sao_->next += Count;
        sao_->wroteData = true;
        return size_t(gap) * kBlockSize + done;
    }
    if (Simulating()) {
        // A test write: the address is checked, nothing is recorded.
        if (!(simulateNext_ && *simulateNext_ == Lba)) m.PlanWrite(Lba, Count);
        simulateNext_ = Lba + Count;
        Throttle(Count * kBlockSize);
        return size_t(Count) * kBlockSize;
    }
    size_t trackIndex = m.PlanWrite(Lba, Count);
    CheckWriteKnobs(Lba, Count);
    bool newTrack = trackIndex == m.tracks.size();
    image_->Write(Lba, Cmd.data, Count, m.IsSequential());
    RecordCorruptBlock(Lba, Count, Cmd.data);
    m.CommitWrite(trackIndex, Lba, Count);
    if (newTrack) SaveState();
    else PublishHot(trackIndex);
    Throttle(Count * kBlockSize);
    return size_t(Count) * kBlockSize;
}

// Bytes per second the drive records at the selected speed. A disc whose
// writes are verified takes twice as long, as the drive reads every
// cluster back after writing it.
double Drive::RecordingRate() const {
    double rate = double(std::min(writeKBs_, std::max<uint16_t>(MaxWriteKBs(), 1))) * 1000.0;
    return state_.medium && state_.medium->VerifiesWrites() ? rate / 2 : rate;
}

// The drive buffer empties at the recording rate; a write fills it.
void Drive::DrainBuffer() {
    int64_t now = MonotonicUs();
    const double rate = RecordingRate();
    if (bufferStampUs_) bufferFill_ = std::max(0.0, bufferFill_ - rate * double(now - bufferStampUs_) / 1e6);
    bufferStampUs_ = now;
}

// With throttling a write takes the time the recording rate needs.
void Drive::Throttle(uint32_t Bytes) {
    DrainBuffer();
    const double capacity = double(model_.bufferKB) * 1024.0;
    bufferFill_ = std::min(capacity, bufferFill_ + Bytes);
    if (!knobs_.EffectiveThrottle()) return;
    const double rate = RecordingRate();
    int64_t now = MonotonicUs();
    throttleNextUs_ = std::max(throttleNextUs_, double(now)) + double(Bytes) * 1e6 / rate;
    auto wait = static_cast<int64_t>(throttleNextUs_) - now;
    if (wait > 0) std::this_thread::sleep_for(std::chrono::microseconds(std::min<int64_t>(wait, 10'000'000)));
}

size_t Drive::ReadBufferCapacity(const CommandBuffer& Cmd) {
    RequireMedium();
    DrainBuffer();
    const uint32_t capacity = model_.bufferKB * 1024;
    const uint32_t blank = capacity - std::min<uint32_t>(capacity, static_cast<uint32_t>(bufferFill_));
    std::vector<uint8_t> d(12, 0);
    Put16(d.data(), 10);
    if (Cmd.cdb[1] & 0x01) {
        Put32(&d[8], blank / kBlockSize);  // block mode: available blocks
    } else {
        Put32(&d[4], capacity);
        Put32(&d[8], blank);
    }
    return SendReply(Cmd, d, Get16(Cmd.cdb + 7));
}

size_t Drive::SynchronizeCache() {
    Medium& m = RequireMedium();
    bufferFill_ = 0;
    simulateNext_.reset();
    if (sao_ && sao_->wroteData && !Simulating()) {
        // Session at once: the drive writes lead-in and lead-out now.
        m.CloseSession((writePage_[3] >> 6) != 0x03);
        sao_.reset();
        SaveState();
        return 0;
    }
    if (m.IsBd() && m.IsSequential() && !m.finalized) {
        m.PadPartialUnits();
        SaveState();
        return 0;
    }
    if (hotDirty_) SaveState();
    return 0;
}

size_t Drive::CloseTrackSession(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    Medium& m = RequireWritableMedium();
    const bool immediate = c[1] & 0x01;
    const uint8_t function = c[2] & 0x07;
    const uint16_t number = Get16(c + 4);
    if (Simulating()) {  // nothing was recorded, so nothing is closed
        simulateNext_.reset();
        return 0;
    }
    // Multisession field of the write parameters: 11b leaves the disc open.
    const bool nextSessionAllowed = (writePage_[3] >> 6) == 0x03;
    // DVD+R and BD-R stay open after closing a session; finalizing is asked
    // for with its own function.
    const bool plusR = m.kind == MediaKind::DvdPlusR || m.kind == MediaKind::DvdPlusRDl || (m.IsBd() && m.IsSequential());
    switch (function) {
    case 0:  // DVD+RW: stop the background format ("de-icing")
        if (m.kind != MediaKind::DvdPlusRw) sense::InvalidField();
        break;
    case 1: m.CloseTrack(number); break;
    case 2: m.CloseSession(plusR ? false : !nextSessionAllowed); break;
    case 3:
        if (m.kind != MediaKind::DvdPlusRw) m.CloseSession(true);
        break;
    case 5:
    case 6: m.CloseSession(true); break;
    default: sense::InvalidField();
    }
    bufferFill_ = 0;
    SaveState();
    StartLongOp(LongOp::Close, kCloseSeconds, immediate);
    return 0;
}

size_t Drive::ReserveTrack(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    Medium& m = RequireWritableMedium();
    if (c[1] & 0x01) sense::InvalidField();  // reservation by address is not offered
    m.ReserveTrack(Get32(c + 5));
    SaveState();
    return 0;
}

size_t Drive::SendOpc() {
    RequireWritableMedium();
    return 0;
}

size_t Drive::SendCueSheet(const CommandBuffer& Cmd) {
    const Medium& m = RequireWritableMedium();
    if (!m.IsCd()) sense::CannotWriteMedium();
    size_t length = Get24(Cmd.cdb + 6);
    if (length > Cmd.dataLen || length % 8) sense::ParameterLength();
    if ((writePage_[2] & 0x0F) != 0x02) sense::SequenceError();  // not session at once
    if (!m.Appendable() || m.LastIsIncomplete()) sense::SequenceError();
    const int64_t start = m.NextTrackStart();
    sao_ = SessionAtOnce{start, start - 150, false};
    return 0;
}

size_t Drive::SendDvdStructure(const CommandBuffer& Cmd) {
    const Medium& m = RequireMedium();
    if (m.IsCd()) sense::CannotWriteMedium();
    if (Get16(Cmd.cdb + 8) > Cmd.dataLen) sense::ParameterLength();
    return 0;
}

size_t Drive::Blank(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    Medium& m = RequireWritableMedium();
    const bool immediate = c[1] & 0x10;
    const uint8_t type = c[1] & 0x07;
    if (type != 0 && type != 1 && type != 5 && type != 6) sense::InvalidField();
    const BlankType blank = static_cast<BlankType>(type);
    BlockRange erased = m.BlankDisc(blank);
    if (blank == BlankType::Full || blank == BlankType::Minimal) image_->EraseAll();
    else image_->Erase(erased.start, erased.count);
    SaveState();
    double seconds = blank == BlankType::Full      ? kBlankFullSeconds
                     : blank == BlankType::Minimal ? kBlankQuickSeconds
                                                   : kBlankSessionSeconds;
    StartLongOp(LongOp::Blank, seconds, immediate);
    return 0;
}

size_t Drive::FormatUnit(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    Medium& m = RequireReadableMedium();
    if (!model_.Writes(m.kind)) sense::CannotFormatMedium();
    const bool withList = c[1] & 0x10;
    uint8_t type = 0, subtype = 0;
    uint32_t blocks = 0;
    bool immediate = false;
    if (withList) {
        if ((c[1] & 0x07) != 1) sense::InvalidField();
        if (Cmd.dir == Direction::In || Cmd.dataLen < 12) sense::ParameterLength();
        const uint8_t* d = Cmd.data;
        immediate = d[1] & 0x02;
        if (Get16(d + 2) != 8) sense::InvalidParameter();
        blocks = Get32(d + 4);
        type = d[8] >> 2;
        subtype = d[8] & 0x03;
    } else {
        type = m.kind == MediaKind::DvdPlusRw ? mmc::format::kDvdPlusRw : mmc::format::kFull;
    }
    const bool erases = m.FormatDisc(type, blocks, subtype);
    if (erases) image_->EraseAll();
    SaveState();
    StartLongOp(LongOp::Format, FormatTakesLong(m, type, subtype) ? kFormatFullSeconds : kFormatQuickSeconds,
                immediate);
    return 0;
}

}  // namespace vdrive
