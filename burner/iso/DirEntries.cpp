// Creating directories: from a search, from a bare name, and whole paths.
#include "burner/iso/Compilation.h"
#include "burner/iso/DateTime.h"
#include "burner/iso/DiscPaths.h"
#include "burner/iso/Names.h"

namespace kestrel {

TDEntry* TCompilation::MakeDirEntry(TDEntry* Parent, const TSearchData& Found) {
    if (!Parent) return nullptr;
    const std::string parentPath = Parent->Path == "\\" ? std::string() : Parent->Path;
    const std::string name = CleanName(Found.Name, parentPath + "\\" + Found.Name);
    const std::string path = parentPath + "\\" + name;
    if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string::npos) {
        LogSkip("DIRECTORY NAME HOLDING \"\\\" OR EMPTY", SanitizeUtf8(path));
        return nullptr;
    }
    if (TDEntry* existing = FindDirEntry(path)) return existing;
    if (!StoresLongName(name, name, false)) {
        if (RockRidge) LogSkip("DIRECTORY NAME LONGER THAN " + std::to_string(MaxPosixName) + " BYTES", path);
        else LogSkip("DIRECTORY NAME LONGER THAN " + std::to_string(MaxDirLongName) + " CHARACTERS", path);
        return nullptr;
    }
    if (FindFileEntry(Parent, name)) {
        LogSkip("DIRECTORY WHOSE NAME A FILE ALREADY HAS", path);
        return nullptr;
    }
    TDEntry* dir = NewDirEntry();
    if (!dir) return nullptr;
    TFEntry* entry = NewFileEntry();
    if (!entry) {
        DropNewestDir();
        return nullptr;
    }
    const std::string alt = Found.AltName.empty() ? name : SanitizeUtf8(Found.AltName);
    const std::string shortName =
        UniqueShortName(Parent, FitShortName(ShortNameText(alt), ShortNameLimit(false), false), UpperAscii(name), false);
    dir->ShortName = entry->ShortName = shortName;
    dir->LongName = entry->LongName = name;
    if (RockRidge) dir->JolietName = entry->JolietName = JolietAlias(Parent, name, false, path);
    dir->Self = entry;
    entry->Mode = Found.Mode;
    entry->AccessTime = Found.AccessTime;
    entry->ChangeTime = Found.ChangeTime;
    dir->Parent = Parent;
    dir->Level = static_cast<uint8_t>(Parent->Level + 1);
    dir->Path = DirPathKey(path);
    entry->Attr = Found.Attr | faDirectory;
    entry->Dir = dir;
    entry->DateTime = Found.Time.value_or(NowDateTime());
    AppendToDir(Parent, entry);
    IndexEntry(Parent, entry);
    dirsByPath_[dir->Path] = dir;
    return dir;
}

void TCompilation::DropNewestDir() {
    DirTable.pop_back();
    ISODirOrder.pop_back();
    JolietDirOrder.pop_back();
}

TDEntry* TCompilation::AddDirByName(TDEntry* Parent, const std::string& Name, int Attr) {
    std::string bare = Name;
    if (!bare.empty() && bare.front() == '\\') bare.erase(0, 1);
    if (!bare.empty() && bare.back() == '\\') bare.pop_back();
    TSearchData data;
    data.Name = bare;
    data.AltName = DirShortNameFromName(bare);
    data.Attr = Attr;
    data.Time = NowDateTime();
    return MakeDirEntry(Parent, data);
}

TDEntry* TCompilation::ForceDirPath(const std::string& Path) {
    TDEntry* dir = RootDir;
    size_t start = 0;
    while (dir && start < Path.size()) {
        size_t end = Path.find('\\', start);
        if (end == std::string::npos) end = Path.size();
        if (end > start) {
            const std::string part = Path.substr(start, end - start);
            const std::string childPath = (dir == RootDir ? std::string() : dir->Path) + "\\" + part;
            TDEntry* child = FindDirEntry(childPath);
            dir = child ? child : AddDirByName(dir, part, faDirectory);
        }
        start = end + 1;
    }
    return dir;
}

}  // namespace kestrel
