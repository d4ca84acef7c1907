#include "burner/iso/Names.h"

#include <cstdint>

namespace kestrel {

namespace {

constexpr char32_t ReplacementChar = 0xFFFD;

// Decodes one code point at Pos; returns false (and steps over one byte)
// for an invalid, overlong or surrogate sequence.
bool DecodeOne(const std::string& Text, size_t& Pos, char32_t& Cp) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(Text[i]); };
    const unsigned char lead = byte(Pos);
    size_t len = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        Cp = lead;
        ++Pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        len = 2, min = 0x80, Cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        len = 3, min = 0x800, Cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        len = 4, min = 0x10000, Cp = lead & 0x07;
    } else {
        ++Pos;
        return false;
    }
    if (Pos + len > Text.size()) {
        ++Pos;
        return false;
    }
    for (size_t i = 1; i < len; ++i) {
        if ((byte(Pos + i) & 0xC0) != 0x80) {
            ++Pos;
            return false;
        }
        Cp = (Cp << 6) | (byte(Pos + i) & 0x3F);
    }
    if (Cp < min || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF)) {
        ++Pos;
        return false;
    }
    Pos += len;
    return true;
}

void AppendUnitBE(std::string& Out, uint16_t Unit) {
    Out += static_cast<char>(Unit >> 8);
    Out += static_cast<char>(Unit & 0xFF);
}

bool IsContinuation(char C) { return (static_cast<unsigned char>(C) & 0xC0) == 0x80; }

// Largest prefix length <= MaxBytes that does not split a character.
size_t BoundaryAtMost(const std::string& Text, size_t MaxBytes) {
    if (MaxBytes >= Text.size()) return Text.size();
    size_t cut = MaxBytes;
    while (cut > 0 && IsContinuation(Text[cut])) --cut;
    return cut;
}

}  // namespace

void AppendUtf8(std::string& Out, char32_t Cp) {
    if (Cp < 0x80) {
        Out += static_cast<char>(Cp);
    } else if (Cp < 0x800) {
        Out += static_cast<char>(0xC0 | (Cp >> 6));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        Out += static_cast<char>(0xE0 | (Cp >> 12));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Cp >> 18));
        Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
}

bool IsValidUtf8(const std::string& Text) {
    char32_t cp = 0;
    for (size_t pos = 0; pos < Text.size();)
        if (!DecodeOne(Text, pos, cp)) return false;
    return true;
}

std::string SanitizeUtf8(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    char32_t cp = 0;
    for (size_t pos = 0; pos < Text.size();)
        AppendUtf8(out, DecodeOne(Text, pos, cp) ? cp : ReplacementChar);
    return out;
}

std::string UpperAscii(std::string Text) {
    for (char& c : Text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return Text;
}

bool IsControlCharacter(char C) {
    const auto byte = static_cast<unsigned char>(C);
    return byte < 0x20 || byte == 0x7F;
}

bool HoldsControlCharacters(const std::string& Text) {
    for (const char c : Text)
        if (IsControlCharacter(c)) return true;
    return false;
}

std::string ReplaceControlCharacters(std::string Text, char StandIn) {
    for (char& c : Text)
        if (IsControlCharacter(c)) c = StandIn;
    return Text;
}

std::string ShortNameText(const std::string& Name) { return ReplaceControlCharacters(UpperAscii(Name), '_'); }

size_t Utf16Length(const std::string& Utf8) {
    size_t units = 0;
    char32_t cp = 0;
    for (size_t pos = 0; pos < Utf8.size();)
        units += (DecodeOne(Utf8, pos, cp) && cp >= 0x10000) ? 2 : 1;
    return units;
}

bool LongNameFits(const std::string& Name, bool IsDirectory) {
    return Utf16Length(Name) <= MaxLongName(IsDirectory);
}

std::string StoredFileName(std::string Name) {
    if (Name.find('.') == std::string::npos) Name += '.';
    return Name;
}

std::string Utf8ToUtf16BE(const std::string& Utf8) {
    std::string out;
    out.reserve(Utf8.size() * 2);
    char32_t cp = 0;
    for (size_t pos = 0; pos < Utf8.size();) {
        if (!DecodeOne(Utf8, pos, cp)) cp = ReplacementChar;
        if (cp < 0x10000) {
            AppendUnitBE(out, static_cast<uint16_t>(cp));
        } else {
            const char32_t v = cp - 0x10000;
            AppendUnitBE(out, static_cast<uint16_t>(0xD800 | (v >> 10)));
            AppendUnitBE(out, static_cast<uint16_t>(0xDC00 | (v & 0x3FF)));
        }
    }
    return out;
}

std::string FitShortName(const std::string& Name, size_t MaxBytes, bool KeepExtension) {
    if (Name.size() <= MaxBytes) return Name;
    const size_t dot = KeepExtension ? Name.rfind('.') : std::string::npos;
    // Keep the extension only when it leaves room for part of the base.
    if (dot != std::string::npos && dot > 0 && Name.size() - dot < MaxBytes / 2) {
        const std::string ext = Name.substr(dot);
        const std::string base = Name.substr(0, dot);
        return base.substr(0, BoundaryAtMost(base, MaxBytes - ext.size())) + ext;
    }
    return Name.substr(0, BoundaryAtMost(Name, MaxBytes));
}

std::string FitUtf16Units(const std::string& Name, size_t MaxUnits, bool KeepExtension) {
    if (Utf16Length(Name) <= MaxUnits) return Name;
    const auto cut = [](const std::string& Text, size_t Units) {
        std::string out;
        size_t used = 0;
        char32_t cp = 0;
        for (size_t pos = 0; pos < Text.size();) {
            const size_t start = pos;
            const size_t units = (DecodeOne(Text, pos, cp) && cp >= 0x10000) ? 2 : 1;
            if (used + units > Units) break;
            used += units;
            out.append(Text, start, pos - start);
        }
        return out;
    };
    const size_t dot = KeepExtension ? Name.rfind('.') : std::string::npos;
    if (dot != std::string::npos && dot > 0 && Utf16Length(Name.substr(dot)) <= MaxUnits / 2) {
        const std::string ext = Name.substr(dot);
        return cut(Name.substr(0, dot), MaxUnits - Utf16Length(ext)) + ext;
    }
    return cut(Name, MaxUnits);
}

std::string DirShortNameFromName(const std::string& Name) {
    std::string out;
    char32_t cp = 0;
    int count = 0;
    for (size_t pos = 0; pos < Name.size() && count < 13; ++count) {
        const bool valid = DecodeOne(Name, pos, cp);
        if (!valid || cp <= 32 || cp >= 123) out += '_';
        else out += static_cast<char>(cp >= 'a' && cp <= 'z' ? cp - 'a' + 'A' : cp);
    }
    return out;
}

}  // namespace kestrel
