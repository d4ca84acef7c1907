#pragma once
// System-use entries for hand-made discs (TRec::SystemUse): the sharing
// protocol's and Rock Ridge's, laid out with the writer's own offsets and
// with any value a broken or malicious disc might hold.
#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "burner/iso/SuspLayout.h"

namespace kestrel::test::susp {

namespace layout = kestrel::iso::susp;

// An entry of Bytes bytes with its header filled in.
inline std::string Entry(char A, char B, size_t Bytes) {
    std::string e(Bytes, '\0');
    e[layout::SignatureAt] = A;
    e[layout::SignatureAt + 1] = B;
    e[layout::LengthAt] = static_cast<char>(Bytes);
    e[layout::VersionAt] = static_cast<char>(layout::EntryVersion);
    return e;
}

inline void PutBoth32(std::string& E, size_t At, uint32_t Value) {
    for (int i = 0; i < 4; ++i) {
        E[At + size_t(i)] = static_cast<char>(Value >> (8 * i));
        E[At + 7 - size_t(i)] = static_cast<char>(Value >> (8 * i));
    }
}

inline std::string SP() {
    std::string e = Entry('S', 'P', layout::sp::Bytes);
    e[layout::sp::CheckAt] = static_cast<char>(layout::sp::Check0);
    e[layout::sp::CheckAt + 1] = static_cast<char>(layout::sp::Check1);
    return e;
}

// ER naming Rock Ridge, identifier only.
inline std::string ER() {
    const std::string id = layout::RockRidgeId;
    std::string e = Entry('E', 'R', layout::er::TextAt + id.size());
    e[layout::er::IdLengthAt] = static_cast<char>(id.size());
    e[layout::er::ExtVersionAt] = static_cast<char>(layout::RockRidgeExtVersion);
    e.replace(layout::er::TextAt, id.size(), id);
    return e;
}

// What the root's "." record of a Rock Ridge volume carries.
inline std::string RootSelf() { return SP() + ER(); }

inline std::string PX(uint32_t Mode) {
    std::string e = Entry('P', 'X', layout::px::Bytes);
    PutBoth32(e, layout::px::ModeAt, Mode);
    PutBoth32(e, layout::px::LinksAt, 1);
    return e;
}

inline std::string NM(const std::string& Name, uint8_t Flags = 0) {
    std::string e = Entry('N', 'M', layout::nm::NameAt + Name.size());
    e[layout::nm::FlagsAt] = static_cast<char>(Flags);
    e.replace(layout::nm::NameAt, Name.size(), Name);
    return e;
}

// SL of the given components: {component flags, content}.
inline std::string SL(const std::vector<std::pair<uint8_t, std::string>>& Components, uint8_t Flags = 0) {
    std::string body;
    for (const auto& [flags, content] : Components) {
        std::string c(layout::sl::ComponentContentAt, '\0');
        c[layout::sl::ComponentFlagsAt] = static_cast<char>(flags);
        c[layout::sl::ComponentLengthAt] = static_cast<char>(content.size());
        body += c + content;
    }
    std::string e = Entry('S', 'L', layout::sl::ComponentsAt + body.size());
    e[layout::sl::FlagsAt] = static_cast<char>(Flags);
    e.replace(layout::sl::ComponentsAt, body.size(), body);
    return e;
}

// A relative link target of plain components ("a/b" -> "a", "b").
inline std::string LinkTo(const std::string& Target) {
    std::vector<std::pair<uint8_t, std::string>> parts;
    for (size_t at = 0; at <= Target.size();) {
        size_t end = Target.find('/', at);
        if (end == std::string::npos) end = Target.size();
        const std::string part = Target.substr(at, end - at);
        if (part == "..") parts.push_back({layout::sl::ComponentParent, ""});
        else parts.push_back({0, part});
        at = end + 1;
    }
    return PX(S_IFLNK | 0777) + SL(parts);
}

inline std::string CE(uint32_t Block, uint32_t Offset, uint32_t Length) {
    std::string e = Entry('C', 'E', layout::ce::Bytes);
    PutBoth32(e, layout::ce::BlockAt, Block);
    PutBoth32(e, layout::ce::OffsetAt, Offset);
    PutBoth32(e, layout::ce::LengthAt, Length);
    return e;
}

inline std::string RE() { return Entry('R', 'E', layout::re::Bytes); }

inline std::string CL(uint32_t Lba) {
    std::string e = Entry('C', 'L', layout::cl::Bytes);
    PutBoth32(e, layout::cl::LocationAt, Lba);
    return e;
}

// TF with the modification time only: 7-byte recording date.
inline std::string TFModified(uint8_t YearsSince1900, uint8_t Month, uint8_t Day) {
    std::string e = Entry('T', 'F', layout::tf::StampsAt + layout::tf::ShortStampBytes);
    e[layout::tf::FlagsAt] = static_cast<char>(layout::tf::FlagModify);
    const char stamp[7] = {char(YearsSince1900), char(Month), char(Day), 12, 0, 0, 0};
    e.replace(layout::tf::StampsAt, 7, stamp, 7);
    return e;
}

}  // namespace kestrel::test::susp
