#pragma once
// Looks at source files and directories without opening files: what an item
// is (links followed), and the search data the compilation stores for it.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "burner/iso/Compilation.h"

namespace kestrel {

enum class TSourceKind {
    File,        // a regular file we may read
    Directory,
    Missing,     // nothing of that name
    BrokenLink,  // a symbolic link to nothing
    Special,     // FIFO, socket or device node: never opened
    Unreadable,  // no read permission, or the item cannot be examined
};

struct TSourceItem {
    std::string Name;
    TSourceKind Kind = TSourceKind::Missing;
    struct stat Info {};
    int Error = 0;  // errno when the item could not be examined
    // A symbolic link (Kind and Info describe what it points to): its
    // target and its own status.
    bool IsLink = false;
    std::string LinkTarget;
    struct stat LinkInfo {};
};

// Describes the item at Path.
TSourceItem ProbeSource(const std::string& Path);
// The items of directory Dir ("." and ".." left out), sorted by name. False
// (with errno in Error) when the directory cannot be read.
bool ListSourceDir(const std::string& Dir, std::vector<TSourceItem>& Items, int& Error);
// The search data of a symbolic link stored as a link.
TSearchData LinkSearchDataOf(const TSourceItem& Item);
// The search data of an examined item. The archive bit (a look at the
// file's extended attributes) is set only with CheckArchive: it matters to
// scans under the archive option and to an OnAddFile handler, and skipping
// it keeps large scans fast.
TSearchData SearchDataOf(const TSourceItem& Item, const std::string& FullPath, bool CheckArchive);
// A short reason for a kind that cannot be added ("UNREADABLE FILE", ...).
std::string SkipReason(const TSourceItem& Item);

}  // namespace kestrel
