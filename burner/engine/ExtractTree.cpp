// Extracting into a folder: local names from disc names, and subfolders
// that never lead outside the folder the caller chose.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <unordered_map>

#include "burner/engine/Extract.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/LocalFolder.h"
#include "burner/iso/DateTime.h"
#include "burner/iso/Names.h"

namespace kestrel {

namespace {

// A folder takes its directory's permissions and date once its content is
// written.
void FinishFolder(const TLocalFolder& Folder, const TFEntry& Entry) {
    if (Entry.Mode) ::fchmod(Folder.Fd(), static_cast<mode_t>(Entry.Mode & kRestoredPermissions));
    const time_t seconds = DateTimeToUnix(Entry.DateTime);
    if (seconds == -1) return;
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::futimens(Folder.Fd(), times);
}

// Extracted names that more than one entry of Dir would be written under
// (a name whose control characters were replaced meeting another entry's
// name), with their counts; empty when no name of Dir holds a control
// character.
std::unordered_map<std::string, int> SharedExtractedNames(const TDEntry& Dir) {
    std::unordered_map<std::string, int> shared;
    bool altered = false;
    for (const TFEntry* e = Dir.Files; e && !altered; e = e->Next) altered = HoldsControlCharacters(LocalName(*e));
    if (!altered) return shared;
    for (const TFEntry* e = Dir.Files; e; e = e->Next) ++shared[ExtractedName(*e)];
    std::erase_if(shared, [](const auto& Name) { return Name.second < 2; });
    return shared;
}

// Logs that Name is written locally as Local.
void LogReplacedName(TKestrelBurner& Burner, const std::string& Name, const std::string& Local) {
    Burner.DebugMsg(">>> " + PrintableName(Name) + " IS WRITTEN AS " + Local + " (EACH CONTROL CHARACTER OF ITS NAME "
                        "REPLACED BY \"" + std::string(1, kControlStandIn) + "\")",
                    mtFailure);
}

bool ExtractEntry(TKestrelBurner& Burner, const TFEntry& Entry, const TLocalFolder& Folder, bool Replace, int Depth) {
    const std::string name = ExtractedName(Entry);
    if (!IsSafeComponent(name)) {
        Burner.DebugMsg(">>> SKIPPING A NAME THAT WOULD LEAVE THE FOLDER: " + PrintableName(name), mtFailure);
        return false;
    }
    if (name != LocalName(Entry)) LogReplacedName(Burner, LocalName(Entry), name);
    try {
        return Burner.ExtractFile(&Entry, Folder, name, Replace, Depth);
    } catch (const std::system_error& e) {
        Burner.DebugMsg(">>> ERROR EXTRACTING FILE " + PrintableName(LocalName(Entry)) + ": " + e.what(), mtFailure);
        return false;
    }
}

TExtractCount ExtractTree(TKestrelBurner& Burner, const TDEntry& Dir, const TLocalFolder& Folder, bool Recursive,
                          bool Replace, int Depth) {
    TExtractCount count;
    const auto shared = SharedExtractedNames(Dir);
    for (const TFEntry* entry = Dir.Files; entry; entry = entry->Next) {
        if (entry->Dir && !Recursive) continue;
        const std::string name = ExtractedName(*entry);
        if (name != LocalName(*entry) && shared.count(name)) {
            Burner.DebugMsg(">>> SKIPPING " + PrintableName(LocalName(*entry)) + ": ANOTHER ENTRY OF ITS DIRECTORY IS "
                                "WRITTEN AS " + name + " TOO (CONTROL CHARACTERS REPLACED BY \"" +
                                std::string(1, kControlStandIn) + "\")",
                            mtFailure);
            ++count.Failed;
            continue;
        }
        if (!entry->Dir) {
            ExtractEntry(Burner, *entry, Folder, Replace, Depth) ? ++count.Files : ++count.Failed;
            continue;
        }
        std::string error;
        if (!IsSafeComponent(name)) {
            error = "A NAME THAT WOULD LEAVE THE FOLDER: " + PrintableName(name);
        } else if (const auto sub = Folder.Subfolder(name, error)) {
            if (name != LocalName(*entry)) LogReplacedName(Burner, LocalName(*entry), name);
            const TExtractCount inner = ExtractTree(Burner, *entry->Dir, *sub, true, Replace, Depth + 1);
            count.Files += inner.Files;
            count.Failed += inner.Failed;
            FinishFolder(*sub, *entry);
            continue;
        }
        Burner.DebugMsg(">>> SKIPPING DIRECTORY " + PrintableName(LocalName(*entry)) + ": " + error, mtFailure);
        ++count.Failed;
    }
    return count;
}

// Opens the folder extracted into; logs why when it cannot be opened.
std::optional<TLocalFolder> OpenTarget(TKestrelBurner& Burner, const std::string& Folder) {
    auto folder = TLocalFolder::Open(Folder);
    if (!folder)
        Burner.DebugMsg(">>> ERROR EXTRACTING INTO " + PrintableName(Folder) + ": CANNOT OPEN THE FOLDER (" +
                            std::strerror(errno) + ")",
                        mtFailure);
    return folder;
}

}  // namespace

std::string ExtractedName(const TFEntry& Entry) { return ReplaceControlCharacters(LocalName(Entry), kControlStandIn); }

std::string LocalName(const TFEntry& Entry) {
    if (!Entry.PosixName.empty()) return Entry.PosixName;
    const std::string& name = Entry.LongName;
    if (!Entry.Dir && name.size() > 1 && name.back() == '.' && name.find('.') == name.size() - 1)
        return name.substr(0, name.size() - 1);
    return name;
}

bool IsSafeComponent(const std::string& Name) {
    return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string::npos &&
           Name.find('\0') == std::string::npos;
}

bool LinkLeavesFolder(const std::string& Target, int Depth) {
    if (Target.empty() || Target.front() == '/') return true;
    bool named = false;
    for (size_t at = 0; at <= Target.size();) {
        size_t end = Target.find('/', at);
        if (end == std::string::npos) end = Target.size();
        const std::string part = Target.substr(at, end - at);
        if (part == "..") {
            if (named || --Depth < 0) return true;
        } else if (!part.empty() && part != ".") {
            named = true;
        }
        at = end + 1;
    }
    return false;
}

bool ExtractInto(TKestrelBurner& Burner, const TFEntry& Entry, const std::string& Folder, bool Replace) {
    const auto folder = OpenTarget(Burner, Folder);
    return folder && ExtractEntry(Burner, Entry, *folder, Replace, 0);
}

TExtractCount ExtractDirectory(TKestrelBurner& Burner, const TDEntry& Dir, const std::string& Folder, bool Recursive,
                               bool Replace) {
    const auto folder = OpenTarget(Burner, Folder);
    if (!folder) return {0, 1};
    return ExtractTree(Burner, Dir, *folder, Recursive, Replace, 0);
}

}  // namespace kestrel
