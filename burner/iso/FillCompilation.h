#pragma once
// Turns the front end's compilation list (source paths with their recursive
// flag) into the compilation, under the rule of the "Save path" box. Shared by
// the desktop program and kestrel-cli so both fill the same way.
#include <functional>
#include <string>
#include <vector>

#include "burner/iso/Compilation.h"

namespace kestrel {

// The three states of the "Save path" box.
enum class TSavePathState { Unchecked, Checked, Grayed };

// One entry of the list: a directory path ending in "/" or a file path.
struct TListEntry {
    std::string Path;
    bool Recursive = false;  // the "R" box: subdirectories of a directory entry
};

struct TFillOptions {
    TSavePathState SavePath = TSavePathState::Grayed;
    bool ArchiveFiles = false;  // take only changed files from directory entries
    int SessionNo = 0;          // previous session to import first; 0 = none, -1 = last
    // Imports session SessionNo into the compilation's root (the burner's
    // ImportDiscSession); called before any list entry when SessionNo != 0.
    std::function<void(int SessionNo)> ImportSession;
};

struct TFillResult {
    bool Filled = false;     // false: nothing to fill or a table limit stopped it
    std::string Message;     // why, for the front end to show
};

inline constexpr const char* EmptyListMessage = "Atleast one file/directory should be selected";

TFillResult FillCompilation(TCompilation& Compilation, const std::vector<TListEntry>& Entries,
                            const TFillOptions& Options);

// The list's rules for a new entry: a directory gets one trailing "/" and is
// recursive, anything else is taken as a file and is not.
TListEntry MakeListEntry(const std::string& Path);

}  // namespace kestrel
