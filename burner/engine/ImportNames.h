#pragma once
// Names read from the directory records of a disc. A disc is untrusted: a
// name becomes a compilation name only when it is safe as a file name here
// (UTF-8, no path separators, no control characters, not "." or "..").
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

// Text safe for one log line: control characters shown as "?", invalid
// UTF-8 replaced.
std::string PrintableName(const std::string& Name);

}  // namespace kestrel
