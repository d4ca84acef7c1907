#include "app/KestrelIni.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <vector>

namespace kestrel::app {

namespace {

std::string Trim(const std::string& Text) {
    const auto first = Text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = Text.find_last_not_of(" \t\r");
    return Text.substr(first, last - first + 1);
}

bool EqualNoCase(const std::string& A, const std::string& B) {
    if (A.size() != B.size()) return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i])))
            return false;
    return true;
}

std::vector<std::string> ReadLines(const std::filesystem::path& File) {
    std::vector<std::string> lines;
    std::ifstream in(File);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "[Name]" gives Name; any other line gives nothing.
std::optional<std::string> SectionName(const std::string& Line) {
    const std::string t = Trim(Line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
    return Trim(t.substr(1, t.size() - 2));
}

struct TKeyLine {
    std::string Key;
    std::string Value;
};

std::optional<TKeyLine> KeyLine(const std::string& Line) {
    const auto eq = Line.find('=');
    if (eq == std::string::npos) return std::nullopt;
    const std::string t = Trim(Line);
    if (t.empty() || t.front() == ';' || t.front() == '#') return std::nullopt;
    return TKeyLine{Trim(Line.substr(0, eq)), Trim(Line.substr(eq + 1))};
}

std::optional<std::string> FindValue(const std::vector<std::string>& Lines, const std::string& Section,
                                     const std::string& Key) {
    bool inSection = false;
    for (const auto& line : Lines) {
        if (auto name = SectionName(line)) {
            inSection = EqualNoCase(*name, Section);
            continue;
        }
        if (!inSection) continue;
        if (auto kv = KeyLine(line); kv && EqualNoCase(kv->Key, Key)) return kv->Value;
    }
    return std::nullopt;
}

// Replaces the key's line, or inserts it after the last line of its section,
// or appends the section with the key.
void SetValue(std::vector<std::string>& Lines, const std::string& Section, const std::string& Key,
              const std::string& Value) {
    const std::string entry = Key + "=" + Value;
    std::optional<size_t> sectionEnd;
    bool inSection = false;
    for (size_t i = 0; i < Lines.size(); ++i) {
        if (auto name = SectionName(Lines[i])) {
            inSection = EqualNoCase(*name, Section);
            if (inSection) sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        if (auto kv = KeyLine(Lines[i]); kv && EqualNoCase(kv->Key, Key)) {
            Lines[i] = entry;
            return;
        }
        if (!Trim(Lines[i]).empty()) sectionEnd = i + 1;
    }
    if (sectionEnd) {
        Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(*sectionEnd), entry);
        return;
    }
    Lines.push_back("[" + Section + "]");
    Lines.push_back(entry);
}

void WriteWhole(const std::filesystem::path& File, const std::vector<std::string>& Lines) {
    const std::string failure = "Unable to write to " + File.string();
    std::error_code ec;
    if (File.has_parent_path()) std::filesystem::create_directories(File.parent_path(), ec);
    const std::filesystem::path temp = File.string() + ".tmp-" + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::trunc);
        if (!out) throw TIniWriteError(failure);
        for (const auto& line : Lines) out << line << '\n';
        out.flush();
        if (!out) {
            std::filesystem::remove(temp, ec);
            throw TIniWriteError(failure);
        }
    }
    std::filesystem::rename(temp, File, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw TIniWriteError(failure);
    }
}

}  // namespace

std::filesystem::path TKestrelIni::DefaultPath() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".config";
    } else {
        base = std::filesystem::current_path();
    }
    return base / "kestrel" / "Kestrel.ini";
}

TKestrelIni::TKestrelIni(std::filesystem::path File) : file_(std::move(File)) {}

std::string TKestrelIni::ReadString(const std::string& Section, const std::string& Key,
                                    const std::string& Default) const {
    return FindValue(ReadLines(file_), Section, Key).value_or(Default);
}

long long TKestrelIni::ReadInteger(const std::string& Section, const std::string& Key, long long Default) const {
    const auto value = FindValue(ReadLines(file_), Section, Key);
    if (!value || value->empty()) return Default;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(value->c_str(), &end, 10);
    if (errno != 0 || end == value->c_str() || *end != '\0') return Default;
    return number;
}

bool TKestrelIni::ReadBool(const std::string& Section, const std::string& Key, bool Default) const {
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void TKestrelIni::WriteString(const std::string& Section, const std::string& Key, const std::string& Value) {
    auto lines = ReadLines(file_);
    SetValue(lines, Section, Key, Value);
    WriteWhole(file_, lines);
}

void TKestrelIni::WriteInteger(const std::string& Section, const std::string& Key, long long Value) {
    WriteString(Section, Key, std::to_string(Value));
}

void TKestrelIni::WriteBool(const std::string& Section, const std::string& Key, bool Value) {
    WriteString(Section, Key, Value ? "1" : "0");
}

}  // namespace kestrel::app
