#include "burner/engine/SectorMap.h"

#include <algorithm>

#include "burner/engine/VerifyReport.h"
#include "burner/iso/ImageBuilder.h"

namespace kestrel {
namespace {

constexpr int64_t kSector = 2048;

int64_t SectorsOf(int64_t Bytes) { return (Bytes + kSector - 1) / kSector; }

}  // namespace

void TSectorMap::Add(int64_t First, int64_t Count, std::string Name) {
    if (Count <= 0) return;
    extents_.push_back({First, Count, std::move(Name)});
    longest_ = std::max(longest_, Count);
    sorted_ = false;
}

void TSectorMap::Sort() const {
    if (sorted_) return;
    std::sort(extents_.begin(), extents_.end(), [](const TExtent& A, const TExtent& B) { return A.First < B.First; });
    sorted_ = true;
}

std::string TSectorMap::NameOf(int64_t Sector) const {
    Sort();
    auto after = std::upper_bound(extents_.begin(), extents_.end(), Sector,
                                  [](int64_t S, const TExtent& E) { return S < E.First; });
    // Extents of a hostile image may overlap: look back over those that
    // start early enough to reach the sector.
    while (after != extents_.begin()) {
        --after;
        if (Sector < after->First + after->Count) return after->Name;
        if (after->First + longest_ <= Sector) break;
    }
    return kFileSystemStructures;
}

TSectorMap SectorMapOfLayout(const TImageBuilder& Layout, int64_t EndSector) {
    TSectorMap map;
    if (Layout.Bootable) map.Add(Layout.BootImageLBA, Layout.BootImageSectors, Layout.BootImageFile);
    for (const auto& entry : Layout.FileTable) {
        if (entry->Dir || entry->Imported || entry->ISOSize <= 0) continue;
        map.Add(int64_t(Layout.FirstFileLBA) + entry->ISOExtent, SectorsOf(entry->ISOSize), entry->SourcePath);
    }
    map.Add(Layout.ImageEndLBA, EndSector - Layout.ImageEndLBA, kImagePadding);
    return map;
}

}  // namespace kestrel
