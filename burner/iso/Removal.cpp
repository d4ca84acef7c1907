// Removing entries and directories, and dropping directories left empty.
#include <algorithm>
#include <unordered_set>

#include "burner/iso/Compilation.h"

namespace kestrel {

namespace {

// The entry before Entry in Dir's list, Dir's head marker (null with
// Found true) when Entry is first; Found false when Entry is not listed.
TFEntry* Predecessor(const TDEntry* Dir, const TFEntry* Entry, bool& Found) {
    TFEntry* before = nullptr;
    for (TFEntry* at = Dir->Files; at; before = at, at = at->Next) {
        if (at == Entry) {
            Found = true;
            return before;
        }
    }
    Found = false;
    return nullptr;
}

}  // namespace

bool TCompilation::RemoveFile(TDEntry* Dir, TFEntry* Entry) {
    if (!Dir || !Entry) return true;
    TRemoval removal;
    if (UnlinkFromDir(Dir, Entry)) CollectSubtree(Dir, Entry, removal);
    ReleaseRecords(removal);
    return true;
}

bool TCompilation::RemoveDir(TDEntry* Dir) {
    if (!Dir || Dir == RootDir || Dir->Path == "\\") return false;
    TDEntry* parent = Dir->Parent;
    for (TFEntry* at = parent ? parent->Files : nullptr; at; at = at->Next)
        if (at->Dir == Dir) return RemoveFile(parent, at);
    // Not listed in its parent (never linked): release it and its entries.
    TRemoval removal;
    for (TFEntry* at = Dir->Files; at; at = at->Next) CollectSubtree(Dir, at, removal);
    removal.Dirs.push_back(Dir);
    ReleaseRecords(removal);
    return true;
}

bool TCompilation::RemoveByPath(const std::string& DirPath, const std::string& Name) {
    TDEntry* dir = FindDirEntry(DirPath);
    TFEntry* entry = dir ? FindFileEntry(dir, Name) : nullptr;
    if (!entry) return false;
    return RemoveFile(dir, entry);
}

bool TCompilation::RemoveEmptyDirs() {
    // A directory is dropped when nothing but directories is below it.
    // Children are created after their parents, so walking the table
    // backwards sees every child before its parent.
    std::unordered_set<const TDEntry*> holdsFiles;
    for (auto it = DirTable.rbegin(); it != DirTable.rend(); ++it) {
        for (const TFEntry* at = (*it)->Files; at; at = at->Next) {
            if (!at->Dir || holdsFiles.count(at->Dir)) {
                holdsFiles.insert(it->get());
                break;
            }
        }
    }
    TRemoval removal;
    // Cut at the top of each empty subtree: below the root or a directory
    // that stays.
    for (const auto& dir : DirTable) {
        if (dir.get() != RootDir && !holdsFiles.count(dir.get())) continue;
        for (TFEntry* at = dir->Files; at; at = at->Next) {
            if (!at->Dir || holdsFiles.count(at->Dir)) continue;
            UnlinkFromDir(dir.get(), at);
            CollectSubtree(dir.get(), at, removal);
        }
    }
    ReleaseRecords(removal);
    return true;
}

bool TCompilation::UnlinkFromDir(TDEntry* Dir, TFEntry* Entry) {
    bool found = false;
    TFEntry* before = Predecessor(Dir, Entry, found);
    if (!found) return false;
    (before ? before->Next : Dir->Files) = Entry->Next;
    if (Dir->LastFile == Entry || !Dir->Files) Dir->LastFile = before;
    return true;
}

void TCompilation::CollectSubtree(TDEntry* Dir, TFEntry* Entry, TRemoval& Removal) {
    Removal.Files.push_back({Dir, Entry});
    if (!Entry->Dir) return;
    for (TFEntry* at = Entry->Dir->Files; at; at = at->Next) CollectSubtree(Entry->Dir, at, Removal);
    Removal.Dirs.push_back(Entry->Dir);
}

void TCompilation::ReleaseRecords(const TRemoval& Removal) {
    if (Removal.Files.empty() && Removal.Dirs.empty()) return;
    std::unordered_set<const void*> gone;
    for (const auto& [dir, entry] : Removal.Files) {
        UnindexEntry(dir, entry);
        ForgetShortName(dir, entry);
        gone.insert(entry);
    }
    for (TDEntry* dir : Removal.Dirs) {
        if (dirsByPath_.count(dir->Path) && dirsByPath_[dir->Path] == dir) dirsByPath_.erase(dir->Path);
        gone.insert(dir);
    }
    const auto isGone = [&](const auto& record) { return gone.count(record.get()) != 0; };
    std::erase_if(ISODirOrder, [&](TDEntry* dir) { return gone.count(dir) != 0; });
    std::erase_if(JolietDirOrder, [&](TDEntry* dir) { return gone.count(dir) != 0; });
    std::erase_if(DirTable, isGone);
    std::erase_if(FileTable, isGone);
}

}  // namespace kestrel
