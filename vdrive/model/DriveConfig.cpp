// What the drive says about itself: features and profiles, mode pages,
// performance and speeds.
#include <algorithm>
#include <map>

#include "kestrel/mmc.h"
#include "model/Bytes.h"
#include "model/Drive.h"
#include "model/Sense.h"

namespace vdrive {
namespace {

constexpr uint16_t kCdOneX = 176;    // KB/s
constexpr uint16_t kDvdOneX = 1385;  // KB/s
constexpr uint16_t kBdOneX = static_cast<uint16_t>(mmc::bd::kOneXKBs + 0.5);

struct Feature {
    uint16_t code;
    bool current;
    std::vector<uint8_t> data;
    uint8_t version = 0;
    bool persistent = false;
};

bool AnyOf(const std::set<MediaKind>& Set, std::initializer_list<MediaKind> Kinds) {
    for (auto k : Kinds)
        if (Set.count(k)) return true;
    return false;
}

// Version bitmaps of the BD read and write features, class 0: versions 1
// to 3 of BD-RE, 1 and 2 of BD-R, 1 to 3 of BD-ROM.
constexpr uint16_t kBdReVersions = 0x000E, kBdRVersions = 0x0006, kBdRomVersions = 0x000E;

// BD read (40h) and write (41h) features: the class 0 version bitmaps of
// the media the drive reads or writes.
void AddBdFeatures(std::vector<Feature>& Features, const DriveModel& Model, const Medium* Current) {
    const auto bitmap = [](const std::set<MediaKind>& Kinds, std::initializer_list<MediaKind> Of, uint16_t Versions) {
        return AnyOf(Kinds, Of) ? Versions : uint16_t(0);
    };
    const bool bdNow = Current && Current->IsBd();
    if (Model.ReadsAnyBd()) {
        std::vector<uint8_t> d(28, 0);
        Put16(&d[4], bitmap(Model.reads, {MediaKind::BdRe, MediaKind::BdReDl}, kBdReVersions));
        Put16(&d[12], bitmap(Model.reads, {MediaKind::BdR, MediaKind::BdRDl}, kBdRVersions));
        Put16(&d[20], bitmap(Model.reads, {MediaKind::BdRom}, kBdRomVersions));
        Features.push_back({mmc::feature::kBdRead, bdNow, d, 1});
    }
    if (Model.WritesAnyBd()) {
        std::vector<uint8_t> d(20, 0);
        d[0] = 0x01;  // SVNR: writes need no verify-not-required bit
        Put16(&d[4], bitmap(Model.writes, {MediaKind::BdRe, MediaKind::BdReDl}, kBdReVersions));
        Put16(&d[12], bitmap(Model.writes, {MediaKind::BdR, MediaKind::BdRDl}, kBdRVersions));
        Features.push_back({mmc::feature::kBdWrite, bdNow && Model.Writes(Current->kind), d, 1});
    }
}

}  // namespace

// Speeds by the family of the disc in the drive: CD, DVD or BD.
uint16_t Drive::MaxReadKBs() const {
    if (!state_.medium || state_.medium->IsCd()) return model_.cdReadKBs;
    return state_.medium->IsBd() ? model_.bdReadKBs : model_.dvdReadKBs;
}

uint16_t Drive::MaxWriteKBs() const {
    if (!state_.medium) {
        if (model_.WritesAnyBd()) return model_.bdWriteKBs;
        return model_.WritesAnyDvd() ? model_.dvdWriteKBs : model_.cdWriteKBs;
    }
    if (!model_.Writes(state_.medium->kind)) return 0;
    if (state_.medium->IsCd()) return model_.cdWriteKBs;
    return state_.medium->IsBd() ? model_.bdWriteKBs : model_.dvdWriteKBs;
}

uint16_t Drive::MinWriteKBs() const {
    if (!state_.medium || state_.medium->IsCd()) return kCdOneX;
    return state_.medium->IsBd() ? kBdOneX : kDvdOneX;
}

size_t Drive::GetConfiguration(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    uint8_t rt = c[1] & 0x03;
    uint16_t startFeature = Get16(c + 2);
    size_t allocation = Get16(c + 7);
    if (rt == 3) sense::InvalidField();

    const bool present = state_.MediumPresent() && model_.Reads(state_.medium->kind);
    const MediaKind kind = present ? state_.medium->kind : MediaKind::CdRom;
    const uint16_t profile = present ? state_.medium->Traits().profile : 0;
    auto is = [&](std::initializer_list<MediaKind> Kinds) {
        if (!present) return false;
        for (auto k : Kinds)
            if (k == kind) return true;
        return false;
    };
    const auto& R = model_.reads;
    const auto& W = model_.writes;
    const uint8_t buf = model_.bufferUnderrunFree ? 0x40 : 0;
    const uint8_t test = model_.testWrite ? 0x04 : 0;

    std::vector<Feature> features;
    {
        std::set<uint16_t> profiles;
        for (auto k : R) profiles.insert(TraitsOf(k).profile);
        for (auto k : W) profiles.insert(TraitsOf(k).profile);
        std::vector<uint8_t> list;
        for (auto it = profiles.rbegin(); it != profiles.rend(); ++it)
            list.insert(list.end(), {uint8_t(*it >> 8), uint8_t(*it), uint8_t(*it == profile ? 1 : 0), 0});
        features.push_back({0x0000, true, list, 0, true});
    }
    features.push_back({0x0001, true, {0, 0, 0, 2, 0x01, 0, 0, 0}, 1, true});  // core: ATAPI, DBE
    features.push_back({0x0002, true, {0x02, 0, 0, 0}, 1, true});              // morphing: OCEvent
    features.push_back({0x0003, true, {uint8_t(0x29 | (locked_ ? 0x04 : 0)), 0, 0, 0}, 0, true});
    const uint8_t blocking = present ? uint8_t(BlockingOf(state_.medium->kind)) : 1;
    features.push_back({mmc::feature::kRandomReadable, present, {0, 0, 0x08, 0, 0, blocking, 0, 0}});
    if (AnyOf(R, {MediaKind::CdRom, MediaKind::CdR, MediaKind::CdRw})) {
        features.push_back({0x001D, is({MediaKind::CdRom, MediaKind::CdR, MediaKind::CdRw}), {}});
        features.push_back({0x001E, is({MediaKind::CdRom, MediaKind::CdR, MediaKind::CdRw}), {0, 0, 0, 0}, 2});
    }
    if (AnyOf(R, {MediaKind::DvdRom, MediaKind::DvdR, MediaKind::DvdPlusR, MediaKind::DvdPlusRw}))
        features.push_back({0x001F, present && !state_.medium->IsCd(), {0, 0, 0, 0}, 1});
    if (AnyOf(W, {MediaKind::DvdRam, MediaKind::BdRe, MediaKind::BdReDl})) {
        // The formatted area of the disc in the drive, else that of a DVD-RAM.
        const bool bdRe = is({MediaKind::BdRe, MediaKind::BdReDl});
        std::vector<uint8_t> d(12, 0);
        const uint32_t blocks = bdRe ? state_.medium->FormattedBlocks() : TraitsOf(MediaKind::DvdRam).capacity;
        Put32(d.data(), blocks ? blocks - 1 : 0);
        Put32(d.data() + 4, 2048);
        Put16(d.data() + 8, static_cast<uint16_t>(bdRe ? mmc::bd::kClusterBlocks : 16));
        features.push_back({mmc::feature::kRandomWritable, is({MediaKind::DvdRam}) || (bdRe && state_.medium->formatted), d});
    }
    if (AnyOf(W, {MediaKind::CdR, MediaKind::CdRw, MediaKind::DvdR, MediaKind::DvdRwSequential})) {
        bool cdNow = is({MediaKind::CdR, MediaKind::CdRw});
        std::vector<uint8_t> d = {0x00, 0x01, uint8_t(buf ? 0x01 : 0), 1, uint8_t(cdNow ? 7 : 16), 0, 0, 0};
        features.push_back({0x0021, is({MediaKind::CdR, MediaKind::CdRw, MediaKind::DvdR, MediaKind::DvdRwSequential}),
                            d, 1});
    }
    if (AnyOf(W, {MediaKind::DvdPlusRw, MediaKind::DvdRam, MediaKind::DvdRwSequential, MediaKind::DvdRwRestricted,
                  MediaKind::BdR, MediaKind::BdRDl, MediaKind::BdRe, MediaKind::BdReDl})) {
        // A BD writer tells its BD format choices: formats without spare
        // (RENoSA), quick and full certification.
        std::vector<uint8_t> d;
        if (model_.WritesAnyBd()) d = {0x0B, 0, 0, 0, 0, 0, 0, 0};
        features.push_back({mmc::feature::kFormattable,
                            is({MediaKind::DvdPlusRw, MediaKind::DvdRam, MediaKind::DvdRwSequential,
                                MediaKind::DvdRwRestricted, MediaKind::BdRe, MediaKind::BdReDl}) ||
                                (is({MediaKind::BdR, MediaKind::BdRDl}) && state_.medium->tracks.empty()),
                            d, uint8_t(d.empty() ? 0 : 1)});
    }
    if (AnyOf(W, {MediaKind::DvdRam, MediaKind::BdR, MediaKind::BdRDl, MediaKind::BdRe, MediaKind::BdReDl}))
        features.push_back({mmc::feature::kDefectManagement,
                            is({MediaKind::DvdRam}) || (present && state_.medium->VerifiesWrites()), {0, 0, 0, 0}});
    if (W.count(MediaKind::DvdRwRestricted)) features.push_back({0x0026, is({MediaKind::DvdRwRestricted}), {}});
    if (W.count(MediaKind::CdRw)) features.push_back({0x0027, is({MediaKind::CdRw}), {0, 0, 0, 0}});
    if (AnyOf(R, {MediaKind::DvdPlusRw}))
        features.push_back({0x002A, is({MediaKind::DvdPlusRw}),
                            {uint8_t(W.count(MediaKind::DvdPlusRw) ? 0x01 : 0), 0, 0, 0}, 1});
    if (AnyOf(R, {MediaKind::DvdPlusR}))
        features.push_back({0x002B, is({MediaKind::DvdPlusR}),
                            {uint8_t(W.count(MediaKind::DvdPlusR) ? 0x01 : 0), 0, 0, 0}});
    if (W.count(MediaKind::DvdRwRestricted))
        features.push_back({0x002C, is({MediaKind::DvdRwRestricted}), {0x0F, 0, 0, 0}, 1});
    if (AnyOf(W, {MediaKind::CdR, MediaKind::CdRw})) {
        uint8_t rw = W.count(MediaKind::CdRw) ? 0x02 : 0;
        features.push_back({0x002D, is({MediaKind::CdR, MediaKind::CdRw}), {uint8_t(buf | test | rw), 0, 0, 0x01}, 2});
        features.push_back({0x002E, is({MediaKind::CdR, MediaKind::CdRw}),
                            {uint8_t(buf | 0x20 | 0x08 | test | rw), 0x00, 0xFF, 0xFF}});
    }
    if (AnyOf(W, {MediaKind::DvdR, MediaKind::DvdRwSequential}))
        features.push_back({0x002F, is({MediaKind::DvdR, MediaKind::DvdRwSequential, MediaKind::DvdRwRestricted}),
                            {uint8_t(buf | test | (W.count(MediaKind::DvdRwSequential) ? 0x02 : 0)), 0, 0, 0}, 1});
    if (AnyOf(R, {MediaKind::DvdPlusRDl}))
        features.push_back({0x003B, is({MediaKind::DvdPlusRDl}),
                            {uint8_t(W.count(MediaKind::DvdPlusRDl) ? 0x01 : 0), 0, 0, 0}});
    AddBdFeatures(features, model_, present ? &*state_.medium : nullptr);
    features.push_back({0x0100, true, {}, 0, true});                            // power management
    features.push_back({0x0107, present, {uint8_t(W.empty() ? 0x00 : 0x0F), 0, 0, 0}, 3});  // real-time streaming

    std::vector<uint8_t> d(8, 0);
    Put16(d.data() + 6, profile);
    for (const auto& f : features) {
        if (f.code < startFeature) continue;
        if (rt == 1 && !f.current) continue;
        if (rt == 2 && f.code != startFeature) continue;
        d.insert(d.end(), {uint8_t(f.code >> 8), uint8_t(f.code),
                           uint8_t(f.version << 2 | (f.persistent ? 2 : 0) | (f.current ? 1 : 0)),
                           uint8_t(f.data.size())});
        d.insert(d.end(), f.data.begin(), f.data.end());
    }
    Put32(d.data(), static_cast<uint32_t>(d.size() - 4));
    return SendReply(Cmd, d, allocation);
}

std::vector<uint8_t> Drive::CapabilitiesPage() const {
    const auto& R = model_.reads;
    const auto& W = model_.writes;
    std::vector<uint8_t> p(32, 0);
    p[0] = 0x2A;
    p[2] = uint8_t((R.count(MediaKind::CdR) ? 0x01 : 0) | (R.count(MediaKind::CdRw) ? 0x02 : 0) | 0x04 |
                   (R.count(MediaKind::DvdRom) ? 0x08 : 0) | (R.count(MediaKind::DvdR) ? 0x10 : 0) |
                   (R.count(MediaKind::DvdRam) ? 0x20 : 0));
    p[3] = uint8_t((W.count(MediaKind::CdR) ? 0x01 : 0) | (W.count(MediaKind::CdRw) ? 0x02 : 0) |
                   (model_.testWrite ? 0x04 : 0) | (W.count(MediaKind::DvdR) ? 0x10 : 0) |
                   (W.count(MediaKind::DvdRam) ? 0x20 : 0));
    p[4] = uint8_t((model_.bufferUnderrunFree ? 0x80 : 0) | 0x40 | 0x20 | 0x10 | 0x01);
    p[5] = 0x03;
    p[6] = uint8_t(0x29 | (locked_ ? 0x02 : 0));
    const uint16_t maxRead = MaxReadKBs(), maxWrite = MaxWriteKBs();
    const uint16_t curRead = std::min(readKBs_, maxRead);
    const uint16_t curWrite = std::min(writeKBs_, maxWrite);
    Put16(&p[8], maxRead);
    Put16(&p[10], 0x0100);
    Put16(&p[12], static_cast<uint16_t>(std::min<uint32_t>(model_.bufferKB, 0xFFFF)));
    Put16(&p[14], curRead);
    Put16(&p[18], maxWrite);
    Put16(&p[20], curWrite);
    Put16(&p[28], curWrite);
    std::vector<uint16_t> speeds;
    for (int div : {1, 2, 4})
        if (maxWrite / div >= MinWriteKBs()) speeds.push_back(static_cast<uint16_t>(maxWrite / div));
    Put16(&p[30], static_cast<uint32_t>(speeds.size()));
    for (auto s : speeds) p.insert(p.end(), {0, 0, uint8_t(s >> 8), uint8_t(s)});
    p[1] = static_cast<uint8_t>(p.size() - 2);
    return p;
}

// One mode page by page control: 0 current, 1 changeable, 2 default.
std::vector<uint8_t> Drive::ModePage(uint8_t Page, uint8_t Control) const {
    switch (Page) {
    case 0x01: {
        std::vector<uint8_t> p(12, 0);
        p[0] = 0x01;
        p[1] = 0x0A;
        if (Control != 1) p[3] = 0x05;  // read retry count
        return p;
    }
    case 0x05: {
        if (model_.writes.empty()) return {};
        std::vector<uint8_t> p(writePage_.begin(), writePage_.end());
        if (Control == 1) {
            std::fill(p.begin() + 2, p.end(), 0xFF);
        } else if (Control == 2) {
            std::fill(p.begin() + 2, p.end(), 0);
            p[2] = 0x01;
            p[3] = 0x04;
            p[4] = 0x08;
            Put16(&p[14], 150);
        }
        return p;
    }
    case 0x2A: {
        auto p = CapabilitiesPage();
        if (Control == 1) std::fill(p.begin() + 2, p.end(), 0);
        return p;
    }
    case 0x30: {
        if (!model_.vendorPage30) return {};
        std::vector<uint8_t> p(16, 0);
        p[0] = 0x30;
        p[1] = 0x0E;
        if (Control != 1) p[2] = 0x01;
        return p;
    }
    default: return {};
    }
}

size_t Drive::ModeSense(const CommandBuffer& Cmd, bool Ten) {
    const uint8_t* c = Cmd.cdb;
    uint8_t control = c[2] >> 6, page = c[2] & 0x3F;
    size_t allocation = Ten ? Get16(c + 7) : c[4];
    if (control == 3) sense::Illegal(0x39);  // saving parameters not supported
    if (c[3] != 0) sense::InvalidField();    // no subpages
    std::vector<uint8_t> pages;
    if (page == 0x3F) {
        for (uint8_t p : {0x01, 0x05, 0x2A, 0x30}) {
            auto one = ModePage(p, control);
            pages.insert(pages.end(), one.begin(), one.end());
        }
    } else {
        pages = ModePage(page, control);
        if (pages.empty()) sense::InvalidField();
    }
    std::vector<uint8_t> d(Ten ? 8 : 4, 0);
    d.insert(d.end(), pages.begin(), pages.end());
    if (Ten) Put16(d.data(), static_cast<uint32_t>(d.size() - 2));
    else d[0] = static_cast<uint8_t>(std::min<size_t>(d.size() - 1, 0xFF));
    return SendReply(Cmd, d, allocation);
}

size_t Drive::ModeSelect(const CommandBuffer& Cmd, bool Ten) {
    const uint8_t* c = Cmd.cdb;
    size_t length = Ten ? Get16(c + 7) : c[4];
    if (c[1] & 0x01) sense::InvalidField();  // save pages
    if (length == 0) return 0;
    if (Cmd.dataLen < length || Cmd.dir == Direction::In) sense::ParameterLength();
    const uint8_t* d = Cmd.data;
    size_t header = Ten ? 8 : 4;
    size_t blockDescriptors = Ten ? Get16(d + 6) : d[3];
    size_t at = header + blockDescriptors;
    while (at + 2 <= length) {
        uint8_t page = d[at] & 0x3F;
        size_t pageLength = size_t(d[at + 1]) + 2;
        if (at + pageLength > length) sense::ParameterLength();
        if (page != mmc::page::kWriteParameters || model_.writes.empty()) sense::InvalidParameter();
        if (state_.medium && model_.RefusesWritePage(state_.medium->kind)) sense::InvalidParameter();
        if (pageLength < 16) sense::ParameterLength();
        const uint8_t* p = d + at;
        uint8_t writeType = p[2] & 0x0F, blockType = p[4] & 0x0F;
        if (writeType > 4) sense::InvalidParameter();
        if (writeType == 3 && !model_.WritesAnyCd()) sense::InvalidParameter();
        static const std::set<uint8_t> kBlockTypes{0, 1, 2, 3, 8, 9, 10, 12, 13};
        if (!kBlockTypes.count(blockType)) sense::InvalidParameter();
        if ((p[2] & 0x10) && !model_.testWrite) sense::InvalidParameter();
        size_t copy = std::min(pageLength, writePage_.size());
        std::copy(p + 2, p + copy, writePage_.begin() + 2);
        simulateNext_.reset();
        sao_.reset();
        at += pageLength;
    }
    return 0;
}

size_t Drive::GetPerformance(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    uint8_t type = c[10];
    uint16_t maxDescriptors = Get16(c + 8);
    size_t allocation = 8 + size_t(maxDescriptors) * 16;
    uint32_t end = state_.medium ? state_.medium->capacity : 0;
    std::vector<uint8_t> d(8, 0);
    if (type == 0x00) {
        bool write = c[1] & 0x04;
        uint16_t speed = write ? MaxWriteKBs() : MaxReadKBs();
        d[4] = write ? 0x02 : 0x00;
        {
            std::vector<uint8_t> e(16, 0);
            Put32(&e[4], speed);
            Put32(&e[8], end ? end - 1 : 0);
            Put32(&e[12], speed);
            d.insert(d.end(), e.begin(), e.end());
        }
    } else if (type == 0x03) {
        uint16_t maxWrite = MaxWriteKBs();
        for (int div : {1, 2, 4}) {
            if (maxWrite / div < MinWriteKBs()) break;
            std::vector<uint8_t> e(16, 0);
            Put32(&e[4], end);
            Put32(&e[8], MaxReadKBs());
            Put32(&e[12], static_cast<uint32_t>(maxWrite / div));
            d.insert(d.end(), e.begin(), e.end());
        }
    } else {
        sense::InvalidField();
    }
    Put32(d.data(), static_cast<uint32_t>(d.size() - 4));
    return SendReply(Cmd, d, allocation);
}

// Speeds are kept as asked (FFFFh = maximum) and clamped when reported;
// asking less than 1x selects the lowest speed.
size_t Drive::SetCdSpeed(const CommandBuffer& Cmd) {
    auto pick = [&](uint16_t Asked) -> uint16_t {
        if (Asked == 0 || Asked == 0xFFFF) return 0xFFFF;
        return std::max(Asked, MinWriteKBs());
    };
    readKBs_ = pick(Get16(Cmd.cdb + 2));
    writeKBs_ = pick(Get16(Cmd.cdb + 4));
    return 0;
}

size_t Drive::SetStreaming(const CommandBuffer& Cmd) {
    const uint8_t* c = Cmd.cdb;
    size_t length = Get16(c + 9);
    if (c[8] != 0x00) return 0;  // other descriptor types are accepted and ignored
    if (length == 0) return 0;
    if (length < 28 || Cmd.dataLen < 28 || Cmd.dir == Direction::In) sense::ParameterLength();
    const uint8_t* d = Cmd.data;
    uint32_t readSize = Get32(d + 12), readTime = Get32(d + 16);
    uint32_t writeSize = Get32(d + 20), writeTime = Get32(d + 24);
    auto speed = [&](uint32_t Size, uint32_t Time) -> uint16_t {
        if (Size == 0) return 0xFFFF;  // no figure: the drive's best
        if (Time == 0) sense::InvalidParameter();
        uint64_t kbs = uint64_t(Size) * 1000 / Time;
        return kbs >= 0xFFFF ? 0xFFFF : std::max<uint16_t>(static_cast<uint16_t>(kbs), MinWriteKBs());
    };
    readKBs_ = speed(readSize, readTime);
    writeKBs_ = speed(writeSize, writeTime);
    return 0;
}

}  // namespace vdrive
