#include "burner/engine/ImportNames.h"

#include "burner/iso/Names.h"

namespace kestrel {

namespace {

bool IsHighSurrogate(char16_t U) { return U >= 0xD800 && U <= 0xDBFF; }
bool IsLowSurrogate(char16_t U) { return U >= 0xDC00 && U <= 0xDFFF; }

// The checks every imported name must pass, after the version suffix went.
TImportName Checked(std::string Name) {
    TImportName result;
    if (Name.empty()) result.Problem = "EMPTY NAME";
    else if (Name == "." || Name == "..") result.Problem = "NAME \".\" OR \"..\"";
    else if (Name.find('/') != std::string::npos || Name.find('\\') != std::string::npos)
        result.Problem = "NAME HOLDING \"/\" OR \"\\\"";
    result.Name = std::move(Name);
    return result;
}

}  // namespace

std::string StripVersionSuffix(const std::string& Name) {
    const size_t semicolon = Name.rfind(';');
    if (semicolon == std::string::npos || semicolon + 1 == Name.size()) return Name;
    for (size_t i = semicolon + 1; i < Name.size(); ++i)
        if (Name[i] < '0' || Name[i] > '9') return Name;
    return Name.substr(0, semicolon);
}

TImportName JolietName(const uint8_t* Bytes, size_t Length) {
    if (Length % 2 != 0) return {"", "JOLIET NAME OF AN ODD BYTE COUNT"};
    std::string utf8;
    for (size_t i = 0; i < Length; i += 2) {
        const char16_t unit = static_cast<char16_t>(Bytes[i] << 8 | Bytes[i + 1]);
        if (IsHighSurrogate(unit) && i + 3 < Length) {
            const char16_t low = static_cast<char16_t>(Bytes[i + 2] << 8 | Bytes[i + 3]);
            if (IsLowSurrogate(low)) {
                AppendUtf8(utf8, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(low) - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            TImportName bad = Checked(SanitizeUtf8(utf8));
            bad.Problem = "JOLIET NAME WITH AN UNPAIRED SURROGATE";
            return bad;
        }
        AppendUtf8(utf8, unit);
    }
    return Checked(StripVersionSuffix(utf8));
}

TImportName PrimaryName(const uint8_t* Bytes, size_t Length) {
    return Checked(StripVersionSuffix(std::string(reinterpret_cast<const char*>(Bytes), Length)));
}

TImportName RockRidgeName(const std::string& Name) { return Checked(Name); }

std::string PrintableName(const std::string& Name) {
    std::string out;
    for (const char c : SanitizeUtf8(Name)) {
        const auto byte = static_cast<unsigned char>(c);
        if (!IsControlCharacter(c)) out += c;
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\r') out += "\\r";
        else {
            static const char digits[] = "0123456789abcdef";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0x0F];
        }
    }
    return out;
}

}  // namespace kestrel
