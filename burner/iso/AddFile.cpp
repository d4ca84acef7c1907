// Storing one found file into a directory of the compilation.
#include <cmath>

#include "burner/iso/Compilation.h"
#include "burner/iso/DateTime.h"
#include "burner/iso/Names.h"

namespace kestrel {

namespace {

constexpr int64_t SectorBytes = 2048;

int64_t RoundedToSectors(int64_t Bytes) { return (Bytes + SectorBytes - 1) / SectorBytes * SectorBytes; }

}  // namespace

int TCompilation::AddFileEntry(TDEntry* Dir, const TSearchData& Found, const std::string& SourcePath,
                               int32_t FixedExtent, bool ArchiveOnly) {
    TFEntry* entry = StoreFileEntry(Dir, Found, SourcePath, ArchiveOnly);
    if (!entry) return 0;
    if (FixedExtent != 0) {
        entry->ISOExtent = entry->JolietExtent = FixedExtent;
        entry->Imported = true;
    } else {
        entry->ISOExtent = entry->JolietExtent = 0;
        entry->Imported = false;
        CompilationSize += RoundedToSectors(entry->ISOSize);
    }
    return 1;
}

TFEntry* TCompilation::AddImportedFile(TDEntry* Dir, const TSearchData& Found, std::vector<TFileExtent> Extents) {
    TFEntry* entry = StoreFileEntry(Dir, Found, "", false);
    if (!entry) return nullptr;
    entry->Imported = true;
    entry->ISOExtent = entry->JolietExtent = Extents.empty() ? 0 : static_cast<int32_t>(Extents.front().Lba);
    if (Extents.size() > 1) entry->Extents = std::move(Extents);
    // A link on the disc stays a link, whatever the scan does with local ones.
    entry->LinkTarget = Found.LinkTarget;
    if (entry->IsLink()) entry->ISOSize = entry->JolietSize = 0;
    return entry;
}

TFEntry* TCompilation::StoreFileEntry(TDEntry* Dir, const TSearchData& Found, const std::string& SourcePath,
                                      bool ArchiveOnly) {
    if (!Dir) return nullptr;
    const std::string where = SourcePath.empty() ? Found.Name : SourcePath;
    if (Found.Size < 0) {
        LogSkip("FILE OF A NEGATIVE SIZE (" + std::to_string(Found.Size) + " BYTES)", where);
        return nullptr;
    }
    std::string posixName = CleanName(Found.Name, where);
    std::string longName = (Found.Attr & faDirectory) ? posixName : StoredFileName(posixName);
    std::string shortName = Found.AltName.empty() ? longName : Found.AltName;
    TDateTime date = Found.Time.value_or(NowDateTime());
    bool skip = !StoresLongName(posixName, longName, true);
    if (OnAddFile) {
        const std::string proposed = longName;
        OnAddFile(this, SourcePath, longName, shortName, date, Found.Attr, Found.Size, skip);
        if (longName != proposed) posixName = longName = CleanName(longName, where);
        if (!std::isfinite(date)) date = NowDateTime();
    }
    if (skip) {
        // A handler that skips says why itself; a long name is ours to log.
        if (!StoresLongName(posixName, longName, true)) AcceptFileName(posixName, longName, where);
        return nullptr;
    }
    if (!AcceptFileName(posixName, longName, where)) return nullptr;

    // One look-up serves both the duplicate check and the index of a new entry.
    const auto [slot, fresh] = entriesByName_.try_emplace(TNameKey{Dir, UpperAscii(longName)}, nullptr);
    TFEntry* entry = slot->second;
    if (!fresh && entry->Dir) {
        LogSkip("FILE WHOSE NAME A DIRECTORY ALREADY HAS", where);
        return nullptr;
    }
    if (!fresh && !ReplaceFile) {
        LogSkip("FILE OF A NAME ALREADY ADDED", where);
        return nullptr;
    }
    if (!fresh) {
        if (!entry->Imported) CompilationSize -= RoundedToSectors(entry->ISOSize);
        ForgetShortName(Dir, entry);
    } else {
        entry = NewFileEntry();
        if (!entry) {
            entriesByName_.erase(slot);
            return nullptr;
        }
        slot->second = entry;
        AppendToDir(Dir, entry);
    }
    entry->ShortName = UniqueShortName(
        Dir, FitShortName(ShortNameText(SanitizeUtf8(shortName)), ShortNameLimit(true), true), slot->first.Name, true);
    entry->LongName = longName;
    entry->PosixName = posixName == longName ? std::string() : posixName;
    entry->JolietName = RockRidge ? JolietAlias(Dir, longName, true, where) : std::string();
    entry->LinkTarget = KeepsLinks() ? Found.LinkTarget : std::string();
    entry->Mode = Found.Mode;
    entry->AccessTime = Found.AccessTime;
    entry->ChangeTime = Found.ChangeTime;
    entry->ISOSize = entry->JolietSize = entry->IsLink() ? 0 : Found.Size;
    entry->Attr = Found.Attr;
    entry->DateTime = date;
    entry->SourcePath = SourcePath;
    entry->ArchiveOnly = ArchiveOnly;
    entry->Dir = nullptr;
    entry->Extents.clear();
    return entry;
}

// The limits every stored file name must meet, whatever a handler did.
bool TCompilation::AcceptFileName(const std::string& PosixName, const std::string& LongName,
                                  const std::string& Where) const {
    if (LongName.empty() || LongName.find('\\') != std::string::npos) {
        LogSkip("FILE NAME HOLDING \"\\\" OR EMPTY", Where);
        return false;
    }
    if (!StoresLongName(PosixName, LongName, true)) {
        if (RockRidge) LogSkip("FILE NAME LONGER THAN " + std::to_string(MaxPosixName) + " BYTES", Where);
        else LogSkip("FILE NAME LONGER THAN " + std::to_string(MaxFileLongName) + " CHARACTERS", Where);
        return false;
    }
    return true;
}

}  // namespace kestrel
