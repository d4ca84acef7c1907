#pragma once
// The program's own options, beside the burner's properties: loaded from the
// settings file at start and changed by the settings dialog.
#include <cstdint>

namespace kestrel::app {

struct TAppOptions {
    bool ArchiveFiles = false;   // take only changed files from folders; mark them after a burn
    bool EjectDisc = false;      // eject after a successful write or erase
    bool ShowFiles = false;      // show the disc layout before burning
    bool QuickSaveISO = false;   // build images directly instead of through the write thread
    bool ImportSession = false;  // the "Import Session" box of the settings
    int8_t SessionNo = 0;        // session to import; 0 none, -1 the last one
};

}  // namespace kestrel::app
