#include "model/DriveModel.h"

#include <sstream>
#include <stdexcept>

namespace vdrive {
namespace {

std::set<MediaKind> ParseKinds(const std::string& List) {
    std::set<MediaKind> kinds;
    std::istringstream in(List);
    std::string name;
    while (std::getline(in, name, ',')) {
        if (name.empty()) continue;
        auto k = ParseMediaKind(name);
        if (!k) throw std::runtime_error("unknown medium in list: " + name);
        kinds.insert(*k);
    }
    return kinds;
}

std::string KindList(const std::set<MediaKind>& Kinds) {
    std::string out;
    for (auto k : Kinds) {
        if (!out.empty()) out += ',';
        out += TraitsOf(k).name;
    }
    return out;
}

bool ParseBool(const std::string& Value) {
    if (Value == "1" || Value == "yes" || Value == "true") return true;
    if (Value == "0" || Value == "no" || Value == "false") return false;
    throw std::runtime_error("not a yes/no value: " + Value);
}

unsigned long ParseUnsigned(const std::string& Value, unsigned long Max) {
    size_t used = 0;
    unsigned long v = 0;
    try {
        v = std::stoul(Value, &used, 0);
    } catch (const std::exception&) {
        throw std::runtime_error("not a number: " + Value);
    }
    if (used != Value.size() || v > Max) throw std::runtime_error("number out of range: " + Value);
    return v;
}

const std::set<MediaKind> kCdKinds{MediaKind::CdRom, MediaKind::CdR, MediaKind::CdRw};
const std::set<MediaKind> kAllKinds{MediaKind::CdRom,           MediaKind::CdR,           MediaKind::CdRw,
                                    MediaKind::DvdRom,          MediaKind::DvdR,          MediaKind::DvdRam,
                                    MediaKind::DvdRwRestricted, MediaKind::DvdRwSequential, MediaKind::DvdPlusRw,
                                    MediaKind::DvdPlusR,        MediaKind::DvdPlusRDl};
const std::set<MediaKind> kBdKinds{MediaKind::BdRom, MediaKind::BdR, MediaKind::BdRDl, MediaKind::BdRe,
                                   MediaKind::BdReDl};

bool AnyBd(const std::set<MediaKind>& Kinds) {
    for (auto k : Kinds)
        if (TraitsOf(k).bd) return true;
    return false;
}

}  // namespace

bool DriveModel::WritesAnyDvd() const {
    for (auto k : writes)
        if (!TraitsOf(k).cd && !TraitsOf(k).bd) return true;
    return false;
}

bool DriveModel::WritesAnyBd() const { return AnyBd(writes); }
bool DriveModel::ReadsAnyBd() const { return AnyBd(reads); }

bool DriveModel::WritesAnyCd() const {
    for (auto k : writes)
        if (TraitsOf(k).cd) return true;
    return false;
}

void DriveModel::Set(const std::string& Key, const std::string& Value) {
    if (Key == "vendor") vendor = Value.substr(0, 8);
    else if (Key == "product") product = Value.substr(0, 16);
    else if (Key == "revision") revision = Value.substr(0, 4);
    else if (Key == "peripheral-type") peripheralType = static_cast<uint8_t>(ParseUnsigned(Value, 0x1F));
    else if (Key == "scsi-address") scsiAddress = ParseBool(Value);
    else if (Key == "reads") reads = ParseKinds(Value);
    else if (Key == "writes") writes = ParseKinds(Value);
    else if (Key == "test-write") testWrite = ParseBool(Value);
    else if (Key == "buffer-underrun-free") bufferUnderrunFree = ParseBool(Value);
    else if (Key == "vendor-page-30") vendorPage30 = ParseBool(Value);
    else if (Key == "cd-read-kbs") cdReadKBs = static_cast<uint16_t>(ParseUnsigned(Value, 0xFFFF));
    else if (Key == "cd-write-kbs") cdWriteKBs = static_cast<uint16_t>(ParseUnsigned(Value, 0xFFFF));
    else if (Key == "dvd-read-kbs") dvdReadKBs = static_cast<uint16_t>(ParseUnsigned(Value, 0xFFFF));
    else if (Key == "dvd-write-kbs") dvdWriteKBs = static_cast<uint16_t>(ParseUnsigned(Value, 0xFFFF));
    else if (Key == "bd-read-kbs") bdReadKBs = static_cast<uint16_t>(ParseUnsigned(Value, 0xFFFF));
    else if (Key == "bd-write-kbs") bdWriteKBs = static_cast<uint16_t>(ParseUnsigned(Value, 0xFFFF));
    else if (Key == "buffer-kb") bufferKB = static_cast<uint32_t>(ParseUnsigned(Value, 1u << 20));
    else if (Key == "refuses-write-page") refusesWritePage = ParseKinds(Value);
    else throw std::runtime_error("unknown model setting: " + Key);
}

std::string DriveModel::ToText() const {
    std::ostringstream out;
    out << "vendor=" << vendor << '\n'
        << "product=" << product << '\n'
        << "revision=" << revision << '\n'
        << "peripheral-type=" << int(peripheralType) << '\n'
        << "scsi-address=" << (scsiAddress ? "yes" : "no") << '\n'
        << "reads=" << KindList(reads) << '\n'
        << "writes=" << KindList(writes) << '\n'
        << "test-write=" << (testWrite ? "yes" : "no") << '\n'
        << "buffer-underrun-free=" << (bufferUnderrunFree ? "yes" : "no") << '\n'
        << "vendor-page-30=" << (vendorPage30 ? "yes" : "no") << '\n'
        << "cd-read-kbs=" << cdReadKBs << '\n'
        << "cd-write-kbs=" << cdWriteKBs << '\n'
        << "dvd-read-kbs=" << dvdReadKBs << '\n'
        << "dvd-write-kbs=" << dvdWriteKBs << '\n';
    if (ReadsAnyBd()) out << "bd-read-kbs=" << bdReadKBs << '\n' << "bd-write-kbs=" << bdWriteKBs << '\n';
    out << "buffer-kb=" << bufferKB << '\n'
        << "refuses-write-page=" << KindList(refusesWritePage) << '\n';
    return out.str();
}

DriveModel DriveModel::FromText(const std::string& Text) {
    DriveModel m = *Preset("dvd-writer");
    std::istringstream in(Text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto eq = line.find('=');
        if (eq == std::string::npos) throw std::runtime_error("model line without '=': " + line);
        m.Set(line.substr(0, eq), line.substr(eq + 1));
    }
    return m;
}

std::optional<DriveModel> DriveModel::Preset(const std::string& Name) {
    DriveModel m;
    m.reads = kAllKinds;
    if (Name == "dvd-writer") {
        m.writes = {MediaKind::CdR,      MediaKind::CdRw,      MediaKind::DvdR,
                    MediaKind::DvdRam,   MediaKind::DvdRwRestricted, MediaKind::DvdRwSequential,
                    MediaKind::DvdPlusRw, MediaKind::DvdPlusR, MediaKind::DvdPlusRDl};
        return m;
    }
    if (Name == "bd-writer") {
        // 12x BD (the most the 16-bit speed fields of the drive hold is
        // 14x), 16x DVD, 48x CD.
        m.product = "VIRTUAL BD-RE";
        m.reads.insert(kBdKinds.begin(), kBdKinds.end());
        m.writes = {MediaKind::CdR,      MediaKind::CdRw,      MediaKind::DvdR,
                    MediaKind::DvdRam,   MediaKind::DvdRwRestricted, MediaKind::DvdRwSequential,
                    MediaKind::DvdPlusRw, MediaKind::DvdPlusR, MediaKind::DvdPlusRDl,
                    MediaKind::BdR,      MediaKind::BdRDl,     MediaKind::BdRe,
                    MediaKind::BdReDl};
        m.bdReadKBs = m.bdWriteKBs = 53946;
        m.bufferKB = 4096;
        return m;
    }
    if (Name == "dvd-reader") {
        m.product = "VIRTUAL DVD-ROM";
        m.writes = {};
        m.testWrite = false;
        m.bufferUnderrunFree = false;
        m.bufferKB = 512;
        return m;
    }
    m.reads = kCdKinds;
    m.dvdReadKBs = m.dvdWriteKBs = 0;
    if (Name == "cd-writer") {
        m.product = "VIRTUAL CD-RW";
        m.writes = {MediaKind::CdR, MediaKind::CdRw};
        return m;
    }
    if (Name == "cd-reader") {
        m.product = "VIRTUAL CD-ROM";
        m.writes = {};
        m.testWrite = false;
        m.bufferUnderrunFree = false;
        m.cdWriteKBs = 0;
        m.bufferKB = 128;
        return m;
    }
    return std::nullopt;
}

std::string DriveModel::PresetNames() { return "dvd-writer|bd-writer|cd-writer|dvd-reader|cd-reader"; }

}  // namespace vdrive
