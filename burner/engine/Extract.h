#pragma once
// Copying files of an imported session from the disc to local files. The
// single-file copy is TKestrelBurner::ExtractFile; this header holds what
// extracting into a folder adds: local names from disc names, kept inside
// the folder the caller chose.
#include <string>

#include "burner/iso/Entries.h"

namespace kestrel {

class TKestrelBurner;

// The local name of an entry: its long name, without the "." the
// compilation appends to file names that have no extension ("README.").
std::string LocalName(const TFEntry& Entry);

// True when Name can be one component of a local path: not empty, not "."
// or "..", and holding neither "/" nor a NUL byte.
bool IsSafeComponent(const std::string& Name);

// What stands for each control character of a disc name in the local name
// (a newline in a file name breaks most tools that list files).
inline constexpr char kControlStandIn = '_';

// The name an entry is written under locally: its local name with every
// control character replaced by kControlStandIn.
std::string ExtractedName(const TFEntry& Entry);

struct TExtractCount {
    int Files = 0;   // files written
    int Failed = 0;  // files or directories not written (each logged)
};

// Copies the files of Dir into Folder, which must exist; with Recursive
// every subdirectory becomes a folder below it. Nothing is written outside
// Folder: unsafe names are refused and a subfolder that is a symbolic link
// is not entered. Existing files are replaced only with Replace. An entry
// whose extracted name another entry of Dir would be written under too is
// left out, so that neither overwrites the other.
TExtractCount ExtractDirectory(TKestrelBurner& Burner, const TDEntry& Dir, const std::string& Folder, bool Recursive,
                               bool Replace);

// Copies one file entry into Folder under its local name.
bool ExtractInto(TKestrelBurner& Burner, const TFEntry& Entry, const std::string& Folder, bool Replace);

}  // namespace kestrel
