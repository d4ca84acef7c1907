#pragma once
// How long the names of an image can be. A directory record's length is one
// byte and its fixed part 33 bytes; an identifier of even length is followed
// by a pad byte. The image writer and the session import both take their
// limits from here, so every name one writes the other reads back.
#include <cstddef>

namespace kestrel {

// Longest identifiers a record holds: 33 + 221 = 254 bytes for an odd
// length, 33 + 220 + 1 pad = 254 for an even one. Joliet identifiers are
// UTF-16 units of two bytes, hence always even.
inline constexpr size_t MaxIsoIdBytes = 221;
inline constexpr size_t MaxJolietIdBytes = 220;
// Files carry the version suffix ";1" in both trees; directories do not.
inline constexpr size_t VersionSuffixChars = 2;

// Longest long names, in UTF-16 units (108 for files, 110 for directories).
inline constexpr size_t MaxFileLongName = MaxJolietIdBytes / 2 - VersionSuffixChars;
inline constexpr size_t MaxDirLongName = MaxJolietIdBytes / 2;
// Longest ISO 9660 short names, in bytes.
inline constexpr size_t MaxFileShortBytes = MaxIsoIdBytes - VersionSuffixChars;
inline constexpr size_t MaxDirShortBytes = MaxIsoIdBytes;

// With Rock Ridge an ISO 9660 record keeps room after its identifier for a
// continuation entry (28 bytes): 33 + 193 + 28 = 254.
inline constexpr size_t MaxRockIsoIdBytes = 193;
inline constexpr size_t MaxRockFileShortBytes = MaxRockIsoIdBytes - VersionSuffixChars;
inline constexpr size_t MaxRockDirShortBytes = MaxRockIsoIdBytes;

constexpr size_t MaxLongName(bool IsDirectory) { return IsDirectory ? MaxDirLongName : MaxFileLongName; }

}  // namespace kestrel
