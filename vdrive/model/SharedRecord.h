#pragma once
// Small files shared by every process that uses a drive, mapped into memory:
// the live record (hot state that changes with every WRITE, so the metadata
// file need not be rewritten per command) and the bounded trace of commands.
// Both are only touched while the drive's file lock is held.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vdrive {

struct LiveRecord {
    uint32_t magic;
    uint32_t version;
    uint64_t stateGeneration;  // generation of state.conf the hot values refer to
    uint64_t writeGeneration;  // bumped by every recorded WRITE
    int32_t hotTrack;          // index of the track last written, -1 none
    uint32_t hotRecorded;      // its recorded block count
    uint64_t configGeneration; // bumped when model.conf or knobs.conf is replaced
};

struct TraceEntry {
    int64_t timeMs;
    uint32_t pid;
    uint32_t transferred;
    uint8_t cdbLen;
    uint8_t cdb[16];
    uint8_t status;
    uint8_t key;
    uint8_t asc;
    uint8_t ascq;
    uint8_t pad[7];
};

// A file of fixed size mapped shared into memory.
class MappedFile {
public:
    MappedFile(const std::string& Path, size_t Size);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    uint8_t* Data() const { return data_; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

class LiveBlock {
public:
    explicit LiveBlock(const std::string& Path);
    LiveRecord& operator*() const { return *reinterpret_cast<LiveRecord*>(file_.Data()); }
    LiveRecord* operator->() const { return reinterpret_cast<LiveRecord*>(file_.Data()); }

private:
    MappedFile file_;
};

class TraceRing {
public:
    static constexpr uint32_t kEntries = 4096;
    explicit TraceRing(const std::string& Path);
    void Add(const TraceEntry& Entry);
    std::vector<TraceEntry> Entries() const;  // oldest first
    void Clear();

private:
    struct Header {
        uint32_t magic;
        uint32_t entrySize;
        uint64_t next;  // total entries ever added
    };
    Header& Head() const { return *reinterpret_cast<Header*>(file_.Data()); }
    TraceEntry* Slots() const { return reinterpret_cast<TraceEntry*>(file_.Data() + 64); }
    MappedFile file_;
};

std::string FormatTraceEntry(const TraceEntry& Entry);

}  // namespace vdrive
