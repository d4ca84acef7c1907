#pragma once
// Which file a sector of a session belongs to, for naming what a read-back
// found: the extents of the files (and of the padding at the image's end);
// every other sector holds the file system's own structures.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

class TImageBuilder;

class TSectorMap {
public:
    // Sectors First.. (Count of them) hold the data of Name.
    void Add(int64_t First, int64_t Count, std::string Name);
    // The name of the file holding Sector, else kFileSystemStructures.
    std::string NameOf(int64_t Sector) const;
    size_t Extents() const { return extents_.size(); }

private:
    struct TExtent {
        int64_t First;
        int64_t Count;
        std::string Name;
    };
    void Sort() const;

    mutable std::vector<TExtent> extents_;
    mutable bool sorted_ = true;
    int64_t longest_ = 0;
};

// The map of a laid-out compilation: its files by source path, the boot
// image, and the zeros after the last file up to EndSector.
TSectorMap SectorMapOfLayout(const TImageBuilder& Layout, int64_t EndSector);

// The map of an ISO 9660 image file, its files named by their paths in the
// image (Joliet names where the image has them). The image is not trusted:
// what cannot be read is left out, and its sectors then count as file
// system structures.
TSectorMap SectorMapOfImage(const std::string& Path);

}  // namespace kestrel
