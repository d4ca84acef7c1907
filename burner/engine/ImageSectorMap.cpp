// SectorMapOfImage: the files of an ISO 9660 image file and their sectors,
// read from the image's own directory records (Joliet names preferred).
// The image is untrusted input: descriptors, directories, depth and the
// directory data read are bounded, and every record is checked against its
// sector before a byte of it is used.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <unordered_set>

#include "burner/engine/DirectoryRecord.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/SectorMap.h"

namespace kestrel {
namespace {

constexpr uint32_t kDescriptorSectors = 32;
constexpr int kMaxDepth = 64;
constexpr uint64_t kMaxDirectorySectors = 262144;

struct TDirToRead {
    uint32_t Extent;
    uint32_t Bytes;
    std::string Path;
    int Depth;
};

class TImageWalk {
public:
    explicit TImageWalk(const std::string& Path) : fd_(::open(Path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~TImageWalk() {
        if (fd_ >= 0) ::close(fd_);
    }
    TImageWalk(const TImageWalk&) = delete;
    TImageWalk& operator=(const TImageWalk&) = delete;

    TSectorMap Run() {
        TSectorMap map;
        if (fd_ < 0) return map;
        const auto root = FindRoot();
        if (!root) return map;
        std::deque<TDirToRead> queue{{root->Extent, root->DataLength, "", 1}};
        while (!queue.empty() && read_ < kMaxDirectorySectors) {
            TDirToRead dir = std::move(queue.front());
            queue.pop_front();
            if (!visited_.insert(dir.Extent).second) continue;
            ReadDirectory(dir, map, queue);
        }
        return map;
    }

private:
    bool ReadSector(uint64_t Sector, uint8_t* Bytes) {
        return ::pread(fd_, Bytes, kDiscSectorBytes, static_cast<off_t>(Sector * kDiscSectorBytes)) ==
               static_cast<ssize_t>(kDiscSectorBytes);
    }

    std::optional<TVolumeRoot> FindRoot() {
        TSectorBuffer sector;
        std::optional<TVolumeRoot> primary;
        for (uint32_t i = 0; i < kDescriptorSectors && ReadSector(16 + i, sector.Bytes); ++i) {
            const uint8_t type = DescriptorType(sector.Bytes);
            if (type == 0xFF) break;
            if (IsJolietDescriptor(sector.Bytes)) {
                joliet_ = true;
                return DescriptorRoot(sector.Bytes);
            }
            if (type == 1 && !primary) primary = DescriptorRoot(sector.Bytes);
        }
        return primary;
    }

    void ReadDirectory(const TDirToRead& Dir, TSectorMap& Map, std::deque<TDirToRead>& Queue) {
        TSectorBuffer sector;
        const uint32_t sectors = SectorsFor(Dir.Bytes);
        for (uint32_t i = 0; i < sectors && read_ < kMaxDirectorySectors; ++i, ++read_) {
            if (!ReadSector(uint64_t(Dir.Extent) + i, sector.Bytes)) return;
            const size_t limit = std::min<size_t>(kDiscSectorBytes, Dir.Bytes - size_t(i) * kDiscSectorBytes);
            TDirRecord record;
            for (size_t at = 0; ParseDirRecord(sector.Bytes, at, limit, record) == TRecordParse::Ok;
                 at += record.Length) {
                if (record.IsSelfOrParent()) continue;
                const TImportName name = joliet_ ? JolietName(record.Name, record.NameLength)
                                                 : PrimaryName(record.Name, record.NameLength);
                const std::string path =
                    Dir.Path + "/" + (name.Ok() ? (joliet_ ? name.Name : StripVersionSuffix(name.Name)) : "?");
                if (!record.IsDirectory()) Map.Add(record.Extent, record.Sectors(), path);
                else if (Dir.Depth < kMaxDepth) Queue.push_back({record.Extent, record.DataLength, path, Dir.Depth + 1});
            }
        }
    }

    int fd_;
    bool joliet_ = false;
    uint64_t read_ = 0;
    std::unordered_set<uint32_t> visited_;
};

}  // namespace

TSectorMap SectorMapOfImage(const std::string& Path) { return TImageWalk(Path).Run(); }

}  // namespace kestrel
