// Look-ups of directories by path and of entries by name, and the upkeep of
// the indexes behind them.
#include "burner/iso/Compilation.h"
#include "burner/iso/DiscPaths.h"
#include "burner/iso/Names.h"

namespace kestrel {

TDEntry* TCompilation::FindDirEntry(const std::string& Path) const {
    const std::string key = DirPathKey(Path);
    if (key == "\\") return RootDir;
    const auto found = dirsByPath_.find(key);
    return found == dirsByPath_.end() ? nullptr : found->second;
}

TFEntry* TCompilation::FindFileEntry(const TDEntry* Dir, const std::string& Name) const {
    const auto found = entriesByName_.find(TNameKey{Dir, UpperAscii(Name)});
    return found == entriesByName_.end() ? nullptr : found->second;
}

void TCompilation::AppendToDir(TDEntry* Dir, TFEntry* Entry) {
    Entry->Next = nullptr;
    if (!Dir->Files) {
        Dir->Files = Entry;
    } else {
        TFEntry* last = Dir->LastFile ? Dir->LastFile : Dir->Files;
        while (last->Next) last = last->Next;
        last->Next = Entry;
    }
    Dir->LastFile = Entry;
}

void TCompilation::IndexEntry(TDEntry* Dir, TFEntry* Entry) {
    entriesByName_[TNameKey{Dir, UpperAscii(Entry->LongName)}] = Entry;
}

void TCompilation::UnindexEntry(TDEntry* Dir, TFEntry* Entry) {
    const auto found = entriesByName_.find(TNameKey{Dir, UpperAscii(Entry->LongName)});
    if (found != entriesByName_.end() && found->second == Entry) entriesByName_.erase(found);
}

std::string TCompilation::CleanName(const std::string& Name, const std::string& Where) const {
    if (IsValidUtf8(Name)) return Name;
    const std::string clean = SanitizeUtf8(Name);
    DebugMsg(">>> NAME IS NOT VALID UTF-8, BAD BYTES REPLACED: " + SanitizeUtf8(Where), mtFailure);
    return clean;
}

}  // namespace kestrel
