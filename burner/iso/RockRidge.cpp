#include "burner/iso/RockRidge.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "burner/iso/IsoFormat.h"
#include "burner/iso/SuspLayout.h"

namespace kestrel::iso {

namespace {

constexpr uint32_t DefaultFileMode = S_IFREG | 0444;
constexpr uint32_t DefaultDirMode = S_IFDIR | 0555;
constexpr uint32_t LinkMode = S_IFLNK | 0777;
// Payload of an NM or SL entry: the entry less its header and flags byte.
constexpr size_t MaxPayload = susp::MaxEntryBytes - 5;

// Starts an entry of Length bytes at the end of Out; returns its first byte.
uint8_t* Begin(std::vector<uint8_t>& Out, char A, char B, size_t Length) {
    const size_t at = Out.size();
    Out.resize(at + Length, 0);
    uint8_t* e = Out.data() + at;
    e[susp::SignatureAt] = uint8_t(A);
    e[susp::SignatureAt + 1] = uint8_t(B);
    e[susp::LengthAt] = uint8_t(Length);
    e[susp::VersionAt] = susp::EntryVersion;
    return e;
}

void PutSp(std::vector<uint8_t>& Out) {
    uint8_t* e = Begin(Out, 'S', 'P', susp::sp::Bytes);
    e[susp::sp::CheckAt] = susp::sp::Check0;
    e[susp::sp::CheckAt + 1] = susp::sp::Check1;
    e[susp::sp::SkipAt] = 0;
}

void PutEr(std::vector<uint8_t>& Out) {
    const std::string id = susp::RockRidgeId, desc = susp::RockRidgeDescriptor, src = susp::RockRidgeSource;
    uint8_t* e = Begin(Out, 'E', 'R', susp::er::TextAt + id.size() + desc.size() + src.size());
    e[susp::er::IdLengthAt] = uint8_t(id.size());
    e[susp::er::DescLengthAt] = uint8_t(desc.size());
    e[susp::er::SourceLengthAt] = uint8_t(src.size());
    e[susp::er::ExtVersionAt] = susp::RockRidgeExtVersion;
    std::memcpy(e + susp::er::TextAt, (id + desc + src).data(), id.size() + desc.size() + src.size());
}

void PutPx(std::vector<uint8_t>& Out, uint32_t Mode, uint32_t Links, uint32_t Serial) {
    uint8_t* e = Begin(Out, 'P', 'X', susp::px::Bytes);
    PutBoth32(e + susp::px::ModeAt, Mode);
    PutBoth32(e + susp::px::LinksAt, Links);
    PutBoth32(e + susp::px::UidAt, TRockRidge::Owner);
    PutBoth32(e + susp::px::GidAt, TRockRidge::Group);
    PutBoth32(e + susp::px::SerialAt, Serial);
}

void PutTf(std::vector<uint8_t>& Out, TDateTime Modify, TDateTime Access, TDateTime Change, int16_t Zone) {
    uint8_t* e = Begin(Out, 'T', 'F', susp::tf::StampsAt + 3 * susp::tf::ShortStampBytes);
    e[susp::tf::FlagsAt] = susp::tf::FlagModify | susp::tf::FlagAccess | susp::tf::FlagAttributes;
    uint8_t* stamp = e + susp::tf::StampsAt;
    for (const TDateTime when : {Modify, Access, Change}) {
        PutRecordDate(stamp, when, Zone);
        stamp += susp::tf::ShortStampBytes;
    }
}

void PutNm(std::vector<uint8_t>& Out, const std::string& Name) {
    size_t done = 0;
    do {
        const size_t n = std::min(MaxPayload, Name.size() - done);
        uint8_t* e = Begin(Out, 'N', 'M', susp::nm::NameAt + n);
        e[susp::nm::FlagsAt] = done + n < Name.size() ? susp::nm::FlagContinue : 0;
        std::memcpy(e + susp::nm::NameAt, Name.data() + done, n);
        done += n;
    } while (done < Name.size());
}

// CL or PL: First is 'C' or 'P'.
void PutLocation(std::vector<uint8_t>& Out, char First, int64_t Sector) {
    uint8_t* e = Begin(Out, First, 'L', susp::cl::Bytes);
    PutBoth32(e + susp::cl::LocationAt, FitU32(Sector, "relocated directory"));
}

// A symbolic link's target as components: flags and content.
struct TComponent {
    uint8_t Flags = 0;
    std::string Content;
};

std::vector<TComponent> LinkComponents(const std::string& Target) {
    std::vector<TComponent> parts;
    size_t at = 0;
    if (!Target.empty() && Target[0] == '/') {
        parts.push_back({susp::sl::ComponentRoot, ""});
        at = Target.find_first_not_of('/');
    }
    while (at != std::string::npos && at < Target.size()) {
        size_t end = Target.find('/', at);
        if (end == std::string::npos) end = Target.size();
        const std::string name = Target.substr(at, end - at);
        if (name == ".") parts.push_back({susp::sl::ComponentCurrent, ""});
        else if (name == "..") parts.push_back({susp::sl::ComponentParent, ""});
        else parts.push_back({0, name});
        at = Target.find_first_not_of('/', end);
    }
    return parts;
}

// Component records of SL entries. A target longer than one entry goes on
// in the next, and an entry never ends between two components: readers
// disagree on whether a slash belongs there (the kernel adds one, bsdtar
// does not), so the last record of a continued entry is always a piece of a
// component marked as continued, if need be an empty one.
class TSlWriter {
public:
    explicit TSlWriter(std::vector<uint8_t>& Out) : out_(Out) {}

    void Put(const TComponent& Part, bool Last) {
        const size_t size = Part.Content.size();
        size_t done = 0;
        for (;;) {
            const size_t room = MaxPayload - payload_.size();
            const size_t left = size - done;
            // Whole, leaving room for an empty continued piece unless last.
            if (2 + left + (Last ? 0 : 2) <= room) {
                Piece(Part.Flags, Part.Content.substr(done));
                return;
            }
            if (Part.Flags != 0 || room < 3) {
                Piece(susp::sl::ComponentContinue, "");
            } else {
                const size_t take = std::min(left, room - 2);
                Piece(susp::sl::ComponentContinue, Part.Content.substr(done, take));
                done += take;
            }
            Flush(true);
        }
    }
    void Finish() { Flush(false); }

private:
    void Piece(uint8_t Flags, const std::string& Content) {
        payload_.push_back(Flags);
        payload_.push_back(uint8_t(Content.size()));
        payload_.insert(payload_.end(), Content.begin(), Content.end());
    }
    void Flush(bool More) {
        uint8_t* e = Begin(out_, 'S', 'L', susp::sl::ComponentsAt + payload_.size());
        e[susp::sl::FlagsAt] = More ? susp::sl::FlagContinue : 0;
        std::memcpy(e + susp::sl::ComponentsAt, payload_.data(), payload_.size());
        payload_.clear();
    }

    std::vector<uint8_t>& out_;
    std::vector<uint8_t> payload_;
};

void PutSl(std::vector<uint8_t>& Out, const std::string& Target) {
    const std::vector<TComponent> parts = LinkComponents(Target);
    TSlWriter writer(Out);
    for (size_t i = 0; i < parts.size(); ++i) writer.Put(parts[i], i + 1 == parts.size());
    writer.Finish();
}

uint32_t SubdirectoryLinks(const TDEntry* Dir) {
    uint32_t links = 2;
    if (Dir)
        for (const TFEntry* e = Dir->Files; e; e = e->Next)
            if (e->Dir && e->LongName != "." && e->LongName != "..") ++links;
    return links;
}

TDateTime Or(TDateTime Value, TDateTime Fallback) { return Value != 0 ? Value : Fallback; }

}  // namespace

uint32_t RockRidgeMode(const TFEntry* Entry, bool IsDirectory) {
    if (Entry && Entry->IsLink()) return LinkMode;
    const uint32_t mode = Entry ? Entry->Mode : 0;
    if (mode == 0) return IsDirectory ? DefaultDirMode : DefaultFileMode;
    return (mode & 07777) | (IsDirectory ? S_IFDIR : S_IFREG);
}

void TRockRidge::DescribeDirectory(const TDEntry* Dir, std::vector<uint8_t>& Out) const {
    const TFEntry* self = Dir ? Dir->Self : nullptr;
    PutPx(Out, RockRidgeMode(self, true), SubdirectoryLinks(Dir), self ? self->Serial : 1);
    const TDateTime when = self ? self->DateTime : now_;
    PutTf(Out, when, self ? Or(self->AccessTime, when) : when, self ? Or(self->ChangeTime, when) : when, gmtOffset_);
}

void TRockRidge::DescribeEntry(const TFEntry& Entry, std::vector<uint8_t>& Out) const {
    const bool isDir = Entry.Dir != nullptr || (Entry.Attr & faDirectory) != 0;
    const uint32_t links = isDir ? SubdirectoryLinks(Entry.Dir) : 1;
    PutPx(Out, RockRidgeMode(&Entry, isDir), links, Entry.Serial);
    PutTf(Out, Entry.DateTime, Or(Entry.AccessTime, Entry.DateTime), Or(Entry.ChangeTime, Entry.DateTime),
          gmtOffset_);
}

void TRockRidge::Produce(const TRecordContext& Record, std::vector<uint8_t>& Out) const {
    if (Record.Role != TRecordRole::Entry) {
        if (Record.IsRootSelf()) PutSp(Out);
        DescribeDirectory(Record.Described, Out);
        if (Record.Mark == TRelocationMark::MovedParent) PutLocation(Out, 'P', Record.LinkSector);
        if (Record.IsRootSelf()) PutEr(Out);
        return;
    }
    const TFEntry& entry = *Record.Entry;
    // Every extent of a large file carries the same fields: readers take
    // the name from the last record (the Linux kernel), the attributes from
    // the last (xorriso) or the first, or join extents by name (bsdtar).
    DescribeEntry(entry, Out);
    PutNm(Out, PosixNameOf(entry));
    if (entry.IsLink()) PutSl(Out, entry.LinkTarget);
    if (Record.Mark == TRelocationMark::Moved) Begin(Out, 'R', 'E', susp::re::Bytes);
    if (Record.Mark == TRelocationMark::Placeholder) PutLocation(Out, 'C', Record.LinkSector);
}

}  // namespace kestrel::iso
