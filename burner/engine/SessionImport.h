#pragma once
// Reading the directory tree of a session on the disc into the compilation
// (multisession): files keep the disc address of their data, directories
// are created anew. The Joliet tree is preferred; without one the primary
// tree is read.
//
// A disc is untrusted input. Every record is checked against its sector,
// its directory and the end of the disc; directories are read at most once
// (cycles and shared extents), the depth and the directory data read are
// bounded, and the compilation's table limits end the import. Whatever is
// left out is logged and makes the import incomplete: Run then returns
// false, so a burn that asked for the import does not silently drop old
// files.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

#include "burner/device/SCSIDevice.h"
#include "burner/engine/DirectoryRecord.h"
#include "burner/engine/RecordedArea.h"
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

    TSessionImport(TSCSIDevice& Device, TCompilation& Compilation);

    // SessionNo: -1 the last session, 1.. a session (beyond the last: the
    // last), 0 none. Target: the directory receiving the tree. A drive busy
    // with a long operation is asked again for a while, then reported busy.
    bool Run(int SessionNo, TDEntry* Target);

private:
    struct TDirRef {
        uint32_t Extent = 0;
        uint32_t DataLength = 0;
        std::string Path;  // for the log, "/" style
    };

    bool ResolveSession(int& SessionNo);
    // "The last session" skips a session that a failed burn left
    // unfinished; false when no other session precedes it.
    bool SkipUnfinishedLast(int& SessionNo);
    // Whether the data of a record lies in blocks the disc holds as written.
    bool Recorded(const TDirRecord& Record, const std::string& What, const std::string& Path);
    // Looks through the descriptors from Start + 16 for Joliet (first) or
    // the primary descriptor; reads its tree into Target when found.
    bool ImportFromDescriptors(uint32_t Start, bool Joliet, TDEntry* Target, bool& Found);
    std::optional<TVolumeRoot> FindDescriptor(uint32_t Start, bool Joliet);
    std::string RootProblem(const TVolumeRoot& Root) const;
    // One sector of the disc, asked again while the drive is busy.
    bool ReadDiscSector(uint32_t Lba, uint8_t* Bytes);

    // Reads a directory claimed before (ClaimDirectory) into Target.
    void ReadTree(const TDirRef& Dir, TDEntry* Target, int Depth);
    bool ClaimDirectory(const TDirRef& Dir);
    // Reads the records of one directory sector; false when the reading of
    // the directory must end.
    bool ReadSector(const TDirRef& Dir, const uint8_t* Sector, size_t Limit, bool First, TDEntry* Target, int Depth);
    void AddRecord(const TDirRecord& Record, const TDirRef& Dir, TDEntry* Target, int Depth);
    void AddDirectory(const TDirRecord& Record, const std::string& Name, const TDirRef& Dir, TDEntry* Target, int Depth);
    void AddFile(const TDirRecord& Record, const std::string& Name, const TDirRef& Dir, TDEntry* Target);
    void MarkImportedAtZero(TDEntry* Target, bool Appended);
    bool NameTooLong(const TDirRecord& Record, const std::string& Name);
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
    uint32_t sectorsRead_ = 0;
    int skipped_ = 0;
    std::string multiExtentName_;  // name of the file whose next extent follows
    std::string stopReason_;
    std::string busyText_;     // why the drive could not be read, once it stayed busy
    bool rootRefused_ = false;  // a descriptor was found, its root record unusable
};

}  // namespace kestrel
