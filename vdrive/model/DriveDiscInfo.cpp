// What the drive reports about the disc: disc and track information, the
// table of contents, capacities and DVD structures.
#include <algorithm>

#include "kestrel/mmc.h"
#include "model/Bytes.h"
#include "model/Drive.h"
#include "model/Sense.h"
#include "model/SpareAreas.h"

namespace vdrive {
namespace {

// ATIP lead-in start of the blank discs we model: 97:26:66.
constexpr int64_t kLeadInLba = -11634;

struct TocTrack {
    uint32_t number;
    uint32_t session;
    uint32_t start;
    uint32_t end;
};

// The tracks that hold data, as a table of contents lists them.
std::vector<TocTrack> TocTracks(const Medium& M) {
    std::vector<TocTrack> out;
    if (M.IsOverwrite()) {
        if (M.formatted) out.push_back({1, 1, 0, M.FormattedBlocks()});
        return out;
    }
    for (size_t i = 0; i < M.tracks.size(); ++i) {
        const Track& t = M.tracks[i];
        if (t.recorded) out.push_back({uint32_t(i + 1), t.session, t.start, t.start + t.recorded});
    }
    return out;
}

void PutAddress(uint8_t* P, int64_t Lba, bool Msf) {
    if (Msf) PutMsf(P, Lba);
    else Put32(P, static_cast<uint32_t>(Lba));
}

// READ FORMAT CAPACITIES of a BD-R or BD-RE: the current capacity, then
// the formats the drive offers: on BD-RE full format (00h) and formats with
// the usual, least and most spare (30h) or none (31h); on a blank BD-R the
// formats with spare areas (32h). The count of a spare format is the user
// capacity it leaves, its parameter the spare clusters.
template <class TDescriptor>
void BdFormatCapacities(const Medium& M, bool Writable, TDescriptor Descriptor) {
    namespace fmt = mmc::format;
    const uint32_t full = M.Traits().capacity;
    const SpareChoices spare = SpareChoicesOf(M.kind);
    const auto withSpare = [&](uint8_t Type) {
        for (uint32_t blocks : {spare.usual, spare.least, spare.most})
            Descriptor(full - blocks, uint8_t(Type << 2), blocks / mmc::bd::kClusterBlocks);
    };
    if (M.IsOverwrite()) {
        if (M.formatted) Descriptor(M.FormattedBlocks(), fmt::kFormattedMedium, kBlockSize);
        else Descriptor(full - spare.usual, fmt::kUnformattedMedium, kBlockSize);
        if (!Writable) return;
        Descriptor(full - spare.usual, uint8_t(fmt::kFull << 2), spare.usual / mmc::bd::kClusterBlocks);
        withSpare(fmt::kBdReWithSpare);
        Descriptor(full, uint8_t(fmt::kBdReWithoutSpare << 2), 0);
        return;
    }
    const bool blank = M.tracks.empty() && !M.formatted;
    Descriptor(M.capacity, blank ? fmt::kUnformattedMedium : fmt::kFormattedMedium, kBlockSize);
    if (Writable && blank) withSpare(fmt::kBdRWithSpare);
}

}  // namespace

size_t Drive::ReadDiscInformation(const CommandBuffer& Cmd) {
    if (Cmd.cdb[1] & 0x07) sense::InvalidField();  // only the standard disc information
    const Medium& m = RequireReadableMedium();
    std::vector<uint8_t> d(34, 0);
    Put16(d.data(), 32);
    const uint32_t sessions = m.SessionCount();
    const uint32_t firstLast = m.FirstTrackInLastSession(), lastLast = m.LastTrackInLastSession();
    d[2] = uint8_t((m.Traits().erasable ? 0x10 : 0) | uint8_t(m.LastSessionState()) << 2 | uint8_t(m.Status()));
    d[3] = 1;
    d[4] = uint8_t(sessions);
    d[5] = uint8_t(firstLast);
    d[6] = uint8_t(lastLast);
    d[9] = uint8_t(sessions >> 8);
    d[10] = uint8_t(firstLast >> 8);
    d[11] = uint8_t(lastLast >> 8);
    if (m.kind == MediaKind::DvdPlusRw) d[7] = m.formatted ? 0x03 : 0x00;  // background format state
    d[7] |= 0x20;                                                          // unrestricted use
    // Byte 8, the disc type, stays 00h: CD-ROM (or CD-DA) on CD, unused on DVD.
    if (m.Appendable()) {
        const uint32_t next = m.OpenSessionStart();
        if (m.IsCd()) {
            // The lead-in of the open session: the disc's own (ATIP) for the
            // first session, else the one behind the last lead-out.
            PutMsf(&d[16], m.OpenSession() == 1 ? kLeadInLba : int64_t(next) - 4650);
            PutMsf(&d[20], m.capacity);
        } else {
            Put32(&d[16], next);
            Put32(&d[20], m.capacity);
        }
    } else {
        Put32(&d[16], 0xFFFFFFFF);
        Put32(&d[20], 0xFFFFFFFF);
    }
    return SendReply(Cmd, d, Get16(Cmd.cdb + 7));
}

size_t Drive::ReadTrackInformation(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    const Medium& m = RequireReadableMedium();
    uint32_t address = Get32(c + 2);
    const uint32_t invisible = m.InvisibleTrackNumber();
    const uint32_t lastNumber =
        std::max<uint32_t>({invisible, static_cast<uint32_t>(m.tracks.size()), m.IsOverwrite() ? 1u : 0u});
    uint32_t number = 0;
    switch (c[1] & 0x03) {
    case 0x00:  // by LBA
        for (size_t i = 0; i < m.tracks.size(); ++i)
            if (address >= m.tracks[i].start && address < m.tracks[i].End()) number = uint32_t(i + 1);
        if (!number && invisible && address >= m.NextTrackStart() && address < m.capacity) number = invisible;
        if (!number) sense::OutOfRange();
        break;
    case 0x01:  // by track number; FFh names the invisible track
        number = address == 0xFF ? invisible : address;
        break;
    case 0x02:  // the first track of a session
        for (size_t i = 0; i < m.tracks.size() && !number; ++i)
            if (m.tracks[i].session == address) number = uint32_t(i + 1);
        if (!number && address == m.OpenSession() && invisible) number = invisible;
        break;
    default: sense::InvalidField();
    }
    if (number == 0 || number > lastNumber) sense::InvalidField();
    if (m.IsOverwrite() && !m.formatted && number != 1) sense::InvalidField();

    std::vector<uint8_t> d(48, 0);
    Put16(d.data(), 46);
    const bool dvd = !m.IsCd();
    uint32_t session, start, nwa = 0, freeBlocks = 0, size, recorded;
    bool reserved = false, nwaValid = false;
    if (number <= m.tracks.size()) {
        const Track& t = m.tracks[number - 1];
        session = t.session;
        start = t.start;
        recorded = t.recorded;
        reserved = t.reserved && !m.IsOverwrite();
        size = t.Size();
        if (m.IsOverwrite()) {
            const uint32_t unit = BlockingOf(m.kind);
            nwa = std::min(m.FormattedBlocks(), (t.recorded + unit - 1) / unit * unit);
            freeBlocks = m.FormattedBlocks() - nwa;
            nwaValid = true;
        } else if (!t.closed) {
            nwa = t.Nwa();
            nwaValid = true;
            freeBlocks = t.reserved ? t.start + t.reserved - nwa : m.capacity - nwa;
            if (!t.reserved) size = m.capacity - t.start;
        }
    } else {  // the invisible track (also an unformatted DVD+RW)
        session = m.OpenSession();
        start = m.IsOverwrite() ? 0 : m.NextTrackStart();
        nwa = start;
        nwaValid = !m.IsOverwrite();
        freeBlocks = m.capacity - start;
        size = freeBlocks;
        recorded = 0;
    }
    d[2] = uint8_t(number);
    d[3] = uint8_t(session);
    d[5] = 0x04;  // data track, recorded uninterrupted
    d[6] = uint8_t((reserved ? 0x80 : 0) | (recorded == 0 ? 0x40 : 0) |
                   (m.IsSequential() && dvd ? 0x20 : 0) | 0x01);
    d[7] = uint8_t((recorded ? 0x02 : 0) | (nwaValid ? 0x01 : 0));
    Put32(&d[8], start);
    Put32(&d[12], nwaValid ? nwa : 0);
    Put32(&d[16], freeBlocks);
    Put32(&d[20], dvd ? BlockingOf(m.kind) : 0);
    Put32(&d[24], size);
    Put32(&d[28], recorded ? start + recorded - 1 : 0);
    d[32] = uint8_t(number >> 8);
    d[33] = uint8_t(session >> 8);
    return SendReply(Cmd, d, Get16(c + 7));
}

size_t Drive::ReadToc(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    const Medium& m = RequireReadableMedium();
    const bool msf = c[1] & 0x02;
    uint8_t format = c[2] & 0x0F;
    if (format == 0 && (c[9] >> 6)) format = c[9] >> 6;  // the old place of the format
    const size_t allocation = Get16(c + 7);
    const auto toc = TocTracks(m);
    std::vector<uint8_t> d(4, 0);

    if (format == 4) {  // ATIP
        if (m.kind != MediaKind::CdR && m.kind != MediaKind::CdRw) sense::InvalidField();
        d.resize(28, 0);
        d[4] = 0x50;
        d[5] = 0x00;
        d[6] = uint8_t(0x80 | (m.kind == MediaKind::CdRw ? 0x40 : 0) | 0x04);
        Msf in = LbaToMsf(kLeadInLba), out = LbaToMsf(m.capacity);
        d[8] = in.m, d[9] = in.s, d[10] = in.f;
        d[12] = out.m, d[13] = out.s, d[14] = out.f;
        Put16(d.data(), 26);
        return SendReply(Cmd, d, allocation);
    }
    if (toc.empty()) sense::InvalidField();  // blank disc: no table of contents
    const uint32_t first = toc.front().number, last = toc.back().number;
    // The session information and the full TOC come from the lead-ins that
    // closing a session writes: a session left open has none.
    std::vector<TocTrack> closedToc;
    for (const auto& t : toc)
        if (t.session <= m.CompleteSessions()) closedToc.push_back(t);
    if ((format == 1 || format == 2) && closedToc.empty()) sense::InvalidField();

    switch (format) {
    case 0: {
        uint8_t from = c[6];
        if (from > last && from != 0xAA) sense::InvalidField();
        d[2] = uint8_t(first);
        d[3] = uint8_t(last);
        auto entry = [&](uint8_t Number, uint32_t Lba) {
            uint8_t e[8] = {0, 0x14, Number, 0};
            PutAddress(e + 4, Lba, msf);
            d.insert(d.end(), e, e + 8);
        };
        for (const auto& t : toc)
            if (from != 0xAA && t.number >= from) entry(uint8_t(t.number), t.start);
        entry(0xAA, toc.back().end);
        break;
    }
    case 1: {
        uint32_t lastSession = closedToc.back().session;
        auto firstOfLast =
            std::find_if(closedToc.begin(), closedToc.end(), [&](const TocTrack& t) { return t.session == lastSession; });
        d[2] = 1;
        d[3] = uint8_t(lastSession);
        uint8_t e[8] = {0, 0x14, uint8_t(firstOfLast->number), 0};
        PutAddress(e + 4, firstOfLast->start, msf);
        d.insert(d.end(), e, e + 8);
        break;
    }
    case 2: {  // full TOC, CD only: A0/A1/A2, tracks, B0 and C0 per session
        if (!m.IsCd()) sense::InvalidField();
        uint32_t lastSession = closedToc.back().session;
        d[2] = 1;
        d[3] = uint8_t(lastSession);
        auto point = [&](uint32_t Session, uint8_t Ctl, uint8_t Point, int64_t Atime, uint8_t Pm, uint8_t Ps, uint8_t Pf) {
            Msf a = Atime >= 0 ? LbaToMsf(Atime) : Msf{0, 0, 0};
            d.insert(d.end(), {uint8_t(Session), Ctl, 0, Point, a.m, a.s, a.f, 0, Pm, Ps, Pf});
        };
        auto pointAt = [&](uint32_t Session, uint8_t Ctl, uint8_t Point, int64_t Atime, int64_t Lba) {
            Msf p = LbaToMsf(Lba);
            point(Session, Ctl, Point, Atime, p.m, p.s, p.f);
        };
        for (uint32_t s = 1; s <= lastSession; ++s) {
            std::vector<TocTrack> in;
            for (const auto& t : closedToc)
                if (t.session == s) in.push_back(t);
            if (in.empty()) continue;
            point(s, 0x14, 0xA0, -1, uint8_t(in.front().number), 0x00, 0);
            point(s, 0x14, 0xA1, -1, uint8_t(in.back().number), 0, 0);
            pointAt(s, 0x14, 0xA2, -1, in.back().end);
            for (const auto& t : in) pointAt(s, 0x14, uint8_t(t.number), -1, t.start);
            bool more = s < lastSession || m.Appendable();
            if (more) {
                uint32_t next = m.capacity;
                for (const auto& t : toc)
                    if (t.session == s + 1) {
                        next = t.start;
                        break;
                    }
                if (s == lastSession) next = m.OpenSessionStart();
                Msf p = LbaToMsf(m.capacity);
                point(s, 0x54, 0xB0, next, p.m, p.s, p.f);
            }
            if (s == 1 && m.kind != MediaKind::CdRom) {
                Msf p = LbaToMsf(kLeadInLba);
                point(s, 0x54, 0xC0, -1, p.m, p.s, p.f);
            }
        }
        break;
    }
    default: sense::InvalidField();
    }
    Put16(d.data(), static_cast<uint32_t>(d.size() - 2));
    return SendReply(Cmd, d, allocation);
}

size_t Drive::ReadCapacity(const CommandBuffer& Cmd) {
    const Medium& m = RequireReadableMedium();
    uint32_t blocks = m.IsOverwrite() ? m.FormattedBlocks() : m.RecordedEnd();
    std::vector<uint8_t> d(8, 0);
    Put32(d.data(), blocks ? blocks - 1 : 0);
    Put32(d.data() + 4, kBlockSize);
    return SendReply(Cmd, d, 8);
}

size_t Drive::ReadFormatCapacities(const CommandBuffer& Cmd) {
    const Medium& m = RequireReadableMedium();
    const uint32_t full = m.Traits().capacity;
    std::vector<uint8_t> d(4, 0);
    auto descriptor = [&](uint32_t Blocks, uint8_t TypeByte, uint32_t Parameter) {
        uint8_t e[8];
        Put32(e, Blocks);
        e[4] = TypeByte;
        Put24(e + 5, Parameter);
        d.insert(d.end(), e, e + 8);
    };
    constexpr uint8_t kUnformatted = mmc::format::kUnformattedMedium, kFormatted = mmc::format::kFormattedMedium;
    const bool writable = model_.Writes(m.kind);
    if (m.IsBd() && !m.IsPressed()) {
        BdFormatCapacities(m, writable, descriptor);
        d[3] = static_cast<uint8_t>(d.size() - 4);
        return SendReply(Cmd, d, Get16(Cmd.cdb + 7));
    }
    switch (m.kind) {
    case MediaKind::DvdPlusRw:
        descriptor(m.formatted ? m.FormattedBlocks() : full, m.formatted ? kFormatted : kUnformatted, 2048);
        if (writable) descriptor(full, 0x26 << 2, 0);
        break;
    case MediaKind::DvdRam:
        descriptor(m.FormattedBlocks(), kFormatted, 2048);
        if (writable) {
            descriptor(full, 0x00 << 2, 2048);
            descriptor(full, 0x01 << 2, 2048);
        }
        break;
    case MediaKind::DvdRwSequential:
    case MediaKind::DvdRwRestricted: {
        bool ro = m.kind == MediaKind::DvdRwRestricted;
        descriptor(ro ? m.FormattedBlocks() : full, ro || !m.tracks.empty() ? kFormatted : kUnformatted, 2048);
        if (writable) {
            descriptor(full, 0x00 << 2, 2048);
            descriptor(full, 0x10 << 2, 16);
            if (ro) descriptor(full, 0x13 << 2, 16);
            descriptor(full, 0x15 << 2, 16);
        }
        break;
    }
    default:
        descriptor(m.IsPressed() ? m.RecordedEnd() : m.capacity, kFormatted, 2048);
        break;
    }
    d[3] = static_cast<uint8_t>(d.size() - 4);
    return SendReply(Cmd, d, Get16(Cmd.cdb + 7));
}

// BD structures (media type 1): the disc information unit, the spare
// area information and the list of what is offered.
size_t Drive::ReadBdStructure(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    const Medium& m = RequireReadableMedium();
    const uint8_t format = c[7];
    if (!m.IsBd() && format != 0xFF) sense::CannotReadMedium();
    std::vector<uint8_t> d(4, 0);
    switch (format) {
    case 0x00: {  // disc information (DI) unit
        d.resize(4 + 4096, 0);
        uint8_t* di = &d[4];
        di[0] = 'D', di[1] = 'I', di[2] = 0x01;
        const char* type = m.IsPressed() ? "BDO" : m.IsOverwrite() ? "BDW" : "BDR";
        std::copy(type, type + 3, di + 8);
        di[12] = uint8_t(m.Traits().layers << 4);
        std::copy_n("KESTRL", 6, di + 100);  // manufacturer
        std::copy_n("VBD", 3, di + 106);     // media type
        di[111] = 0x01;                      // product revision
        break;
    }
    case 0x0A: {  // spare area: free and allocated spare blocks
        d.resize(16, 0);
        Put32(&d[8], m.spareBlocks);
        Put32(&d[12], m.spareBlocks);
        break;
    }
    case 0xFF:
        for (uint8_t f : {0x00, 0x0A, 0xFF}) d.insert(d.end(), {f, 0x40, 0x10, 0x04});
        break;
    default: sense::InvalidField();
    }
    Put16(d.data(), static_cast<uint32_t>(d.size() - 2));
    return SendReply(Cmd, d, Get16(c + 8));
}

size_t Drive::ReadDvdStructure(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    if ((c[1] & 0x0F) == mmc::bd::kDiscStructureMediaType) return ReadBdStructure(Cmd);
    const Medium& m = RequireReadableMedium();
    uint8_t format = c[7], layer = c[6];
    size_t allocation = Get16(c + 8);
    if ((m.IsCd() || m.IsBd()) && format != 0xFF) sense::CannotReadMedium();
    const bool dual = m.kind == MediaKind::DvdPlusRDl;
    if (layer > (dual ? 1 : 0) && format < 0xC0) sense::InvalidField();
    std::vector<uint8_t> d(4, 0);
    switch (format) {
    case 0x00: {  // physical format information
        d.resize(4 + 2048, 0);
        uint8_t* p = &d[4];
        p[0] = uint8_t(m.Traits().bookType << 4 | (m.kind == MediaKind::DvdPlusR || dual ? 1 : 0));
        p[1] = 0x0F;  // 120 mm, no maximum rate given
        uint8_t layerType = m.IsPressed() ? 0x01 : m.Traits().erasable ? 0x04 : 0x02;
        p[2] = uint8_t((dual ? 0x20 : 0) | layerType);
        p[3] = 0x10;
        Put32(&p[4], 0x030000);
        Put32(&p[8], 0x030000 + m.capacity - 1);
        Put32(&p[12], dual ? 0x030000 + m.capacity / 2 - 1 : 0);
        break;
    }
    case 0x01: d.resize(8, 0); break;  // copyright: none
    case 0x20:                         // layer boundary
        if (!dual) sense::InvalidField();
        d.resize(12, 0);
        d[4] = 0x80;
        Put32(&d[8], m.capacity / 2);
        break;
    case 0xFF: {  // the structures offered
        for (uint8_t f : {0x00, 0x01, 0xFF}) d.insert(d.end(), {f, 0x40, 0x08, 0x04});
        break;
    }
    default:
        if (format >= 0x30) sense::InvalidField();
        d.resize(4 + 2048, 0);  // other structures of a recordable DVD: empty
        break;
    }
    Put16(d.data(), static_cast<uint32_t>(d.size() - 2));
    return SendReply(Cmd, d, allocation);
}

}  // namespace vdrive
