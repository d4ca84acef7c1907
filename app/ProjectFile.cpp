#include "app/ProjectFile.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>

#include "app/SettingsKeys.h"

namespace kestrel::app {

namespace {

// A list of a hundred thousand long paths stays far below this.
constexpr uintmax_t kLargestProject = 64 * 1024 * 1024;
constexpr char kHeader[] = "# Kestrel project: the compilation list and the options of the disc.\n";

// Backslash, carriage return, line feed and tab are written as \\ \r \n \t,
// so every value (a path may hold any of them) stays on its line.
std::string Escape(const std::string& Value) {
    std::string out;
    for (char c : Value) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& Value, int Line) {
    std::string out;
    for (size_t i = 0; i < Value.size(); ++i) {
        if (Value[i] != '\\') {
            out += Value[i];
            continue;
        }
        if (++i == Value.size()) throw TProjectError("a value ends in a lone backslash", Line);
        switch (Value[i]) {
            case '\\': out += '\\'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            default: throw TProjectError(std::string("unknown escape \\") + Value[i], Line);
        }
    }
    return out;
}

std::string BoolText(bool Value) { return Value ? "1" : "0"; }

bool ParseBool(const std::string& Key, const std::string& Value, int Line) {
    if (Value == "1") return true;
    if (Value == "0") return false;
    throw TProjectError(Key + " must be 0 or 1, not \"" + Value + "\"", Line);
}

int ParseInt(const std::string& Key, const std::string& Value, int Low, int High, int Line) {
    int number = 0;
    const auto [end, error] = std::from_chars(Value.data(), Value.data() + Value.size(), number);
    if (error != std::errc() || end != Value.data() + Value.size() || number < Low || number > High)
        throw TProjectError(Key + " must be a whole number from " + std::to_string(Low) + " to " +
                                std::to_string(High) + ", not \"" + Value + "\"",
                            Line);
    return number;
}

TSavePathState ParseSavePath(const std::string& Value, int Line) {
    const TSavePathState state = SavePathFromText(Value);
    if (SavePathName(state) == Value) return state;
    throw TProjectError("SavePath must be Checked, Grayed or Unchecked, not \"" + Value + "\"", Line);
}

void ReadOption(TProjectOptions& Options, const std::string& Key, const std::string& Value, int Line) {
    if (Key == "SavePath") Options.SavePath = ParseSavePath(Value, Line);
    else if (Key == "VolumeLabel") Options.VolumeLabel = Unescape(Value, Line);
    else if (Key == "JolietFS") Options.JolietFS = ParseBool(Key, Value, Line);
    else if (Key == "Bootable") Options.Bootable = ParseBool(Key, Value, Line);
    else if (Key == "BootImage") Options.BootImage = Unescape(Value, Line);
    else if (Key == kBootNoEmulationKey) Options.BootNoEmulation = ParseBool(Key, Value, Line);
    else if (Key == kBootLoadSizeKey) Options.BootLoadSize = ParseInt(Key, Value, 0, 65535, Line);
    else if (Key == kBootInfoTableKey) Options.BootInfoTable = ParseBool(Key, Value, Line);
    else if (Key == kUefiBootKey) Options.UefiBoot = ParseBool(Key, Value, Line);
    else if (Key == kUefiBootImageKey) Options.UefiBootImage = Unescape(Value, Line);
    else if (Key == "CloseDisc") Options.CloseDisc = ParseBool(Key, Value, Line);
    else if (Key == "ArchiveFiles") Options.ArchiveFiles = ParseBool(Key, Value, Line);
    else if (Key == "ImportSession") Options.ImportSession = ParseBool(Key, Value, Line);
    else if (Key == "SessionNo") Options.SessionNo = ParseInt(Key, Value, -128, 127, Line);
    // Keys of later versions of the same format are passed over.
}

TListEntry ReadSource(const std::string& Value, int Line) {
    if (Value.size() < 3 || (Value[0] != 'R' && Value[0] != '-') || Value[1] != ' ')
        throw TProjectError("a Source line must be \"R <path>\" or \"- <path>\"", Line);
    TListEntry entry;
    entry.Recursive = Value[0] == 'R';
    entry.Path = Unescape(Value.substr(2), Line);
    return entry;
}

}  // namespace

std::string ProjectText(const TProject& Project) {
    const TProjectOptions& o = Project.Options;
    std::ostringstream text;
    text << kHeader << "[Project]\nFormat=" << kProjectFormat << "\n\n[Options]\n";
    text << "SavePath=" << SavePathName(o.SavePath) << "\n";
    text << "VolumeLabel=" << Escape(o.VolumeLabel) << "\n";
    text << "JolietFS=" << BoolText(o.JolietFS) << "\n";
    text << "Bootable=" << BoolText(o.Bootable) << "\n";
    text << "BootImage=" << Escape(o.BootImage) << "\n";
    text << kBootNoEmulationKey << "=" << BoolText(o.BootNoEmulation) << "\n";
    text << kBootLoadSizeKey << "=" << o.BootLoadSize << "\n";
    text << kBootInfoTableKey << "=" << BoolText(o.BootInfoTable) << "\n";
    text << kUefiBootKey << "=" << BoolText(o.UefiBoot) << "\n";
    text << kUefiBootImageKey << "=" << Escape(o.UefiBootImage) << "\n";
    text << "CloseDisc=" << BoolText(o.CloseDisc) << "\n";
    text << "ArchiveFiles=" << BoolText(o.ArchiveFiles) << "\n";
    text << "ImportSession=" << BoolText(o.ImportSession) << "\n";
    text << "SessionNo=" << o.SessionNo << "\n";
    text << "\n[Sources]\n";
    for (const TListEntry& entry : Project.Entries)
        text << "Source=" << (entry.Recursive ? "R " : "- ") << Escape(entry.Path) << "\n";
    return text.str();
}

TProject ParseProject(const std::string& Text) {
    TProject project;
    std::istringstream in(Text);
    std::string line, section;
    int number = 0;
    int format = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (section.empty() && line[0] != '[')
            throw TProjectError("this is not a Kestrel project: it does not begin with [Project]", number);
        if (line[0] == '[') {
            if (line.back() != ']') throw TProjectError("a section header must end in \"]\"", number);
            section = line.substr(1, line.size() - 2);
            if (format == 0 && section != "Project")
                throw TProjectError("this is not a Kestrel project: it does not begin with [Project]", number);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) throw TProjectError("expected Key=Value", number);
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (section == "Project" && key == "Format") {
            format = ParseInt(key, value, 1, 1000000, number);
            if (format > kProjectFormat)
                throw TProjectError("this project was saved by a newer Kestrel (project format " + value +
                                        "); this version reads format " + std::to_string(kProjectFormat),
                                    number);
        } else if (format == 0) {
            throw TProjectError("this is not a Kestrel project: [Project] has no Format", number);
        } else if (section == "Options") {
            ReadOption(project.Options, key, value, number);
        } else if (section == "Sources" && key == "Source") {
            project.Entries.push_back(ReadSource(value, number));
        }
    }
    if (format == 0) throw TProjectError("this is not a Kestrel project: it has no [Project] Format line", 0);
    return project;
}

void SaveProjectFile(const std::filesystem::path& File, const TProject& Project) {
    const std::filesystem::path draft = File.string() + ".draft-" + std::to_string(getpid());
    {
        std::ofstream out(draft, std::ios::binary | std::ios::trunc);
        out << ProjectText(Project);
        out.flush();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(draft, ignored);
            throw TProjectError("cannot write " + File.string(), 0);
        }
    }
    std::error_code error;
    std::filesystem::rename(draft, File, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(draft, ignored);
        throw TProjectError("cannot write " + File.string() + ": " + error.message(), 0);
    }
}

TProject LoadProjectFile(const std::filesystem::path& File) {
    std::error_code error;
    const auto size = std::filesystem::file_size(File, error);
    if (!error && size > kLargestProject)
        throw TProjectError(File.string() + " is too large to be a Kestrel project", 0);
    std::ifstream in(File, std::ios::binary);
    if (!in) throw TProjectError("cannot open " + File.string(), 0);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw TProjectError("cannot read " + File.string(), 0);
    return ParseProject(text.str());
}

}  // namespace kestrel::app
