// Extracting into a folder: local names from disc names, and subfolders
// that never lead outside the folder the caller chose.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <unordered_map>

#include "burner/engine/Extract.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/iso/DateTime.h"
#include "burner/iso/Names.h"

namespace kestrel {

namespace {

// Makes Path a folder of its own: created when missing, refused when it is
// anything but a real directory (a symbolic link could lead elsewhere).
bool EnsureRealFolder(const std::string& Path, std::string& Error) {
    if (::mkdir(Path.c_str(), 0777) != 0 && errno != EEXIST) {
        Error = "CANNOT CREATE THE FOLDER " + Path + " (" + std::strerror(errno) + ")";
        return false;
    }
    struct stat st{};
    if (::lstat(Path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Error = Path + " IS NOT A FOLDER OF ITS OWN (A FILE OR A SYMBOLIC LINK)";
        return false;
    }
    return true;
}

// The folder takes the directory's date once its content is written.
void SetFolderTime(const std::string& Path, TDateTime Date) {
    const time_t seconds = DateTimeToUnix(Date);
    if (seconds == -1) return;
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, Path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Extracted names that more than one entry of Dir would be written under
// (a name whose control characters were replaced meeting another entry's
// name), with their counts; empty when no name of Dir holds a control
// character.
std::unordered_map<std::string, int> SharedExtractedNames(const TDEntry& Dir) {
    std::unordered_map<std::string, int> shared;
    bool altered = false;
    for (const TFEntry* e = Dir.Files; e && !altered; e = e->Next) altered = HoldsControlCharacters(e->LongName);
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

}  // namespace

std::string ExtractedName(const TFEntry& Entry) { return ReplaceControlCharacters(LocalName(Entry), kControlStandIn); }

std::string LocalName(const TFEntry& Entry) {
    const std::string& name = Entry.LongName;
    if (!Entry.Dir && name.size() > 1 && name.back() == '.' && name.find('.') == name.size() - 1)
        return name.substr(0, name.size() - 1);
    return name;
}

bool IsSafeComponent(const std::string& Name) {
    return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string::npos &&
           Name.find('\0') == std::string::npos;
}

bool ExtractInto(TKestrelBurner& Burner, const TFEntry& Entry, const std::string& Folder, bool Replace) {
    const std::string name = ExtractedName(Entry);
    if (!IsSafeComponent(name)) {
        Burner.DebugMsg(">>> SKIPPING A NAME THAT WOULD LEAVE THE FOLDER: " + PrintableName(name), mtFailure);
        return false;
    }
    if (name != LocalName(Entry)) LogReplacedName(Burner, LocalName(Entry), name);
    try {
        return Burner.ExtractFile(&Entry, Folder + "/" + name, Replace);
    } catch (const std::system_error& e) {
        Burner.DebugMsg(">>> ERROR EXTRACTING FILE " + PrintableName(Entry.LongName) + ": " + e.what(), mtFailure);
        return false;
    }
}

TExtractCount ExtractDirectory(TKestrelBurner& Burner, const TDEntry& Dir, const std::string& Folder, bool Recursive,
                               bool Replace) {
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
            ExtractInto(Burner, *entry, Folder, Replace) ? ++count.Files : ++count.Failed;
            continue;
        }
        std::string error;
        if (!IsSafeComponent(name)) {
            error = "A NAME THAT WOULD LEAVE THE FOLDER: " + PrintableName(name);
        } else if (EnsureRealFolder(Folder + "/" + name, error)) {
            if (name != LocalName(*entry)) LogReplacedName(Burner, LocalName(*entry), name);
            const TExtractCount sub = ExtractDirectory(Burner, *entry->Dir, Folder + "/" + name, true, Replace);
            count.Files += sub.Files;
            count.Failed += sub.Failed;
            SetFolderTime(Folder + "/" + name, entry->DateTime);
            continue;
        }
        Burner.DebugMsg(">>> SKIPPING DIRECTORY " + PrintableName(entry->LongName) + ": " + error, mtFailure);
        ++count.Failed;
    }
    return count;
}

}  // namespace kestrel
