// Adding files and directory trees of the local file system.
#include <fnmatch.h>

#include <set>
#include <utility>

#include "burner/iso/Compilation.h"
#include "burner/iso/DiscPaths.h"
#include "burner/iso/Names.h"
#include "burner/iso/SourceProbe.h"

namespace kestrel {

// One InsertDir call: its filters and the directories it has entered, so a
// directory reached again through a link is not scanned a second time.
struct TCompilation::TScan {
    std::string Mask;
    int Attr = 0;
    bool Recursive = false;
    bool ArchiveOnly = false;
    std::set<std::pair<dev_t, ino_t>> Entered;

    bool MaskMatches(const std::string& Name) const {
        if (Mask == "*.*" || Mask == "*") return true;
        return fnmatch(Mask.c_str(), Name.c_str(), FNM_CASEFOLD) == 0;
    }
    // The attribute filter of the search: hidden files only when asked for,
    // and only changed files under the archive option.
    bool AttrMatches(int ItemAttr) const {
        if ((ItemAttr & faHidden) && !(Attr & faHidden)) return false;
        return !ArchiveOnly || (ItemAttr & faArchive);
    }
};

int TCompilation::InsertFile(const std::string& DestPath, const std::string& FileName, bool SavePath) {
    const std::string source = AbsoluteSourcePath(FileName);
    const TSourceItem item = ProbeSource(source);
    const bool asLink = KeepsLinks() && item.IsLink;
    if (item.Kind == TSourceKind::Missing && !asLink) {
        LogSkip("MISSING FILE", FileName);
        return -1;
    }
    if (item.Kind != TSourceKind::File && !asLink) {
        // Logged before any directory is made for it.
        LogSkip(SkipReason(item), FileName);
        return 1;
    }
    TDEntry* target = nullptr;
    if (!SavePath) {
        target = FindDirEntry(DestPath);
    } else if (const auto disc = DiscDirFromSource(SourceDirOf(source))) {
        target = ForceDirPath(KeepLastDirOnly ? KeepLastLevel(*disc) : *disc);
    } else {
        LogSkip("FILE IN A DIRECTORY WHOSE NAME HOLDS \"\\\"", FileName);
    }
    if (!target) {
        DebugMsg("INVALID DESTINATION PATH", mtInternal);
        return 0;
    }
    AddFileEntry(target, asLink ? LinkSearchDataOf(item) : SearchDataOf(item, source, true), source, 0, false);
    return 1;
}

int TCompilation::InsertDir(TDEntry* Dest, const std::string& SourceDir, const std::string& Mask, int Attr,
                            bool Recursive, bool SavePath, bool ArchiveOnly) {
    std::string source = AbsoluteSourcePath(SourceDir);
    if (source.back() != '/') source += '/';
    TDEntry* target = SavePath ? DerivedTarget(source, Dest) : Dest;
    if (!target) {
        DebugMsg("INVALID DESTINATION PATH", mtInternal);
        return 0;
    }
    const TSourceItem top = ProbeSource(source);
    if (top.Kind != TSourceKind::Directory) {
        LogSkip(top.Kind == TSourceKind::Missing ? "MISSING DIRECTORY" : SkipReason(top), SourceDir);
        return -1;
    }
    TScan scan;
    scan.Mask = Mask.empty() ? "*.*" : Mask;
    scan.Attr = Attr;
    scan.Recursive = Recursive;
    scan.ArchiveOnly = ArchiveOnly;
    scan.Entered.insert({top.Info.st_dev, top.Info.st_ino});
    return ScanDir(scan, target, source);
}

TDEntry* TCompilation::DerivedTarget(const std::string& SourceDir, TDEntry* Dest) {
    auto disc = DiscDirFromSource(SourceDir);
    if (!disc) {
        LogSkip("DIRECTORY WHOSE PATH HOLDS \"\\\"", SourceDir);
        return nullptr;
    }
    // The last level is taken of the source part only, so that the files
    // still land below Dest.
    std::string path = KeepLastDirOnly ? KeepLastLevel(*disc) : *disc;
    if (Dest && !Dest->Path.empty() && Dest->Path != "\\") path = Dest->Path + path;
    return ForceDirPath(path);
}

// Scans one source directory (ending in "/") into Target: subdirectories
// first, then files. 0 only when a table limit stopped the scan.
int TCompilation::ScanDir(TScan& Scan, TDEntry* Target, const std::string& SourceDir) {
    std::vector<TSourceItem> items;
    int error = 0;
    if (!ListSourceDir(SourceDir, items, error)) {
        TSourceItem failed;
        failed.Kind = TSourceKind::Unreadable;
        failed.Error = error;
        LogSkip(SkipReason(failed), SourceDir);
        return 1;
    }
    if (Scan.Recursive && !ScanSubdirs(Scan, Target, SourceDir, items)) return 0;
    return ScanFiles(Scan, Target, SourceDir, items) ? 1 : 0;
}

bool TCompilation::ScanSubdirs(TScan& Scan, TDEntry* Target, const std::string& SourceDir,
                               const std::vector<TSourceItem>& Items) {
    for (const TSourceItem& item : Items) {
        if (item.Kind != TSourceKind::Directory || (KeepsLinks() && item.IsLink)) continue;
        const std::string path = SourceDir + item.Name;
        if (!Scan.Entered.insert({item.Info.st_dev, item.Info.st_ino}).second) {
            LogSkip("DIRECTORY ALREADY SCANNED (LINK OR LOOP)", path);
            continue;
        }
        TSearchData data = SearchDataOf(item, path, false);
        std::string longName = data.Name, shortName = UpperAscii(data.Name);
        bool skip = false;
        if (OnAddDir) OnAddDir(this, longName, shortName, skip);
        if (skip) continue;
        const int limitsBefore = limitHits_;
        TDEntry* sub = MakeDirEntry(Target, data);
        if (!sub) {
            if (limitHits_ != limitsBefore) return false;
            continue;
        }
        const int result = ScanDir(Scan, sub, path + "/");
        if (!sub->Files) RemoveDir(sub);
        if (result == 0) return false;
    }
    return true;
}

bool TCompilation::ScanFiles(TScan& Scan, TDEntry* Target, const std::string& SourceDir,
                             const std::vector<TSourceItem>& Items) {
    for (const TSourceItem& item : Items) {
        const bool asLink = KeepsLinks() && item.IsLink;
        if ((item.Kind == TSourceKind::Directory && !asLink) || !Scan.MaskMatches(item.Name)) continue;
        const std::string path = SourceDir + item.Name;
        if (asLink) {
            const TSearchData link = LinkSearchDataOf(item);
            if (!Scan.AttrMatches(link.Attr | faArchive)) continue;
            const int limitsBefore = limitHits_;
            if (AddFileEntry(Target, link, path, 0, false) == 0 && limitHits_ != limitsBefore) return false;
            continue;
        }
        if (item.Kind != TSourceKind::File) {
            LogSkip(SkipReason(item), path);
            continue;
        }
        const TSearchData data = SearchDataOf(item, path, Scan.ArchiveOnly || OnAddFile != nullptr);
        if (!Scan.AttrMatches(data.Attr)) continue;
        const int limitsBefore = limitHits_;
        if (AddFileEntry(Target, data, path, 0, Scan.ArchiveOnly) == 0 && limitHits_ != limitsBefore)
            return false;
    }
    return true;
}

}  // namespace kestrel
