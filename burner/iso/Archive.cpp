// Marking the sources of a successful burn as archived.
#include <sys/stat.h>

#include "burner/iso/ArchiveMark.h"
#include "burner/iso/Compilation.h"
#include "burner/iso/DateTime.h"

namespace kestrel {

bool TCompilation::ClearArchiveBits() {
    bool unsupportedLogged = false;
    for (const auto& entry : FileTable) {
        if (entry->Dir || !(entry->Attr & faArchive) || !entry->ArchiveOnly || entry->SourcePath.empty())
            continue;
        struct stat info {};
        if (stat(entry->SourcePath.c_str(), &info) != 0) {
            DebugMsg(">>> CAN'T CLEAR THE ARCHIVE MARK OF A MISSING FILE: " + entry->SourcePath, mtFailure);
            continue;
        }
        // A file changed since it was added was not burnt as it is now: it
        // stays marked as changed.
        if (info.st_size != entry->ISOSize || UnixToDateTime(info.st_mtim.tv_sec) != entry->DateTime) {
            DebugMsg(">>> FILE CHANGED SINCE IT WAS ADDED, LEFT MARKED AS CHANGED: " + entry->SourcePath,
                     mtFailure);
            continue;
        }
        const TMarkResult result = SetArchiveMark(entry->SourcePath, info);
        if (result == TMarkResult::Unsupported && !unsupportedLogged) {
            DebugMsg(">>> ARCHIVE MARKS NEED EXTENDED ATTRIBUTES, WHICH THE FILE SYSTEM DOES NOT SUPPORT; "
                     "SUCH FILES COUNT AS CHANGED: " + entry->SourcePath, mtFailure);
            unsupportedLogged = true;
        } else if (result == TMarkResult::Failed) {
            DebugMsg(">>> CAN'T CLEAR THE ARCHIVE MARK OF " + entry->SourcePath, mtFailure);
        }
    }
    return true;
}

}  // namespace kestrel
