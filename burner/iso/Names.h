#pragma once
// Names of compilation entries: UTF-8 checks, ASCII upper-casing, the
// ISO 9660 short names and the Joliet (UTF-16) form of long names.
#include <cstddef>
#include <string>

#include "burner/iso/NameLimits.h"

namespace kestrel {

bool IsValidUtf8(const std::string& Text);
// Text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string SanitizeUtf8(const std::string& Text);
// Upper-cases ASCII letters only.
std::string UpperAscii(std::string Text);
// C0 control characters and DEL.
bool IsControlCharacter(char C);
bool HoldsControlCharacters(const std::string& Text);
// Text with every control character replaced by StandIn.
std::string ReplaceControlCharacters(std::string Text, char StandIn);
// The ISO 9660 form of a name before it is cut: ASCII letters upper-cased,
// control characters as "_" (a directory's identifier of the single byte
// 00h or 01h would read as "." or "..").
std::string ShortNameText(const std::string& Name);
// Appends the UTF-8 encoding of one code point.
void AppendUtf8(std::string& Out, char32_t Cp);

// Number of UTF-16 units of a (valid) UTF-8 text.
size_t Utf16Length(const std::string& Utf8);
// True when Name, as the long name of a file or a directory, fits the
// records the image writer makes for it.
bool LongNameFits(const std::string& Name, bool IsDirectory);
// The long name a file is stored under: a name without "." gets one
// ("README" becomes "README.").
std::string StoredFileName(std::string Name);
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
