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
        const size_t maxBytes = IsFile ? MaxFileShortBytes : MaxDirShortBytes;
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
}

}  // namespace kestrel
