#pragma once
// Copying files of an imported session from the disc to local files. The
// single-file copy is TKestrelBurner::ExtractFile; this header holds what
// extracting into a folder adds: local names from disc names, kept inside
// the folder the caller chose, and symbolic links that stay inside it.
#include <string>

#include "burner/iso/Entries.h"

namespace kestrel {

class TKestrelBurner;

// The permission bits extraction gives back: read, write and execute for
// owner, group and others. Set-user-ID, set-group-ID and sticky bits of a
// disc are not restored; a disc from elsewhere should not hand them out.
inline constexpr uint32_t kRestoredPermissions = 0777;

// The local name of an entry: its POSIX name, else its long name without
// the "." the compilation appends to file names that have no extension
// ("README.").
std::string LocalName(const TFEntry& Entry);

// True when Name can be one component of a local path: not empty, not "."
// or "..", and holding neither "/" nor a NUL byte.
bool IsSafeComponent(const std::string& Name);

// True when a symbolic link Depth folders below the folder extracted into,
// pointing at Target, could lead out of that folder: an absolute target,
// more ".." than Depth, or a ".." after a name (the name may itself be a
// link, which would make the climb start elsewhere).
bool LinkLeavesFolder(const std::string& Target, int Depth);

// What stands for each control character of a disc name in the local name
// (a newline in a file name breaks most tools that list files).
inline constexpr char kControlStandIn = '_';

// The name an entry is written under locally: its local name with every
// control character replaced by kControlStandIn.
std::string ExtractedName(const TFEntry& Entry);

struct TExtractCount {
    int Files = 0;   // files and links written
    int Failed = 0;  // files, links or directories not written (each logged)
};

// Copies the files of Dir into Folder, which must exist; with Recursive
// every subdirectory becomes a folder below it, with its permissions and
// date. Nothing is written outside Folder: unsafe names and links leading
// out of it are refused, and nothing is created or entered through a
// symbolic link. Existing files are replaced only with Replace. An entry
// whose extracted name another entry of Dir would be written under too is
// left out, so that neither overwrites the other.
TExtractCount ExtractDirectory(TKestrelBurner& Burner, const TDEntry& Dir, const std::string& Folder, bool Recursive,
                               bool Replace);

// Copies one file entry into Folder under its local name.
bool ExtractInto(TKestrelBurner& Burner, const TFEntry& Entry, const std::string& Folder, bool Replace);

}  // namespace kestrel
