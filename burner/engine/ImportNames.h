#pragma once
// Names read from the directory records of a disc. A disc is untrusted: a
// name becomes a compilation name only when it can be one component of a
// path (UTF-8, no path separators, not "." or ".."). Control characters
// are kept, as the compilation stores and writes them: such names are
// shown escaped and written locally with the characters replaced.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrel {

// A record's identifier turned into a compilation name; when Problem is not
// empty the record is left out and Problem says why (upper case, for the log).
struct TImportName {
    std::string Name;
    std::string Problem;
    bool Ok() const { return Problem.empty(); }
};

// Drops a version suffix: a trailing ";" followed by digits only ("A.TXT;1").
// Any other ";" belongs to the name.
std::string StripVersionSuffix(const std::string& Name);

// A Joliet identifier: UCS-2 (UTF-16) big-endian bytes, surrogate pairs
// joined, converted to UTF-8.
TImportName JolietName(const uint8_t* Bytes, size_t Length);

// An ISO 9660 identifier, taken as it stands (invalid UTF-8 is replaced by
// the compilation when it stores the name).
TImportName PrimaryName(const uint8_t* Bytes, size_t Length);

// A Rock Ridge (NM) name: the POSIX name as it stands, no version suffix.
TImportName RockRidgeName(const std::string& Name);

// Text safe for one line of a listing or the log: control characters
// escaped ("\n", "\t", "\r", else "\x01"), invalid UTF-8 replaced. Names
// never hold "\", so the escaped form stands for one name only.
std::string PrintableName(const std::string& Name);


}  // namespace kestrel
