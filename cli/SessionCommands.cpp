// kestrel-cli sessions, ls and extract: the sessions of the disc, the tree
// of one session as the burner imports it, and copying files off the disc.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>

#include "burner/engine/Extract.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/SessionPlace.h"
#include "burner/iso/DateTime.h"
#include "burner/iso/RockRidge.h"
#include "cli/CliCommand.h"
#include "cli/CompilationArgs.h"
#include "cli/DiscState.h"
#include "cli/DriveSelection.h"
#include "cli/SessionChoice.h"

namespace kestrel::cli {

namespace {

// Table sizes of the compilation a viewed session is imported into.
constexpr int ViewMaxFiles = 600000;
constexpr int ViewMaxDirs = 20000;

std::vector<TOptionSpec> SessionOptions(std::initializer_list<TOptionSpec> More) {
    auto options = DriveOptions();
    options.insert(options.end(), More.begin(), More.end());
    return options;
}

// ---- sessions ---------------------------------------------------------------

// " Number     Start     Size" and one line per session: the number in
// three digits, the start address in blocks, the size in MB.
std::string SessionLine(int Number, const TSessionPlace& Place) {
    char line[64];
    std::snprintf(line, sizeof line, "  %03d    %8u   %4ld MB", Number, Place.Start, std::lround(Place.Blocks / 512.0));
    return line;
}

int RunSessions(const TParsedArgs& Args) {
    TSCSIDevice device;
    OpenDrive(device, Args);
    RequireReadyDrive(device);
    const int sessions = SessionCount(device);
    std::cout << " Number     Start     Size\n";
    // The drive reports one session over a formatted overwritable disc,
    // written or not.
    if (device.HoldsNoFileSystem()) {
        std::cout << kNoFileSystemText << " (the drive reports " << sessions << " session(s) over the formatted area)\n";
        return 0;
    }
    const auto unfinished = device.FindUnfinishedSession();
    int unreadable = 0;
    for (int number = 1; number <= sessions; ++number) {
        auto place = LocateSession(device, static_cast<uint16_t>(number));
        if (!place) {
            ++unreadable;
            continue;
        }
        // An open track reports the free space behind it as its size.
        const bool open = unfinished && unfinished->Session == number;
        if (open) place->Blocks = unfinished->RecordedBlocks;
        std::cout << SessionLine(number, *place) << (open ? "  unfinished" : "") << "\n";
    }
    if (unfinished) std::cout << UnfinishedSessionText(*unfinished) << "; " << CloseUnfinishedHint() << "\n";
    if (unreadable) return Fail(std::to_string(unreadable) + " session(s) could not be located on the disc");
    return 0;
}

// ---- importing a session ------------------------------------------------------

struct TImported {
    int Session = 0;
    bool Complete = false;
};

// Imports the session the options name into an emptied compilation.
TImported ImportSession(TKestrelBurner& Burner, const TParsedArgs& Args) {
    const int asked = ParseSessionNumber("--session", Args.Value("--session", "last"));
    RequireReadyDrive(Burner);
    if (Burner.HoldsNoFileSystem()) throw std::runtime_error(std::string(kNoFileSystemText) + ": the disc is empty");
    const int number = ChosenSession(Burner, asked);
    Burner.ClearAll(ViewMaxFiles, ViewMaxDirs);
    TImported imported{number, Burner.ImportDiscSession(number, nullptr)};
    if (!imported.Complete && Burner.FilesCount() == 0)
        throw std::runtime_error("session " + std::to_string(number) + " could not be read (see the log above)");
    return imported;
}

int IncompleteFailure(const TImported& Imported) {
    return Fail("session " + std::to_string(Imported.Session) +
                " was read only in part: the log above says what was left out");
}

// ---- ls -----------------------------------------------------------------------

std::string DateText(TDateTime Value, char Separator) {
    const TDateParts p = DecodeDateTime(Value);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", p.Year, p.Month, p.Day, Separator, p.Hour,
                  p.Minute, p.Second);
    return text;
}

std::string JsonText(const std::string& Text) {
    std::string out = "\"";
    for (unsigned char c : Text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

// Visits every entry below Dir, depth first in the directory's order, with
// its "/" path (control characters of names escaped when Escaped).
void WalkTree(const TDEntry& Dir, const std::string& Path, bool Escaped,
              const std::function<void(const TFEntry&, const std::string&)>& Visit) {
    for (const TFEntry* entry = Dir.Files; entry; entry = entry->Next) {
        const std::string name = LocalName(*entry);
        const std::string path = Path + "/" + (Escaped ? PrintableName(name) : name);
        Visit(*entry, path);
        if (entry->Dir) WalkTree(*entry->Dir, path, Escaped, Visit);
    }
}

// The mode as "ls -l" shows it: the entry's type, then its permissions as
// a new session would write them (defaults for discs without Rock Ridge).
std::string ModeText(const TFEntry& Entry) {
    const uint32_t mode = iso::RockRidgeMode(&Entry, Entry.Dir != nullptr);
    std::string text(1, Entry.IsLink() ? 'l' : Entry.Dir ? 'd' : '-');
    static const char letters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) text += (mode & (0400u >> bit)) ? letters[bit] : '-';
    const auto special = [&](size_t At, uint32_t Bit, char Set) {
        if (mode & Bit) text[At] = text[At] == '-' ? char(std::toupper(Set)) : Set;
    };
    special(3, S_ISUID, 's');
    special(6, S_ISGID, 's');
    special(9, S_ISVTX, 't');
    return text;
}

std::string TypeName(const TFEntry& Entry) { return Entry.Dir ? "dir" : Entry.IsLink() ? "link" : "file"; }

// One line per entry: mode, size, date, first sector, path; a link's
// target after " -> ".
void PrintTreeText(const TKestrelBurner& Burner) {
    WalkTree(*Burner.RootDir, "", true, [](const TFEntry& Entry, const std::string& Path) {
        const bool data = !Entry.Dir && !Entry.IsLink();
        char line[128];
        std::snprintf(line, sizeof line, "%s  %12s  %s  %10s  ", ModeText(Entry).c_str(),
                      Entry.Dir ? "-" : std::to_string(Entry.ISOSize).c_str(), DateText(Entry.DateTime, ' ').c_str(),
                      data ? std::to_string(Entry.ISOExtent).c_str() : "-");
        std::cout << line << Path << (Entry.Dir ? "/" : "");
        if (Entry.IsLink()) std::cout << " -> " << PrintableName(Entry.LinkTarget);
        std::cout << "\n";
    });
}

void PrintTreeJson(const TKestrelBurner& Burner, const TImported& Imported) {
    std::ostringstream out;
    out << "{\"session\":" << Imported.Session << ",\"complete\":" << (Imported.Complete ? "true" : "false")
        << ",\"entries\":[";
    bool first = true;
    WalkTree(*Burner.RootDir, "", false, [&](const TFEntry& Entry, const std::string& Path) {
        out << (first ? "" : ",") << "{\"path\":" << JsonText(Path) << ",\"type\":\"" << TypeName(Entry)
            << "\",\"mode\":\"" << ModeText(Entry) << "\",\"date\":\"" << DateText(Entry.DateTime, 'T') << "\"";
        if (Entry.IsLink()) out << ",\"target\":" << JsonText(Entry.LinkTarget);
        else if (!Entry.Dir) out << ",\"size\":" << Entry.ISOSize << ",\"extent\":" << Entry.ISOExtent;
        out << "}";
        first = false;
    });
    out << "]}";
    std::cout << out.str() << "\n";
}

int RunLs(const TParsedArgs& Args) {
    if (!Args.Positional().empty()) throw TUsageError("ls takes no arguments");
    TKestrelBurner burner;
    OpenDrive(burner, Args);
    const TImported imported = ImportSession(burner, Args);
    if (Args.Has("--json")) PrintTreeJson(burner, imported);
    else PrintTreeText(burner);
    return imported.Complete ? 0 : IncompleteFailure(imported);
}

// ---- extract ------------------------------------------------------------------

// The entry of a disc path ("/DOCS/a.txt" or "\DOCS\a.txt"); the root is
// returned as Dir with a null entry. Names match exactly or as "ls" shows
// them (control characters escaped), else without regard to the case of
// ASCII letters.
struct TFound {
    const TFEntry* Entry = nullptr;
    const TDEntry* Dir = nullptr;
};

std::optional<TFound> FindSlashPath(TKestrelBurner& Burner, const std::string& Path) {
    TFound found{nullptr, Burner.RootDir};
    std::istringstream parts(Path);
    std::string part;
    while (std::getline(parts, part, '/')) {
        if (part.empty()) continue;
        if (!found.Dir) return std::nullopt;
        const TFEntry* match = nullptr;
        for (const TFEntry* e = found.Dir->Files; e && !match; e = e->Next)
            if (LocalName(*e) == part || e->LongName == part || PrintableName(LocalName(*e)) == part) match = e;
        if (!match) match = Burner.FindFileEntry(found.Dir, part);
        if (!match && part.find('.') == std::string::npos) match = Burner.FindFileEntry(found.Dir, part + ".");
        if (!match) return std::nullopt;
        found = {match, match->Dir};
    }
    return found;
}

// A "\" is a separator unless the path names an entry with it as written:
// "ls" shows a newline of a name as "\n".
std::optional<TFound> FindDiscPath(TKestrelBurner& Burner, const std::string& Path) {
    if (auto found = FindSlashPath(Burner, Path)) return found;
    if (Path.find('\\') == std::string::npos) return std::nullopt;
    std::string slashes = Path;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    return FindSlashPath(Burner, slashes);
}

int RunExtract(const TParsedArgs& Args) {
    if (Args.Positional().empty()) throw TUsageError("no DISC-PATH given");
    const auto dest = Args.Optional("--output");
    if (!dest || dest->empty()) throw TUsageError("give the destination folder with -o DEST");
    std::error_code ec;
    std::filesystem::create_directories(*dest, ec);
    if (!std::filesystem::is_directory(*dest)) return Fail("\"" + *dest + "\" is not a folder that can be written");

    TKestrelBurner burner;
    OpenDrive(burner, Args);
    const TImported imported = ImportSession(burner, Args);
    const bool recursive = Args.Has("--recursive"), replace = Args.Has("--force");
    TExtractCount count;
    int missing = 0;
    for (const auto& path : Args.Positional()) {
        const auto found = FindDiscPath(burner, path);
        if (!found) {
            std::cerr << "kestrel-cli: \"" << PrintableName(path) << "\" is not in session " << imported.Session << "\n";
            ++missing;
        } else if (found->Dir) {
            const TExtractCount sub = ExtractDirectory(burner, *found->Dir, *dest, recursive, replace);
            count.Files += sub.Files;
            count.Failed += sub.Failed;
        } else {
            ExtractInto(burner, *found->Entry, *dest, replace) ? ++count.Files : ++count.Failed;
        }
    }
    std::cout << count.Files << " file(s) extracted to " << *dest << "\n";
    if (count.Failed || missing)
        return Fail(std::to_string(count.Failed + missing) + " item(s) could not be extracted (see the log above)" +
                    (replace ? "" : "; existing files are replaced only with --force"));
    return imported.Complete ? 0 : IncompleteFailure(imported);
}

const TCliRegistration sessionsCommand({"sessions", "sessions [--drive N] [--device-layer L]",
                                        "Lists the disc's sessions: number, start block and size.",
                                        DriveOptions(), RunSessions});

const TCliRegistration lsCommand({"ls", "ls [--drive N] [--session N|last] [--json]",
                                  "Lists the tree of a session on the disc as \"ls -l\" does: modes, sizes, dates, first sectors and "
                                  "link targets.",
                                  SessionOptions({{"--session", true, ""}, {"--json", false, ""}}), RunLs});

const TCliRegistration extractCommand(
    {"extract", "extract [--drive N] [--session N|last] DISC-PATH... -o DEST [-r] [--force]",
     "Copies files of a session (a directory's files; its whole tree with -r) into DEST; existing files are "
     "replaced only with --force.",
     SessionOptions({{"--session", true, ""}, {"--output", true, "-o"}, {"--recursive", false, "-r"},
                     {"--force", false, ""}}),
     RunExtract});

}  // namespace
}  // namespace kestrel::cli
