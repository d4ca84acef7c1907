#include "cli/CompilationArgs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "burner/common/FileKind.h"
#include "burner/iso/DiscPaths.h"
#include "burner/iso/SourceProbe.h"

#include "cli/BootArgs.h"

namespace kestrel::cli {

namespace {

// The compilation limits the desktop program fills with.
constexpr int ListMaxFiles = 600000;
constexpr int ListMaxDirs = 20000;

// Why the item at Path cannot be stored; empty when it can be read.
// KeepsLinks: a symbolic link is stored as a link, whatever it points to.
std::string Unstorable(const std::string& Path, const TSourceItem& Item, bool KeepsLinks) {
    if (KeepsLinks && Item.IsLink && Item.Kind != TSourceKind::Directory) return {};
    switch (Item.Kind) {
        case TSourceKind::File: return {};
        case TSourceKind::Missing: return "the source \"" + Path + "\" does not exist";
        case TSourceKind::BrokenLink: return "the source \"" + Path + "\" is a broken symbolic link";
        case TSourceKind::Special:
            return "the source \"" + Path + "\" cannot be stored: IT IS " + FileKindName(Item.Info.st_mode);
        case TSourceKind::Unreadable:
            return "the source \"" + Path + "\" cannot be read: " + std::strerror(Item.Error);
        case TSourceKind::Directory: break;
    }
    // A directory that cannot be listed would add nothing.
    DIR* listing = ::opendir(Path.c_str());
    if (!listing) return "the source \"" + Path + "\" cannot be read: " + std::strerror(errno);
    ::closedir(listing);
    return {};
}

// A SOURCE that goes into the compilation as one entry: a file, or a link
// kept as a link.
bool IsFileSource(const TSourceItem& Item, bool KeepsLinks) {
    return Item.Kind == TSourceKind::File || (KeepsLinks && Item.IsLink && Item.Kind != TSourceKind::Directory);
}

// Why the compilation left Path out, from its record of skipped items.
std::string SkipReasonOf(const TCompilation& Compilation, const std::string& Path, const std::string& Absolute) {
    const auto& skipped = Compilation.SkippedItems();
    for (auto item = skipped.rbegin(); item != skipped.rend(); ++item)
        if (item->Path == Path || item->Path == Absolute) return item->Reason;
    return "IT WAS NOT ADDED";
}

}  // namespace

TSavePathState ParseSavePath(const std::string& Text) {
    if (Text == "unchecked") return TSavePathState::Unchecked;
    if (Text == "checked") return TSavePathState::Checked;
    if (Text == "grayed") return TSavePathState::Grayed;
    throw TUsageError("--save-path takes unchecked, checked or grayed, not \"" + Text + "\"");
}

int ParseSessionNumber(const std::string& Option, const std::string& Text) {
    if (Text == "last") return -1;
    char* end = nullptr;
    const long value = std::strtol(Text.c_str(), &end, 10);
    if (Text.empty() || *end || value < 1 || value > 127)
        throw TUsageError(Option + " takes a session number (1..127) or \"last\", not \"" + Text + "\"");
    return static_cast<int>(value);
}

std::string StartCompilation(TKestrelBurner& Burner, const TParsedArgs& Args) {
    Burner.ClearAll(ListMaxFiles, ListMaxDirs);
    Burner.JolietFileSystem = !Args.Has("--no-joliet");
    Burner.RockRidge = !Args.Has("--no-rock-ridge");
    Burner.FollowLinks = Args.Has("--follow-links");
    Burner.IdVolume = Args.Value("--volume-id");
    return ApplyBootOptions(Burner, Args);
}

std::vector<TListEntry> SourceEntries(const TParsedArgs& Args) {
    std::vector<TListEntry> entries;
    for (const auto& source : Args.Positional()) {
        TListEntry entry = MakeListEntry(source);
        if (Args.Has("--non-recursive")) entry.Recursive = false;
        entries.push_back(entry);
    }
    return entries;
}

std::string CheckSourceArgs(const TCompilation& Compilation, const TParsedArgs& Args) {
    for (const auto& source : Args.Positional())
        if (std::string why = Unstorable(source, ProbeSource(source), Compilation.KeepsLinks()); !why.empty())
            return why;
    return {};
}

std::string CheckSourcesStored(const TCompilation& Compilation, const TParsedArgs& Args) {
    std::unordered_set<std::string> stored;
    bool collected = false;
    for (const auto& source : Args.Positional()) {
        if (!IsFileSource(ProbeSource(source), Compilation.KeepsLinks())) continue;
        if (!collected)
            for (const auto& entry : Compilation.FileTable)
                if (!entry->Dir && !entry->Imported) stored.insert(entry->SourcePath);
        collected = true;
        const std::string absolute = AbsoluteSourcePath(source);
        if (!stored.count(absolute))
            return "the source \"" + source + "\" cannot be stored: " + SkipReasonOf(Compilation, source, absolute);
    }
    if (Compilation.IsEmpty()) return "nothing to write: no file or folder of the sources went into the compilation";
    return {};
}

}  // namespace kestrel::cli
