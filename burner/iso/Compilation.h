#pragma once
// The compilation: the tree of directories and files that becomes the
// ISO 9660 / Joliet file system of one image, with the tables that own its
// records. Filled by InsertFile/InsertDir, pruned by the removal operations,
// laid out by TImageBuilder.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "burner/common/DebugLog.h"
#include "burner/iso/Entries.h"

namespace kestrel {

class TCompilation;
struct TSourceItem;

// What a directory search found for one item: the data AddFileEntry and
// MakeDirEntry store. Time is the item's local modification time; when it is
// absent the current time is used.
struct TSearchData {
    std::string Name;           // name as found (UTF-8)
    std::string AltName;        // short-name proposal; empty = derived from Name
    int Attr = 0;               // faDirectory, faHidden, faArchive
    std::optional<TDateTime> Time;
    int64_t Size = 0;
    // POSIX side, kept for Rock Ridge; 0 / empty when unknown.
    uint32_t Mode = 0;
    TDateTime AccessTime = 0;
    TDateTime ChangeTime = 0;
    std::string LinkTarget;     // a symbolic link to store as a link
};

// Raised once per file before it is stored; the handler may rename, redate or
// skip it. Skip arrives true when the long name is too long.
using TAddFileEvent = std::function<void(TCompilation* Sender, const std::string& FullPath,
                                         std::string& LongFileName, std::string& ShortFileName,
                                         TDateTime& DateTime, int Attr, int64_t FileSize, bool& Skip)>;
// Raised by the directory scan for each subdirectory found; Skip leaves the
// whole subtree out. Changed names are not used.
using TAddDirEvent =
    std::function<void(TCompilation* Sender, std::string& LongName, std::string& ShortName, bool& Skip)>;

// An item the compilation left out while it was filled, and why.
struct TSkippedItem {
    std::string Path;
    std::string Reason;
};

class TCompilation : public virtual TDebugLog {
public:
    TCompilation();
    ~TCompilation() override;
    TCompilation(const TCompilation&) = delete;
    TCompilation& operator=(const TCompilation&) = delete;

    // Empties the compilation and re-creates the tables with the given
    // capacities. Always true.
    bool ClearAll(int MaxFiles, int MaxDirs);
    int FilesCount() const { return static_cast<int>(FileTable.size()); }
    int DirsCount() const { return static_cast<int>(DirTable.size()) - 1; }
    // Nothing in the root: no file, no directory, nothing imported.
    bool IsEmpty() const { return !RootDir || !RootDir->Files; }
    // True once a table limit has refused an entry since ClearAll.
    bool LimitReached() const { return limitHits_ > 0; }
    // The items left out since ClearAll (each one is also logged), in the
    // order they were met.
    const std::vector<TSkippedItem>& SkippedItems() const { return skipped_; }

    // --- Adding files and directories ---------------------------------

    // Adds one file. FileName is a POSIX path; with SavePath the disc
    // directory is derived from it, else DestPath ("\" style) names it.
    // 1 = the file was found (stored or not), -1 = not found, 0 = the
    // destination directory does not exist.
    int InsertFile(const std::string& DestPath, const std::string& FileName, bool SavePath);
    // Adds the files of SourceDir (and of its subdirectories when Recursive)
    // below Dest. Mask is a file-name pattern ("*.*" = all); Attr the
    // attribute mask of the file search (63 = everything). 1 when the scan
    // ran to its end (items it had to leave out are logged), 0 when the
    // destination is invalid or a table limit stopped it.
    int InsertDir(TDEntry* Dest, const std::string& SourceDir, const std::string& Mask, int Attr,
                  bool Recursive, bool SavePath, bool ArchiveOnly);
    // Stores one found file into Dir. FixedExtent 0 = an ordinary file,
    // otherwise an absolute sector address (imported session). 1 = stored.
    int AddFileEntry(TDEntry* Dir, const TSearchData& Found, const std::string& SourcePath,
                     int32_t FixedExtent, bool ArchiveOnly);
    // Stores one file of a session on the disc into Dir: its data stays on
    // the disc, in Extents (one, or several for a file of 4 GiB or more).
    // Found.LinkTarget makes it a symbolic link. Null when it is not stored.
    TFEntry* AddImportedFile(TDEntry* Dir, const TSearchData& Found, std::vector<TFileExtent> Extents);
    // Finds or creates the subdirectory Found.Name below Parent; null when
    // it cannot be created (limit, invalid name, clash with a file).
    TDEntry* MakeDirEntry(TDEntry* Parent, const TSearchData& Found);
    // Creates a subdirectory from a bare name (time = now).
    TDEntry* AddDirByName(TDEntry* Parent, const std::string& Name, int Attr);
    // Makes sure every directory of a disc path ("\A\B") exists.
    TDEntry* ForceDirPath(const std::string& Path);
    // Directory by disc path (case-insensitive for ASCII letters); "" or "\"
    // is the root; null when absent.
    TDEntry* FindDirEntry(const std::string& Path) const;
    // Entry of Dir by long name, case-insensitive for ASCII letters.
    TFEntry* FindFileEntry(const TDEntry* Dir, const std::string& Name) const;

    // --- Removal and upkeep ------------------------------------------

    // Removes Entry (and, for a subdirectory entry, everything below it)
    // from Dir. Always true.
    bool RemoveFile(TDEntry* Dir, TFEntry* Entry);
    // Removes a directory with everything below it; false for the root.
    bool RemoveDir(TDEntry* Dir);
    // Drops every directory left without files. Always true.
    bool RemoveEmptyDirs();
    // Marks the sources of the files added under the archive option as
    // archived (unchanged since now). Always true.
    bool ClearArchiveBits();
    // Bytes of a local file, or of every file below a directory path.
    int64_t GetPathSize(const std::string& Path) const;
    // Removes the entry Name of the directory DirPath; false when either is
    // missing.
    bool RemoveByPath(const std::string& DirPath, const std::string& Name);

    TDEntry* RootDir = nullptr;
    int64_t CompilationSize = 0;
    bool ReplaceFile = false;
    bool JolietFileSystem = true;
    // Rock Ridge fields in the primary tree (POSIX modes, times, full names,
    // symbolic links, deep directories). With it, names too long for Joliet
    // are stored with a shortened Joliet name instead of being refused.
    bool RockRidge = true;
    // With Rock Ridge, symbolic links found by a scan are stored as links;
    // FollowLinks stores what they point to instead, as images without
    // Rock Ridge always do.
    bool FollowLinks = false;
    // Symbolic links are stored as links.
    bool KeepsLinks() const { return RockRidge && !FollowLinks; }
    // A destination derived from a source path keeps only its last level.
    bool KeepLastDirOnly = false;
    // Offset of the local zone from UTC in 15-minute units, taken by ClearAll.
    int16_t GMTOffset = 0;

    TAddFileEvent OnAddFile;
    TAddDirEvent OnAddDir;

    // Tables, in order of creation. FileTable and DirTable own the records;
    // ISODirOrder and JolietDirOrder hold the same directories and are put
    // into path-table order by the layout.
    std::vector<std::unique_ptr<TFEntry>> FileTable;
    std::vector<std::unique_ptr<TDEntry>> DirTable;
    std::vector<TDEntry*> ISODirOrder;
    std::vector<TDEntry*> JolietDirOrder;
    int MaxFiles = 0;
    int MaxDirs = 0;

protected:
    // A new directory linked into the three directory tables, or null at the limit.
    TDEntry* NewDirEntry();
    // A new file entry appended to FileTable (not linked), or null at the limit.
    TFEntry* NewFileEntry();

private:
    struct TScan;
    struct TNameKey {
        const TDEntry* Dir;
        std::string Name;
        bool operator==(const TNameKey&) const = default;
    };
    struct TNameKeyHash {
        size_t operator()(const TNameKey& Key) const;
    };
    // Records to release together, with the directory each entry is listed in.
    struct TRemoval {
        std::vector<std::pair<TDEntry*, TFEntry*>> Files;
        std::vector<TDEntry*> Dirs;
    };

    int ScanDir(TScan& Scan, TDEntry* Target, const std::string& SourceDir);
    bool ScanSubdirs(TScan& Scan, TDEntry* Target, const std::string& SourceDir,
                     const std::vector<TSourceItem>& Items);
    bool ScanFiles(TScan& Scan, TDEntry* Target, const std::string& SourceDir,
                   const std::vector<TSourceItem>& Items);
    TDEntry* DerivedTarget(const std::string& SourceDir, TDEntry* Dest);
    // The part of adding a file both kinds share: names, attributes and the
    // entry's place in Dir; the caller sets where its data lies.
    TFEntry* StoreFileEntry(TDEntry* Dir, const TSearchData& Found, const std::string& SourcePath, bool ArchiveOnly);
    bool AcceptFileName(const std::string& PosixName, const std::string& LongName, const std::string& Where) const;
    std::string CleanName(const std::string& Name, const std::string& Where) const;
    void DropNewestDir();
    // Links Entry at the end of Dir's list (the name index is the caller's).
    void AppendToDir(TDEntry* Dir, TFEntry* Entry);
    void IndexEntry(TDEntry* Dir, TFEntry* Entry);
    void UnindexEntry(TDEntry* Dir, TFEntry* Entry);
    bool UnlinkFromDir(TDEntry* Dir, TFEntry* Entry);
    void CollectSubtree(TDEntry* Dir, TFEntry* Entry, TRemoval& Removal);
    void ReleaseRecords(const TRemoval& Removal);
    void LogSkip(const std::string& Reason, const std::string& Path) const;
    bool ShortNameTaken(const TDEntry* Dir, const std::string& Short, const std::string& OwnKey) const;
    // Short (fitted already) made unique among Dir's entries; OwnKey is the
    // new entry's upper-case long name.
    std::string UniqueShortName(const TDEntry* Dir, const std::string& Short, const std::string& OwnKey,
                                bool IsFile);
    void ForgetShortName(const TDEntry* Dir, const TFEntry* Entry);
    size_t ShortNameLimit(bool IsFile) const;
    // The name fits what the compilation stores: a POSIX name with Rock
    // Ridge (the Joliet name is then shortened when need be), else a name
    // that fits the Joliet records.
    bool StoresLongName(const std::string& PosixName, const std::string& LongName, bool IsFile) const;
    // A Joliet name for LongName that fits Joliet's records and differs
    // from every other name of Dir; logged. Empty when LongName fits.
    std::string JolietAlias(const TDEntry* Dir, const std::string& LongName, bool IsFile, const std::string& Where);

    // Look-up indexes kept beside the tables so that filling the front end's
    // limits stays linear: directories by upper-case path, entries by
    // (directory, upper-case long name).
    std::unordered_map<std::string, TDEntry*> dirsByPath_;
    std::unordered_map<TNameKey, TFEntry*, TNameKeyHash> entriesByName_;
    // Short names that differ from their entry's upper-case long name.
    std::unordered_set<TNameKey, TNameKeyHash> alteredShortNames_;
    // Shortened Joliet names (upper case) given to names too long for Joliet.
    std::unordered_set<TNameKey, TNameKeyHash> jolietAliases_;
    int limitHits_ = 0;
    // Kept beside the log by LogSkip, which the const checks call too.
    mutable std::vector<TSkippedItem> skipped_;
};

}  // namespace kestrel
