#include "model/Medium.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "kestrel/mmc.h"
#include "model/Sense.h"
#include "model/SpareAreas.h"

namespace vdrive {

Medium Medium::Blank(MediaKind Kind) {
    Medium m;
    m.kind = Kind;
    m.capacity = TraitsOf(Kind).capacity;
    if (m.IsOverwrite() && !m.Traits().needsFormat) {
        m.formatted = true;
        m.closedSessions = 1;
        m.tracks.push_back(Track{1, 0, m.capacity, 0, true});
    }
    return m;
}

Medium Medium::WithImage(MediaKind Kind, uint32_t Blocks, bool Appendable) {
    Medium m = Blank(Kind);
    if (m.IsOverwrite()) {
        // A BD-RE comes formatted the way the drive formats it unasked.
        if (!m.formatted) m.FormatDisc(m.IsBd() ? mmc::format::kBdReWithSpare : mmc::format::kDvdPlusRw, 0);
        if (Blocks > m.FormattedBlocks()) throw std::runtime_error("the image does not fit on the medium");
        m.tracks[0].recorded = Blocks;
        return m;
    }
    if (Blocks > m.capacity) throw std::runtime_error("the image does not fit on the medium");
    if (Blocks == 0) return m;
    m.tracks.push_back(Track{1, 0, 0, m.WholeUnits(Blocks), true});
    m.closedSessions = 1;
    m.finalized = m.IsPressed() || !Appendable;
    return m;
}

DiscStatus Medium::Status() const {
    if (IsOverwrite()) return formatted ? DiscStatus::Complete : DiscStatus::Empty;
    if (tracks.empty()) return DiscStatus::Empty;
    return finalized ? DiscStatus::Complete : DiscStatus::Incomplete;
}

SessionState Medium::LastSessionState() const {
    if (Status() == DiscStatus::Complete) return SessionState::Complete;
    if (!tracks.empty() && tracks.back().session == OpenSession()) return SessionState::Incomplete;
    return SessionState::Empty;
}

uint32_t Medium::SessionCount() const {
    if (IsOverwrite()) return 1;
    return finalized ? closedSessions : closedSessions + 1;
}

uint32_t Medium::CompleteSessions() const { return IsOverwrite() ? (formatted ? 1 : 0) : closedSessions; }

bool Medium::LastIsIncomplete() const {
    return IsSequential() && !tracks.empty() && !tracks.back().closed && tracks.back().reserved == 0;
}

uint32_t Medium::NextTrackStart() const {
    if (tracks.empty()) return 0;
    const Track& last = tracks.back();
    uint32_t end = last.End();
    if (IsCd() && last.session <= closedSessions) end += closedSessions == 1 ? kFirstSessionGap : kLaterSessionGap;
    return end;
}

uint32_t Medium::OpenSessionStart() const {
    for (const auto& t : tracks)
        if (t.session == OpenSession()) return t.start;
    return NextTrackStart();
}

bool Medium::Appendable() const {
    return IsSequential() && !finalized && (LastIsIncomplete() || NextTrackStart() < capacity);
}

uint32_t Medium::InvisibleTrackNumber() const {
    if (!Appendable()) return 0;
    return LastIsIncomplete() ? static_cast<uint32_t>(tracks.size()) : static_cast<uint32_t>(tracks.size() + 1);
}

uint32_t Medium::FirstTrackInLastSession() const {
    uint32_t session = finalized || IsOverwrite() ? closedSessions : OpenSession();
    for (size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].session == session) return static_cast<uint32_t>(i + 1);
    uint32_t invisible = InvisibleTrackNumber();
    return invisible ? invisible : static_cast<uint32_t>(std::max<size_t>(tracks.size(), 1));
}

uint32_t Medium::LastTrackInLastSession() const {
    uint32_t invisible = InvisibleTrackNumber();
    if (invisible) return invisible;
    return static_cast<uint32_t>(std::max<size_t>(tracks.size(), 1));
}

uint32_t Medium::RecordedEnd() const {
    uint32_t end = 0;
    for (const auto& t : tracks) end = std::max(end, t.start + t.recorded);
    return end;
}

uint32_t Medium::FormattedBlocks() const {
    return IsOverwrite() && formatted && !tracks.empty() ? tracks[0].Size() : 0;
}

bool Medium::IsReadable(uint32_t Lba) const {
    if (IsOverwrite()) return Lba < FormattedBlocks();
    for (const auto& t : tracks)
        if (Lba >= t.start && Lba < t.start + t.recorded) return true;
    return false;
}

void Medium::RequireWritable() const {
    if (IsPressed()) sense::CannotWriteMedium();
    if (IsOverwrite() && !formatted) sense::MediumNotFormatted();
}

size_t Medium::PlanWrite(uint32_t Lba, uint32_t Count) const {
    RequireWritable();
    if (IsOverwrite()) {
        if (uint64_t(Lba) + Count > FormattedBlocks()) sense::OutOfRange();
        return 0;
    }
    if (finalized) sense::InvalidWriteAddress();
    for (size_t i = 0; i < tracks.size(); ++i) {
        const Track& t = tracks[i];
        if (t.closed || t.Nwa() != Lba) continue;
        if (t.reserved && uint64_t(Lba) + Count > uint64_t(t.start) + t.reserved)
            sense::InvalidWriteAddress();
        if (t.reserved && t.recorded >= t.reserved) continue;
        if (uint64_t(Lba) + Count > capacity) sense::OutOfRange();
        return i;
    }
    if (LastIsIncomplete() || Lba != NextTrackStart()) sense::InvalidWriteAddress();
    if (uint64_t(Lba) + Count > capacity) sense::OutOfRange();
    return tracks.size();
}

uint32_t Medium::WholeUnits(uint32_t Blocks) const {
    if (!IsBd()) return Blocks;
    const uint32_t unit = mmc::bd::kClusterBlocks;
    return static_cast<uint32_t>((uint64_t(Blocks) + unit - 1) / unit * unit);
}

void Medium::CommitWrite(size_t TrackIndex, uint32_t Lba, uint32_t Count) {
    if (IsOverwrite()) {
        tracks[0].recorded = std::max(tracks[0].recorded, Lba + Count);
        return;
    }
    if (TrackIndex == tracks.size()) tracks.push_back(Track{OpenSession(), Lba, 0, 0, false});
    tracks[TrackIndex].recorded += Count;
}

void Medium::PadPartialUnits() {
    if (!IsSequential()) return;
    for (auto& t : tracks)
        if (!t.closed) t.recorded = std::min(WholeUnits(t.recorded), t.reserved ? t.reserved : capacity - t.start);
}

void Medium::ReserveTrack(uint32_t Blocks) {
    RequireWritable();
    if (!IsSequential() || finalized || LastIsIncomplete()) sense::SequenceError();
    if (Blocks == 0) sense::InvalidField();
    Blocks = WholeUnits(Blocks);
    uint32_t start = NextTrackStart();
    if (uint64_t(start) + Blocks > capacity) sense::OutOfRange();
    tracks.push_back(Track{OpenSession(), start, Blocks, 0, false});
}

void Medium::CloseTrack(uint32_t Number) {
    if (IsOverwrite()) return;
    if (IsPressed() || finalized) sense::SequenceError();
    if (Number == 0 || Number > tracks.size() + 1) sense::InvalidField();
    if (Number == tracks.size() + 1) return;  // the empty invisible track
    Track& t = tracks[Number - 1];
    if (t.closed) return;
    t.recorded = WholeUnits(t.Size());  // a reserved track is padded to its size
    t.closed = true;
}

void Medium::CloseOpenTracks() {
    for (auto& t : tracks)
        if (!t.closed) {
            t.recorded = WholeUnits(t.Size());
            t.closed = true;
        }
}

void Medium::CloseSession(bool Finalize) {
    if (IsOverwrite()) return;
    if (IsPressed() || finalized) sense::SequenceError();
    bool sessionHasTracks = !tracks.empty() && tracks.back().session == OpenSession();
    CloseOpenTracks();
    if (!sessionHasTracks) {
        if (Finalize && !tracks.empty()) finalized = true;
        return;
    }
    ++closedSessions;
    finalized = Finalize || NextTrackStart() >= capacity;
}

BlockRange Medium::BlankDisc(BlankType Type) {
    if (!Traits().erasable || IsPressed()) sense::CannotWriteMedium();
    // These are emptied by formatting; they have no blanking.
    if (kind == MediaKind::DvdPlusRw || kind == MediaKind::DvdRam || IsBd()) sense::CannotWriteMedium();
    switch (Type) {
    case BlankType::Full:
    case BlankType::Minimal: {
        BlockRange erased{0, std::max(RecordedEnd(), FormattedBlocks())};
        if (kind == MediaKind::DvdRwRestricted) kind = MediaKind::DvdRwSequential;
        *this = Medium::Blank(kind);
        return erased;
    }
    case BlankType::UncloseSession:
        if (IsOverwrite() || closedSessions == 0 || tracks.back().session == OpenSession()) sense::SequenceError();
        --closedSessions;
        finalized = false;
        return {};
    case BlankType::LastSession: {
        if (IsOverwrite() || tracks.empty()) sense::SequenceError();
        uint32_t session = tracks.back().session;
        auto first = std::find_if(tracks.begin(), tracks.end(), [&](const Track& t) { return t.session == session; });
        BlockRange erased{first->start, RecordedEnd() - first->start};
        tracks.erase(first, tracks.end());
        closedSessions = std::min(closedSessions, session - 1);
        finalized = false;
        return erased;
    }
    }
    sense::InvalidField();
}

void Medium::FormatOverwritable(MediaKind Kind, uint32_t Blocks, uint32_t Spare) {
    kind = Kind;
    capacity = TraitsOf(Kind).capacity;
    formatted = true;
    finalized = false;
    closedSessions = 1;
    spareBlocks = Spare;
    tracks.assign(1, Track{1, 0, Blocks, 0, true});
}

// BD-RE: 30h with spare areas (00h picks them as well), 31h without; each
// format empties the disc. BD-R: 32h with spare areas, only while blank;
// it takes the spare from the capacity and records nothing.
bool Medium::FormatBd(uint8_t FormatType, uint32_t Blocks, uint8_t Subtype) {
    namespace fmt = mmc::format;
    const uint32_t full = TraitsOf(kind).capacity;
    if (IsOverwrite()) {
        if (FormatType == fmt::kBdReWithoutSpare) {
            if (Blocks != 0 && Blocks != 0xFFFFFFFF && Blocks != full) sense::InvalidParameter();
            FormatOverwritable(kind, full, 0);
            return true;
        }
        if (FormatType != fmt::kBdReWithSpare && FormatType != fmt::kFull) sense::InvalidParameter();
        // A quick reformat keeps the spare the disc has.
        const bool keep = FormatType == fmt::kBdReWithSpare && Subtype == fmt::kQuickReformat && formatted &&
                          (Blocks == 0 || Blocks == FormattedBlocks());
        const uint32_t user = keep ? FormattedBlocks() : UserBlocksWithSpare(kind, Blocks);
        FormatOverwritable(kind, user, full - user);
        return true;
    }
    if (FormatType != fmt::kBdRWithSpare || Subtype != fmt::kSequentialWithSpare) sense::InvalidParameter();
    if (formatted || !tracks.empty()) sense::CannotFormatMedium();
    capacity = UserBlocksWithSpare(kind, Blocks);
    spareBlocks = full - capacity;
    formatted = true;
    return false;
}

bool Medium::FormatDisc(uint8_t FormatType, uint32_t Blocks, uint8_t Subtype) {
    if (IsBd() && !IsPressed()) return FormatBd(FormatType, Blocks, Subtype);
    const uint32_t full = TraitsOf(kind).capacity;
    if (Blocks == 0xFFFFFFFF) Blocks = full;  // "as large as possible"
    if (Blocks > full) sense::InvalidParameter();
    auto formatAs = [&](MediaKind Kind) { FormatOverwritable(Kind, full, 0); };
    switch (kind) {
    case MediaKind::DvdPlusRw:
        if (FormatType != 0x26) sense::InvalidParameter();
        formatAs(kind);
        return true;
    case MediaKind::DvdRam:
        if (FormatType != 0x00 && FormatType != 0x01) sense::InvalidParameter();
        formatAs(kind);
        return true;
    case MediaKind::DvdRwSequential:
    case MediaKind::DvdRwRestricted:
        if (FormatType == 0x13 || FormatType == 0x11) {
            if (kind != MediaKind::DvdRwRestricted) sense::InvalidParameter();
            tracks[0].reserved = full;  // grow the formatted area, keep the data
            return false;
        }
        if (FormatType != 0x00 && FormatType != 0x10 && FormatType != 0x15) sense::InvalidParameter();
        formatAs(MediaKind::DvdRwRestricted);
        return true;
    default:
        sense::CannotFormatMedium();
    }
}

std::string Medium::ToText() const {
    std::ostringstream out;
    out << "medium=" << Traits().name << '\n'
        << "capacity=" << capacity << '\n'
        << "formatted=" << formatted << '\n'
        << "finalized=" << finalized << '\n'
        << "closed-sessions=" << closedSessions << '\n';
    if (spareBlocks) out << "spare=" << spareBlocks << '\n';
    for (const auto& t : tracks)
        out << "track=" << t.session << ',' << t.start << ',' << t.reserved << ',' << t.recorded << ',' << t.closed
            << '\n';
    return out.str();
}

namespace {
uint32_t ParseNumber(const std::string& Text) {
    size_t used = 0;
    unsigned long v = std::stoul(Text, &used);
    if (used != Text.size() || v > 0xFFFFFFFFul) throw std::runtime_error("bad number: " + Text);
    return static_cast<uint32_t>(v);
}
}  // namespace

Medium Medium::FromText(const std::string& Text) {
    Medium m;
    bool haveKind = false;
    std::istringstream in(Text);
    std::string line;
    try {
        while (std::getline(in, line)) {
            auto eq = line.find('=');
            if (eq == std::string::npos) continue;
            std::string key = line.substr(0, eq), value = line.substr(eq + 1);
            if (key == "medium") {
                auto k = ParseMediaKind(value);
                if (!k) throw std::runtime_error("unknown medium " + value);
                m.kind = *k;
                haveKind = true;
            } else if (key == "capacity") m.capacity = ParseNumber(value);
            else if (key == "formatted") m.formatted = ParseNumber(value) != 0;
            else if (key == "finalized") m.finalized = ParseNumber(value) != 0;
            else if (key == "closed-sessions") m.closedSessions = ParseNumber(value);
            else if (key == "spare") m.spareBlocks = ParseNumber(value);
            else if (key == "track") {
                std::vector<uint32_t> f;
                std::istringstream fields(value);
                std::string part;
                while (std::getline(fields, part, ',')) f.push_back(ParseNumber(part));
                if (f.size() != 5) throw std::runtime_error("bad track line: " + value);
                m.tracks.push_back(Track{f[0], f[1], f[2], f[3], f[4] != 0});
            }
        }
    } catch (const std::invalid_argument&) {
        throw std::runtime_error("bad medium record: " + line);
    } catch (const std::out_of_range&) {
        throw std::runtime_error("bad medium record: " + line);
    }
    if (!haveKind) throw std::runtime_error("medium record without a medium kind");
    if (m.capacity == 0) m.capacity = m.Traits().capacity;
    return m;
}

}  // namespace vdrive
