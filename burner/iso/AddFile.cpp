// Storing one found file into a directory of the compilation.
#include <cmath>

#include "burner/iso/Compilation.h"
#include "burner/iso/DateTime.h"
#include "burner/iso/Names.h"

namespace kestrel {

namespace {

constexpr int64_t SectorBytes = 2048;
constexpr int64_t FourGiB = int64_t{1} << 32;

int64_t RoundedToSectors(int64_t Bytes) { return (Bytes + SectorBytes - 1) / SectorBytes * SectorBytes; }

}  // namespace

int TCompilation::AddFileEntry(TDEntry* Dir, const TSearchData& Found, const std::string& SourcePath,
                               int32_t FixedExtent, bool ArchiveOnly) {
    if (!Dir) return 0;
    const std::string where = SourcePath.empty() ? Found.Name : SourcePath;
    if (Found.Size < 0 || Found.Size >= FourGiB) {
        LogSkip("FILE OF 4 GB OR MORE (" + std::to_string(Found.Size) + " BYTES)", where);
        return 0;
    }
    std::string longName = CleanName(Found.Name, where);
    if (!(Found.Attr & faDirectory)) longName = StoredFileName(longName);
    std::string shortName = Found.AltName.empty() ? longName : Found.AltName;
    TDateTime date = Found.Time.value_or(NowDateTime());
    bool skip = !LongNameFits(longName, false);
    if (OnAddFile) {
        const std::string proposed = longName;
        OnAddFile(this, SourcePath, longName, shortName, date, Found.Attr, Found.Size, skip);
        if (longName != proposed) longName = CleanName(longName, where);
        if (!std::isfinite(date)) date = NowDateTime();
    }
    if (skip) {
        // A handler that skips says why itself; a long name is ours to log.
        if (!LongNameFits(longName, false)) AcceptFileName(longName, where);
        return 0;
    }
    if (!AcceptFileName(longName, where)) return 0;

    // One look-up serves both the duplicate check and the index of a new entry.
    const auto [slot, fresh] = entriesByName_.try_emplace(TNameKey{Dir, UpperAscii(longName)}, nullptr);
    TFEntry* entry = slot->second;
    if (!fresh && entry->Dir) {
        LogSkip("FILE WHOSE NAME A DIRECTORY ALREADY HAS", where);
        return 0;
    }
    if (!fresh && !ReplaceFile) {
        LogSkip("FILE OF A NAME ALREADY ADDED", where);
        return 0;
    }
    if (!fresh) {
        if (!entry->Imported) CompilationSize -= RoundedToSectors(entry->ISOSize);
        ForgetShortName(Dir, entry);
    } else {
        entry = NewFileEntry();
        if (!entry) {
            entriesByName_.erase(slot);
            return 0;
        }
        slot->second = entry;
        AppendToDir(Dir, entry);
    }
    entry->ShortName = UniqueShortName(
        Dir, FitShortName(ShortNameText(SanitizeUtf8(shortName)), MaxFileShortBytes, true), slot->first.Name, true);
    entry->LongName = longName;
    entry->ISOSize = entry->JolietSize = Found.Size;
    entry->Attr = Found.Attr;
    entry->DateTime = date;
    entry->SourcePath = SourcePath;
    entry->ArchiveOnly = ArchiveOnly;
    entry->Dir = nullptr;
    if (FixedExtent != 0) {
        entry->ISOExtent = entry->JolietExtent = FixedExtent;
        entry->Imported = true;
    } else {
        entry->ISOExtent = entry->JolietExtent = 0;
        entry->Imported = false;
        CompilationSize += RoundedToSectors(Found.Size);
    }
    return 1;
}

// The limits every stored file name must meet, whatever a handler did.
bool TCompilation::AcceptFileName(const std::string& LongName, const std::string& Where) const {
    if (LongName.empty() || LongName.find('\\') != std::string::npos) {
        LogSkip("FILE NAME HOLDING \"\\\" OR EMPTY", Where);
        return false;
    }
    if (!LongNameFits(LongName, false)) {
        LogSkip("FILE NAME LONGER THAN " + std::to_string(MaxFileLongName) + " CHARACTERS", Where);
        return false;
    }
    return true;
}

}  // namespace kestrel
