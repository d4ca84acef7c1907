// ISO 9660 names must differ within a directory: a reader without Joliet
// would otherwise show two entries under one name, and extracting them
// would overwrite one with the other. Short names equal to the upper-cased
// long name are unique already (long names are); names that were cut or
// given by a handler are checked and, on a clash, numbered "~1", "~2", ...
#include <unordered_set>

#include "burner/iso/Compilation.h"
#include "burner/iso/Names.h"

namespace kestrel {

bool TCompilation::ShortNameTaken(const TDEntry* Dir, const std::string& Short, const std::string& OwnKey) const {
    if (!alteredShortNames_.empty() && alteredShortNames_.count(TNameKey{Dir, Short})) return true;
    return Short != OwnKey && entriesByName_.count(TNameKey{Dir, Short}) != 0;
}

std::string TCompilation::UniqueShortName(const TDEntry* Dir, const std::string& Short, const std::string& OwnKey,
                                          bool IsFile) {
    std::string unique = Short;
    if (ShortNameTaken(Dir, unique, OwnKey)) {
        const size_t maxBytes = ShortNameLimit(IsFile);
        const size_t dot = IsFile ? Short.rfind('.') : std::string::npos;
        const std::string ext = dot == std::string::npos ? "" : Short.substr(dot);
        const std::string base = Short.substr(0, Short.size() - ext.size());
        for (int number = 1; ShortNameTaken(Dir, unique, OwnKey); ++number) {
            const std::string tail = "~" + std::to_string(number) + ext;
            unique = FitShortName(base, maxBytes > tail.size() ? maxBytes - tail.size() : 0, false) + tail;
        }
    }
    if (unique != OwnKey) alteredShortNames_.insert(TNameKey{Dir, unique});
    return unique;
}

void TCompilation::ForgetShortName(const TDEntry* Dir, const TFEntry* Entry) {
    if (!alteredShortNames_.empty()) alteredShortNames_.erase(TNameKey{Dir, Entry->ShortName});
    if (!Entry->JolietName.empty()) jolietAliases_.erase(TNameKey{Dir, UpperAscii(Entry->JolietName)});
}

size_t TCompilation::ShortNameLimit(bool IsFile) const {
    if (RockRidge) return IsFile ? MaxRockFileShortBytes : MaxRockDirShortBytes;
    return IsFile ? MaxFileShortBytes : MaxDirShortBytes;
}

bool TCompilation::StoresLongName(const std::string& PosixName, const std::string& LongName, bool IsFile) const {
    if (RockRidge) return PosixName.size() <= MaxPosixName;
    return LongNameFits(LongName, !IsFile);
}

// Joliet readers compare names without regard to case, so an alias must
// differ from every long name and every other alias of the directory.
std::string TCompilation::JolietAlias(const TDEntry* Dir, const std::string& LongName, bool IsFile,
                                      const std::string& Where) {
    const size_t maxUnits = IsFile ? MaxFileLongName : MaxDirLongName;
    if (Utf16Length(LongName) <= maxUnits) return "";
    const auto taken = [&](const std::string& Name) {
        const TNameKey key{Dir, UpperAscii(Name)};
        return jolietAliases_.count(key) != 0 || entriesByName_.count(key) != 0;
    };
    std::string alias = FitUtf16Units(LongName, maxUnits, IsFile);
    const size_t dot = IsFile ? alias.rfind('.') : std::string::npos;
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : alias.substr(dot);
    for (int number = 1; taken(alias); ++number) {
        const std::string tail = "~" + std::to_string(number) + ext;
        alias = FitUtf16Units(LongName.substr(0, LongName.size() - ext.size()), maxUnits - Utf16Length(tail), false) +
                tail;
    }
    jolietAliases_.insert(TNameKey{Dir, UpperAscii(alias)});
    DebugMsg(">>> NAME TOO LONG FOR JOLIET, STORED WITH ROCK RIDGE AND THE JOLIET NAME \"" + alias + "\": " + Where,
             mtFailure);
    return alias;
}

}  // namespace kestrel
