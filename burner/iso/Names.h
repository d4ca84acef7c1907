#pragma once
// Names of compilation entries: UTF-8 checks, ASCII upper-casing, the
// ISO 9660 short names and the Joliet (UTF-16) form of long names.
#include <cstddef>
#include <string>

namespace kestrel {

// Longest long names, in UTF-16 units, whose Joliet records still fit the
// one-byte record length (a file's identifier carries ";1" as well).
inline constexpr size_t MaxFileLongName = 108;
inline constexpr size_t MaxDirLongName = 110;
// Longest ISO 9660 short names, in bytes, for the same reason (";1" added
// to files).
inline constexpr size_t MaxFileShortBytes = 219;
inline constexpr size_t MaxDirShortBytes = 221;
// With Rock Ridge a record keeps room for a continuation entry (28 bytes).
inline constexpr size_t MaxRockFileShortBytes = 191;
inline constexpr size_t MaxRockDirShortBytes = 193;

bool IsValidUtf8(const std::string& Text);
// Text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string SanitizeUtf8(const std::string& Text);
// Upper-cases ASCII letters only.
std::string UpperAscii(std::string Text);
// Number of UTF-16 units of a (valid) UTF-8 text.
// Appends the UTF-8 encoding of one code point.
void AppendUtf8(std::string& Out, char32_t Cp);

size_t Utf16Length(const std::string& Utf8);
// The UTF-16 big-endian bytes of a UTF-8 text (surrogate pairs beyond the
// BMP; invalid sequences become U+FFFD).
std::string Utf8ToUtf16BE(const std::string& Utf8);
// Cuts a short name to at most MaxBytes bytes at a UTF-8 character boundary;
// a file name keeps its extension (from the last ".") when it can.
std::string FitShortName(const std::string& Name, size_t MaxBytes, bool KeepExtension);
// Longest name Rock Ridge stores, in bytes (a POSIX file name).
inline constexpr size_t MaxPosixName = 255;
// Cuts a UTF-8 name to at most MaxUnits UTF-16 units at a character
// boundary, keeping an extension (from the last ".") when asked and short.
std::string FitUtf16Units(const std::string& Name, size_t MaxUnits, bool KeepExtension);
// Short name of a directory created by name: the first 13 characters,
// upper-cased, every character of code 32 or less or of 123 or more as "_".
std::string DirShortNameFromName(const std::string& Name);

}  // namespace kestrel
