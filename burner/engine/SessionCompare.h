#pragma once
// Compares the files of a session on a disc with files on disk: the session
// imported into one compilation, the files filled into another by the same
// rules a burn of them follows (so each file is looked for where a burn
// would have put it). Files present in both are compared byte for byte,
// the disc's sectors read through the drive.
#include <cstdint>
#include <string>
#include <vector>

#include "burner/device/SCSICommands.h"
#include "burner/iso/Compilation.h"

namespace kestrel {

// Paths are disc paths in "/" form; a directory's ends in "/".
struct TSessionDifferences {
    std::vector<std::string> Changed;     // both hold it; size or bytes differ
    std::vector<std::string> Unreadable;  // sectors of it cannot be read from the disc
    std::vector<std::string> Missing;     // among the files, not on the disc
    std::vector<std::string> Extra;       // on the disc, not among the files
    std::vector<std::string> Errors;      // local files that could not be read, with why
    int64_t FilesCompared = 0;

    bool Same() const {
        return Changed.empty() && Unreadable.empty() && Missing.empty() && Extra.empty() && Errors.empty();
    }
};

// Disc holds the imported session (its file entries with their extents),
// Files the compilation of the files on disk. Throws std::runtime_error
// when the drive stays busy.
TSessionDifferences CompareSession(TSCSICommands& Device, const TCompilation& Disc, const TCompilation& Files);

}  // namespace kestrel
