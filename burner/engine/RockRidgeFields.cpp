#include "burner/engine/RockRidgeFields.h"

#include <array>
#include <cstring>

#include "burner/engine/DirectoryRecord.h"
#include "burner/iso/DateTime.h"
#include "burner/iso/Names.h"
#include "burner/iso/SuspLayout.h"

namespace kestrel {

namespace {

using namespace iso;

constexpr uint16_t SigPX = susp::Signature('P', 'X'), SigNM = susp::Signature('N', 'M'),
                   SigSL = susp::Signature('S', 'L'), SigTF = susp::Signature('T', 'F'),
                   SigRE = susp::Signature('R', 'E'), SigCL = susp::Signature('C', 'L'),
                   SigPL = susp::Signature('P', 'L'), SigPN = susp::Signature('P', 'N'),
                   SigRR = susp::Signature('R', 'R'), SigER = susp::Signature('E', 'R'),
                   // Entries whose files are not stored as plain bytes.
                   SigZF = susp::Signature('Z', 'F'), SigSF = susp::Signature('S', 'F');

// Identifiers of Rock Ridge in ER entries: 1.12 as standardised, its draft,
// and 1.10.
constexpr std::array<const char*, 3> kRockRidgeIds = {susp::RockRidgeId, "IEEE_1282", "RRIP_1991A"};

bool IsRockRidgeEntry(uint16_t Signature) {
    for (const uint16_t s : {SigPX, SigNM, SigSL, SigTF, SigRE, SigCL, SigPL, SigPN, SigRR, SigZF, SigSF})
        if (s == Signature) return true;
    return false;
}

// A long-form stamp: "YYYYMMDDHHMMSScc" and a zone offset; nothing when
// its digits are no date.
std::optional<TDateTime> LongStamp(const uint8_t* P) {
    int fields[6] = {};
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    for (int f = 0, at = 0; f < 6; at += widths[f++])
        for (int i = 0; i < widths[f]; ++i) {
            if (P[at + i] < '0' || P[at + i] > '9') return std::nullopt;
            fields[f] = fields[f] * 10 + (P[at + i] - '0');
        }
    if (fields[0] < 1900 || fields[0] > 2155) return std::nullopt;
    // The short form holds the same fields: let one conversion check them.
    const uint8_t shortForm[7] = {uint8_t(fields[0] - 1900), uint8_t(fields[1]), uint8_t(fields[2]),
                                  uint8_t(fields[3]), uint8_t(fields[4]), uint8_t(fields[5]), P[16]};
    return RecordingDateTime(shortForm);
}

void ReadTimes(const TSuspEntry& E, TRockRidgeFields& Out) {
    if (E.Length <= susp::tf::FlagsAt) return;
    const uint8_t flags = E.Bytes[susp::tf::FlagsAt];
    const bool longForm = flags & susp::tf::FlagLongForm;
    const size_t size = longForm ? susp::tf::LongStampBytes : susp::tf::ShortStampBytes;
    size_t at = susp::tf::StampsAt;
    for (uint8_t bit = susp::tf::FlagCreation; bit < susp::tf::FlagLongForm; bit = uint8_t(bit << 1)) {
        if (!(flags & bit)) continue;
        if (at + size > E.Length) return;  // stamps the entry does not hold are left unknown
        const std::optional<TDateTime> when =
            longForm ? LongStamp(E.Bytes + at) : std::optional<TDateTime>(RecordingDateTime(E.Bytes + at));
        if (bit == susp::tf::FlagModify) Out.Modified = when;
        if (bit == susp::tf::FlagAccess) Out.Accessed = when;
        if (bit == susp::tf::FlagAttributes) Out.Changed = when;
        at += size;
    }
}

// Joins the pieces of NM and SL entries; later entries of a name or link
// that ended are ignored.
class TFieldParser {
public:
    explicit TFieldParser(TRockRidgeFields& Out) : out_(Out) {}

    void Name(const TSuspEntry& E) {
        if (nameDone_ || E.Length < susp::nm::NameAt) return;
        const uint8_t flags = E.Bytes[susp::nm::FlagsAt];
        std::string& name = out_.Name.emplace(out_.Name.value_or(std::string()));
        if (flags & susp::nm::FlagCurrent) name += ".";
        else if (flags & susp::nm::FlagParent) name += "..";
        else name.append(reinterpret_cast<const char*>(E.Bytes + susp::nm::NameAt), E.Length - susp::nm::NameAt);
        nameDone_ = !(flags & susp::nm::FlagContinue);
        if (name.size() > MaxPosixName)
            Fail("ROCK RIDGE NAME LONGER THAN " + std::to_string(MaxPosixName) + " BYTES");
    }

    void Link(const TSuspEntry& E) {
        if (linkDone_ || E.Length < susp::sl::ComponentsAt) return;
        std::string& target = out_.LinkTarget.emplace(out_.LinkTarget.value_or(std::string()));
        for (size_t at = susp::sl::ComponentsAt; at < E.Length;) {
            if (at + susp::sl::ComponentContentAt > E.Length) return Fail("SYMBOLIC LINK COMPONENT RUNNING PAST ITS ENTRY");
            const uint8_t flags = E.Bytes[at + susp::sl::ComponentFlagsAt];
            const size_t length = E.Bytes[at + susp::sl::ComponentLengthAt];
            const uint8_t* content = E.Bytes + at + susp::sl::ComponentContentAt;
            if (at + susp::sl::ComponentContentAt + length > E.Length)
                return Fail("SYMBOLIC LINK COMPONENT RUNNING PAST ITS ENTRY");
            Component(target, flags, std::string(reinterpret_cast<const char*>(content), length));
            at += susp::sl::ComponentContentAt + length;
        }
        linkDone_ = !(E.Bytes[susp::sl::FlagsAt] & susp::sl::FlagContinue);
        if (target.size() > kMaxLinkTarget)
            Fail("SYMBOLIC LINK TARGET LONGER THAN " + std::to_string(kMaxLinkTarget) + " BYTES");
    }

    void Finish() {
        // A last piece that says more follows: the entries were cut short.
        if (out_.Name && !nameDone_) Fail("ROCK RIDGE NAME WHOSE LAST PIECE NEVER COMES");
        if (out_.LinkTarget && !linkDone_) Fail("SYMBOLIC LINK TARGET WHOSE LAST PIECE NEVER COMES");
        if (!out_.LinkTarget) return;
        if (out_.LinkTarget->empty()) Fail("SYMBOLIC LINK WITHOUT A TARGET");
        else if (out_.LinkTarget->find('\0') != std::string::npos) Fail("SYMBOLIC LINK TARGET HOLDING A ZERO BYTE");
    }

private:
    // A component goes on the previous one when that was marked continued;
    // otherwise a "/" parts them.
    void Component(std::string& Target, uint8_t Flags, const std::string& Content) {
        if (Flags & susp::sl::ComponentRoot) {
            if (Target.empty() || Target.back() != '/') Target += '/';
        } else {
            if (!Target.empty() && !continued_ && Target.back() != '/') Target += '/';
            if (Flags & susp::sl::ComponentCurrent) Target += '.';
            else if (Flags & susp::sl::ComponentParent) Target += "..";
            else Target += Content;
        }
        continued_ = Flags & susp::sl::ComponentContinue;
    }

    void Fail(const std::string& Problem) {
        if (out_.Problem.empty()) out_.Problem = Problem;
    }

    TRockRidgeFields& out_;
    bool nameDone_ = false;
    bool linkDone_ = false;
    bool continued_ = false;
};

}  // namespace

TRockRidgeFields ParseRockRidge(const TSystemUse& Entries) {
    TRockRidgeFields fields;
    TFieldParser parser(fields);
    Entries.ForEach([&](const TSuspEntry& E) {
        if (!IsRockRidgeEntry(E.Signature)) return;
        fields.Present = true;
        if (E.Signature == SigPX && E.Length >= susp::px::BytesWithoutSerial)
            fields.Mode = LittleEndian32(E.Bytes + susp::px::ModeAt);
        else if (E.Signature == SigNM) parser.Name(E);
        else if (E.Signature == SigSL) parser.Link(E);
        else if (E.Signature == SigTF) ReadTimes(E, fields);
        else if (E.Signature == SigRE) fields.Relocated = true;
        else if (E.Signature == SigCL && E.Length >= susp::cl::Bytes)
            fields.ChildLink = LittleEndian32(E.Bytes + susp::cl::LocationAt);
        else if (E.Signature == SigZF) fields.Transformed = "COMPRESSED FILE (ZF)";
        else if (E.Signature == SigSF) fields.Transformed = "FILE IN SPARSE FORMAT (SF)";
    });
    parser.Finish();
    return fields;
}

std::optional<uint8_t> SuspSkipLength(const uint8_t* Area, size_t Length) {
    if (Length < susp::sp::Bytes || Area[0] != 'S' || Area[1] != 'P' || Area[susp::LengthAt] < susp::sp::Bytes)
        return std::nullopt;
    if (Area[susp::sp::CheckAt] != susp::sp::Check0 || Area[susp::sp::CheckAt + 1] != susp::sp::Check1)
        return std::nullopt;
    return Area[susp::sp::SkipAt];
}

bool AnnouncesRockRidge(const TSystemUse& RootEntries) {
    bool announced = false, otherExtension = false, rockRidgeEntries = false;
    RootEntries.ForEach([&](const TSuspEntry& E) {
        if (IsRockRidgeEntry(E.Signature)) rockRidgeEntries = true;
        if (E.Signature != SigER || E.Length <= susp::er::TextAt) return;
        const size_t idLength = E.Bytes[susp::er::IdLengthAt];
        const std::string id(reinterpret_cast<const char*>(E.Bytes + susp::er::TextAt),
                             std::min(idLength, E.Length - susp::er::TextAt));
        bool rockRidge = false;
        for (const char* known : kRockRidgeIds) rockRidge = rockRidge || id == known;
        (rockRidge ? announced : otherExtension) = true;
    });
    return announced || (!otherExtension && rockRidgeEntries);
}

}  // namespace kestrel
