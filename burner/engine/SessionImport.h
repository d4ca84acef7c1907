#pragma once
// Reading the directory tree of a session on the disc into the compilation
// (multisession): files keep the disc address of their data, directories
// are created anew. A primary tree with Rock Ridge is read first, with its
// POSIX names, modes, times and symbolic links, and its deep directories
// put back where they belong; without Rock Ridge the Joliet tree is
// preferred, then the primary tree. Files of several extents are joined.
//
// A disc is untrusted input. Every record is checked against its sector,
// its directory and the end of the disc; directories are read at most once
// (cycles and shared extents), the depth, the directory data and the
// continuation areas read are bounded, and the compilation's table limits
// end the import. Whatever is
// left out is logged and makes the import incomplete: Run then returns
// false, so a burn that asked for the import does not silently drop old
// files.
#include <cstdint>
#include <optional>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "burner/device/SCSIDevice.h"
#include "burner/engine/DirectoryRecord.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/RecordedArea.h"
#include "burner/engine/RockRidgeFields.h"
#include "burner/iso/Compilation.h"

namespace kestrel {

class TSessionImport {
public:
    // Deepest directory level read (the root is 1).
    static constexpr int kMaxDepth = 128;
    // Largest directory accepted, in bytes.
    static constexpr uint32_t kMaxDirectoryBytes = 64u << 20;
    // Directory sectors one import reads at most.
    static constexpr uint32_t kMaxDirectorySectors = 262144;
    // Records left out before the import gives up on the disc.
    static constexpr int kMaxSkips = 1000;
    // Skipped records logged one by one; the rest are counted.
    static constexpr int kSkipLinesLogged = 20;
    // Continuation-area sectors one import reads at most.
    static constexpr uint32_t kMaxContinuationSectors = 262144;
    // Extents of one file at most (1 TiB in extents of 4 GiB).
    static constexpr size_t kMaxFileExtents = 256;

    TSessionImport(TSCSIDevice& Device, TCompilation& Compilation);

    // SessionNo: -1 the last session, 1.. a session (beyond the last: the
    // last), 0 none. Target: the directory receiving the tree. A drive busy
    // with a long operation is asked again for a while, then reported busy.
    bool Run(int SessionNo, TDEntry* Target);

private:
    enum class TTree { RockRidge, Joliet, Primary };

    struct TDirRef {
        uint32_t Extent = 0;
        uint32_t DataLength = 0;
        std::string Path;  // for the log, "/" style
    };

    // One file or directory of a directory: its first record, with the
    // extents of the records that continue it.
    struct TItem {
        std::string Identifier;  // the record's identifier bytes
        uint8_t Flags = 0;
        TDateTime Date = 0;
        std::vector<TFileExtent> Extents;
        TRockRidgeFields RockRidge;
        std::string Problem;  // why the records of a file of several extents do not make one
        bool IsDirectory() const { return Flags & iso::record::FlagDirectory; }
        uint64_t Bytes() const;
    };

    // What the reading of one directory keeps between its records.
    struct TDirReading {
        const TDirRef& Dir;
        TDEntry* Target;
        int Depth;
        std::optional<TItem> Chain;  // a file whose next extent is still to come
        int Relocated = 0;           // records of directories moved elsewhere (RE)
        int Others = 0;              // every other record
        // A directory listing only moved directories: a relocation directory.
        bool OnlyRelocated() const { return Relocated > 0 && Others == 0; }
    };

    bool ResolveSession(int& SessionNo);
    // "The last session" skips a session that a failed burn left
    // unfinished; false when no other session precedes it.
    bool SkipUnfinishedLast(int& SessionNo);
    // Whether Sectors blocks from Extent lie in blocks the disc holds as
    // written; logs the item left out when not.
    bool Recorded(uint32_t Extent, uint32_t Sectors, const std::string& What, const std::string& Path);
    // Looks through the descriptors from Start + 16 for the tree asked
    // for; reads it into Target when found.
    bool ImportFromDescriptors(uint32_t Start, TTree Tree, TDEntry* Target, bool& Found);
    std::optional<TVolumeRoot> FindDescriptor(uint32_t Start, bool Joliet);
    std::string RootProblem(const TVolumeRoot& Root) const;
    // Rock Ridge announced in the root's "." record: notes its skip length.
    bool ProbeRockRidge(const TVolumeRoot& Root);
    // One sector of the disc, asked again while the drive is busy.
    bool ReadDiscSector(uint32_t Lba, uint8_t* Bytes);
    bool ReadContinuation(uint32_t Block, uint32_t Offset, uint32_t Length, std::vector<uint8_t>& Out,
                          std::string& Problem);
    TSystemUse SystemUseOf(const TDirRecord& Record, bool RootSelf);

    // Reads a directory claimed before (ClaimDirectory) into Target; says
    // whether it listed only directories moved elsewhere.
    bool ReadTree(const TDirRef& Dir, TDEntry* Target, int Depth);
    void ReportUnlinkedMoves();
    bool ClaimDirectory(const TDirRef& Dir);
    // Reads the records of one directory sector; false when the reading of
    // the directory must end.
    bool ReadSector(TDirReading& Reading, const uint8_t* Sector, size_t Limit, bool First);

    // Records to entries (ImportEntries.cpp).
    void TakeRecord(TDirReading& Reading, const TDirRecord& Record);
    void ContinueChain(TDirReading& Reading, const TDirRecord& Record);
    void DropUnfinishedChain(TDirReading& Reading);
    TItem Describe(const TDirRecord& Record);
    // The Rock Ridge name, else the identifier of the tree read.
    TImportName ItemName(const TItem& Item) const;
    TImportName IdentifierName(const TItem& Item) const;
    void AddItem(TDirReading& Reading, const TItem& Item);
    std::string Unimportable(const TItem& Item) const;
    void AddDirectory(TDirReading& Reading, const TItem& Item, const std::string& Name, uint32_t Extent,
                      uint32_t DataLength);
    void AddMovedDirectory(TDirReading& Reading, const TItem& Item, const std::string& Name);
    void AddFile(TDirReading& Reading, const TItem& Item, const std::string& Name);
    TSearchData SearchData(const TItem& Item, const std::string& Name) const;
    bool NameTooLong(bool Directory, const std::string& Name);
    bool RunsPastDisc(uint32_t Extent, uint32_t Sectors) const;
    bool AtTableLimit() const;

    void Skip(const std::string& Reason, const std::string& Path);
    void CountSkip();
    void StopAtLimit();
    void Stop(const std::string& Reason);
    bool Stopped() const { return !stopReason_.empty(); }
    void ReportOutcome(int SessionNo) const;
    void LogError(const std::string& Text) const;

    TSCSIDevice& device_;
    TCompilation& compilation_;
    bool joliet_ = false;
    std::optional<uint32_t> discEnd_;
    TRecordedArea recorded_;
    std::unordered_set<uint32_t> readSectors_;
    // Directories listed as moved for their depth (RE), and the sectors CL
    // records lead to.
    std::vector<std::pair<uint32_t, std::string>> movedDirs_;
    std::unordered_set<uint32_t> linkedDirs_;
    uint32_t sectorsRead_ = 0;
    int skipped_ = 0;
    std::optional<uint8_t> suspSkip_;  // Rock Ridge in use: the bytes before each record's entries
    uint32_t sessionStart_ = 0;
    std::optional<uint32_t> sessionEnd_;
    std::unique_ptr<TSectorBuffer> continuation_;  // the continuation sector read last
    std::optional<uint32_t> continuationLba_;
    uint32_t continuationReads_ = 0;
    std::string stopReason_;
    std::string busyText_;     // why the drive could not be read, once it stayed busy
    bool rootRefused_ = false;  // a descriptor was found, its root record unusable
};

}  // namespace kestrel
