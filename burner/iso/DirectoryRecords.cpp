// Directory extents of both trees: their sizes for the layout and their
// records for the image head.
#include <cstring>
#include <stdexcept>

#include "burner/iso/DateTime.h"
#include "burner/iso/ImageBuilder.h"
#include "burner/iso/IsoTree.h"

namespace kestrel {

namespace iso {

int64_t DirectoryExtentBytes(const TDEntry& Dir, const TIsoTree& Tree,
                             const std::function<void(const TFEntry&)>& OnShortened) {
    int64_t used = 2 * DotRecordSize, free = SectorSize - 2 * DotRecordSize;
    if (Tree.ListHasDots(Dir)) used = 0, free = SectorSize;
    for (const TFEntry* e = Dir.Files; e; e = e->Next) {
        const TIdentifier id = Tree.Identifier(*e);
        if (id.Shortened && OnShortened) OnShortened(*e);
        const int rec = RecordSize(static_cast<int>(id.Bytes.size()));
        if (rec > free) {
            used += free + rec;
            free = SectorSize - rec;
        } else {
            used += rec;
            free -= rec;
        }
    }
    return SectorsFor(used + free) * SectorSize;
}

}  // namespace iso

namespace {

using namespace iso;

// Fills the directory records of one tree into a zeroed area of HeadStream.
class TDirectoryWriter {
public:
    TDirectoryWriter(const TIsoTree& Tree, int32_t DirBase, int32_t FileBase, int16_t GMTOffset)
        : tree_(Tree), dirBase_(DirBase), fileBase_(FileBase), gmtOffset_(GMTOffset), now_(NowDateTime()) {}

    // Writes Dir's extent at Area, which holds exactly the laid-out size.
    void Write(const TDEntry& Dir, uint8_t* Area) {
        area_ = Area;
        size_ = tree_.DirSize(Dir);
        pos_ = 0;
        free_ = SectorSize;
        if (!tree_.ListHasDots(Dir)) {
            Put(std::string(1, '\0'), DirBase(tree_.DirExtent(Dir)), tree_.DirSize(Dir), now_, 0x02);
            const TDEntry& parent = Dir.Parent ? *Dir.Parent : Dir;
            Put(std::string(1, '\1'), DirBase(tree_.DirExtent(parent)), tree_.DirSize(parent), now_, 0x02);
        }
        for (const TFEntry* e = Dir.Files; e; e = e->Next) {
            const bool isDir = e->Dir != nullptr || (e->Attr & faDirectory) != 0;
            const uint8_t flags = uint8_t((isDir ? 0x02 : 0) | ((e->Attr & faHidden) ? 0x01 : 0));
            Put(tree_.Identifier(*e).Bytes, EntryExtent(*e, isDir), tree_.EntrySize(*e), e->DateTime, flags);
        }
    }

private:
    int64_t DirBase(int32_t Extent) const { return int64_t(dirBase_) + Extent; }

    int64_t EntryExtent(const TFEntry& E, bool IsDir) const {
        const int32_t extent = tree_.EntryExtent(E);
        if (E.Imported) return extent;
        if (IsDir) return DirBase(extent);
        return tree_.EntrySize(E) == 0 ? 0 : int64_t(fileBase_) + extent;
    }

    void Put(const std::string& Id, int64_t Extent, int64_t Size, TDateTime When, uint8_t Flags) {
        const int len = static_cast<int>(Id.size());
        const int rec = RecordSize(len);
        if (rec > free_) {
            pos_ += free_;
            free_ = SectorSize;
        }
        if (pos_ + rec > size_)
            throw std::logic_error("directory records outgrow their laid-out extent; lay the compilation out again");
        uint8_t* r = area_ + pos_;
        r[0] = uint8_t(rec);
        r[1] = 0;
        PutBoth32(r + 2, FitU32(Extent, "extent"));
        PutBoth32(r + 10, FitU32(Size, "data length"));
        PutRecordDate(r + 18, When, gmtOffset_);
        r[25] = Flags;
        r[26] = 0;
        r[27] = 0;
        PutBoth16(r + 28, 1);
        r[32] = uint8_t(len);
        std::memcpy(r + 33, Id.data(), Id.size());
        pos_ += rec;
        free_ -= rec;
    }

    const TIsoTree tree_;
    const int32_t dirBase_, fileBase_;
    const int16_t gmtOffset_;
    const TDateTime now_;
    uint8_t* area_ = nullptr;
    int64_t size_ = 0, pos_ = 0, free_ = 0;
};

}  // namespace

static void WriteDirectories(TImageBuilder& B, const TIsoTree& Tree, int32_t DirBase, int32_t FileBase) {
    int64_t total = 0;
    for (const auto& dir : B.DirTable) total += Tree.DirSize(*dir);
    const size_t start = B.HeadStream.size();
    B.HeadStream.resize(start + static_cast<size_t>(total), 0);
    TDirectoryWriter writer(Tree, DirBase, FileBase, B.GMTOffset);
    size_t offset = start;
    for (const auto& dir : B.DirTable) {
        writer.Write(*dir, B.HeadStream.data() + offset);
        offset += static_cast<size_t>(Tree.DirSize(*dir));
    }
}

void TImageBuilder::WriteISODirectories(int32_t DirBase, int32_t FileBase) {
    WriteDirectories(*this, TIsoTree{false}, DirBase, FileBase);
}

void TImageBuilder::WriteJolietDirectories(int32_t DirBase, int32_t FileBase) {
    WriteDirectories(*this, TIsoTree{true}, DirBase, FileBase);
}

}  // namespace kestrel
