// Directory extents of both trees: their sizes for the layout and their
// records for the image head. One walk over a directory yields its records
// for both, so that the sizes and the records written always agree.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "burner/iso/DateTime.h"
#include "burner/iso/DirRecordLayout.h"
#include "burner/iso/ImageBuilder.h"
#include "burner/iso/IsoTree.h"

namespace kestrel {

namespace iso {

namespace {

// One record as the walk describes it; Extent is absolute.
struct TRecordSpec {
    TIdentifier Id;
    int64_t Extent = 0;
    int64_t Size = 0;
    TDateTime Date = 0;
    uint8_t Flags = 0;
    TRecordContext Context;
};

// Where a tree's extents lie: 0 while the layout is still sizing.
struct TBases {
    int64_t Dir = 0;
    int64_t File = 0;
    TDateTime Now = 0;
};

bool IsDirectory(const TFEntry& E) { return E.Dir != nullptr || (E.Attr & faDirectory) != 0; }

int64_t ExtentsOf(int64_t Size) { return Size <= 0 ? 1 : (Size + record::MaxExtentBytes - 1) / record::MaxExtentBytes; }

// Calls Fn for every record of Dir's extent in Tree, in order.
template <class Fn>
void ForEachRecord(const TDEntry& Dir, const TIsoTree& Tree, const TBases& Bases, Fn&& Emit) {
    const auto dirExtent = [&](const TDEntry& D) { return Bases.Dir + Tree.DirExtent(D); };
    const TRelocation* relocation = Tree.ActiveRelocation();
    if (!Tree.ListHasDots(Dir)) {
        TRecordSpec self;
        self.Id = {std::string(1, '\0'), false};
        self.Extent = dirExtent(Dir);
        self.Size = Tree.DirSize(Dir);
        self.Date = Bases.Now;
        self.Flags = record::FlagDirectory;
        self.Context.Role = TRecordRole::Self;
        self.Context.Dir = self.Context.Described = &Dir;
        Emit(self);
        const TDEntry& parent = Tree.ParentOf(Dir);
        TRecordSpec up = self;
        up.Id = {std::string(1, '\1'), false};
        up.Extent = dirExtent(parent);
        up.Size = Tree.DirSize(parent);
        up.Context.Role = TRecordRole::Parent;
        up.Context.Described = Dir.Parent ? Dir.Parent : &Dir;
        if (relocation && relocation->IsMoved(Dir)) {
            up.Context.Mark = TRelocationMark::MovedParent;
            up.Context.LinkSector = dirExtent(*Dir.Parent);
        }
        Emit(up);
    }
    Tree.ForEachEntry(Dir, [&](const TFEntry& E) {
        TRecordSpec spec;
        spec.Id = Tree.Identifier(E);
        spec.Date = E.DateTime;
        spec.Context.Dir = &Dir;
        spec.Context.Entry = &E;
        spec.Context.Described = E.Dir;
        const uint8_t hidden = (E.Attr & faHidden) ? record::FlagHidden : 0;
        if (IsDirectory(E)) {
            const bool moved = relocation && E.Dir && relocation->IsMoved(*E.Dir);
            if (moved && &Dir != relocation->Directory()) {
                // The placeholder: an empty file whose CL names the directory.
                spec.Flags = hidden;
                spec.Context.Mark = TRelocationMark::Placeholder;
                spec.Context.LinkSector = dirExtent(*E.Dir);
                Emit(spec);
                return;
            }
            if (moved) spec.Context.Mark = TRelocationMark::Moved;
            if (E.Dir && !E.Imported) {
                spec.Extent = dirExtent(*E.Dir);
                spec.Size = Tree.DirSize(*E.Dir);
            } else {
                const int32_t extent = Tree.EntryExtent(E);
                spec.Extent = E.Imported ? extent : Bases.Dir + extent;
                spec.Size = Tree.EntrySize(E);
            }
            spec.Flags = record::FlagDirectory | hidden;
            Emit(spec);
            return;
        }
        const auto emitPiece = [&](int64_t Index, int64_t Count, int64_t Extent, int64_t Size) {
            spec.Extent = Extent;
            spec.Size = Size;
            spec.Context.Piece = static_cast<int>(Index);
            spec.Context.LastPiece = Index + 1 == Count;
            spec.Flags = uint8_t(hidden | (spec.Context.LastPiece ? 0 : record::FlagMultiExtent));
            Emit(spec);
        };
        // An imported file keeps the extents it has on the disc, wherever
        // they lie and however long each is.
        if (E.Imported && !E.Extents.empty()) {
            const auto count = static_cast<int64_t>(E.Extents.size());
            for (int64_t i = 0; i < count; ++i)
                emitPiece(i, count, E.Extents[size_t(i)].Lba, E.Extents[size_t(i)].Bytes);
            return;
        }
        const int64_t size = Tree.EntrySize(E);
        const int64_t first = size == 0 ? 0 : E.Imported ? Tree.EntryExtent(E) : Bases.File + Tree.EntryExtent(E);
        const int64_t pieces = ExtentsOf(size);
        for (int64_t i = 0; i < pieces; ++i) {
            const int64_t extent = size == 0 ? 0 : first + i * (record::MaxExtentBytes / SectorSize);
            emitPiece(i, pieces, extent, size == 0 ? 0 : std::min(size - i * record::MaxExtentBytes, record::MaxExtentBytes));
        }
    });
}

// The system-use bytes of one record, packed for its identifier length.
std::vector<uint8_t> SystemUseOf(const TIsoTree& Tree, const TRecordSpec& Spec, TContinuationArea& Area,
                                 int64_t AreaSector) {
    if (!Tree.SystemUse || Tree.Joliet) return {};
    std::vector<uint8_t> entries;
    Tree.SystemUse->Produce(Spec.Context, entries);
    const size_t room = record::MaxBytes - 1 - record::SystemUseAt(Spec.Id.Bytes.size());
    return PackSystemUse(entries, room, Area, AreaSector);
}

// Places records into sectors: a record that does not fit in the rest of a
// sector starts the next one.
struct TPlacement {
    int64_t Used = 0;
    int64_t Free = SectorSize;

    // Offset of a record of Rec bytes.
    int64_t Place(int64_t Rec) {
        if (Rec > Free) {
            Used += Free;
            Free = SectorSize;
        }
        const int64_t at = Used;
        Used += Rec;
        Free -= Rec;
        return at;
    }
    int64_t Bytes() const { return SectorsFor(Used + Free) * SectorSize; }
};

}  // namespace

int64_t DirectoryExtentBytes(const TDEntry& Dir, const TIsoTree& Tree, TContinuationArea& Area,
                             const std::function<void(const TFEntry&)>& OnShortened) {
    TPlacement placement;
    ForEachRecord(Dir, Tree, TBases{}, [&](const TRecordSpec& Spec) {
        if (Spec.Id.Shortened && OnShortened && Spec.Context.Entry && Spec.Context.Piece == 0)
            OnShortened(*Spec.Context.Entry);
        const int64_t su = static_cast<int64_t>(SystemUseOf(Tree, Spec, Area, 0).size());
        placement.Place(int64_t(record::SystemUseAt(Spec.Id.Bytes.size())) + su);
    });
    return std::max<int64_t>(placement.Bytes(), SectorSize);
}

}  // namespace iso

namespace {

using namespace iso;

// Fills the directory records of one tree into a zeroed area of HeadStream.
class TDirectoryWriter {
public:
    TDirectoryWriter(const TIsoTree& Tree, const TBases& Bases, int16_t GMTOffset, TContinuationArea& Area,
                     int64_t AreaSector)
        : tree_(Tree), bases_(Bases), gmtOffset_(GMTOffset), area_(Area), areaSector_(AreaSector) {}

    // Writes Dir's extent at Out, which holds exactly the laid-out size.
    void Write(const TDEntry& Dir, uint8_t* Out) {
        const int64_t size = tree_.DirSize(Dir);
        TPlacement placement;
        ForEachRecord(Dir, tree_, bases_, [&](const TRecordSpec& Spec) {
            const std::vector<uint8_t> su = SystemUseOf(tree_, Spec, area_, areaSector_);
            const size_t suAt = record::SystemUseAt(Spec.Id.Bytes.size());
            const int64_t rec = static_cast<int64_t>(suAt + su.size());
            const int64_t at = placement.Place(rec);
            if (at + rec > size)
                throw std::logic_error(
                    "directory records outgrow their laid-out extent; lay the compilation out again");
            Put(Out + at, Spec, static_cast<uint8_t>(rec));
            if (!su.empty()) std::memcpy(Out + at + suAt, su.data(), su.size());
        });
    }

private:
    void Put(uint8_t* R, const TRecordSpec& Spec, uint8_t Length) const {
        using namespace record;
        R[LengthAt] = Length;
        R[ExtAttrLengthAt] = 0;
        PutBoth32(R + ExtentAt, FitU32(Spec.Extent, "extent"));
        PutBoth32(R + DataLengthAt, FitU32(Spec.Size, "data length"));
        PutRecordDate(R + DateAt, Spec.Date, gmtOffset_);
        R[FlagsAt] = Spec.Flags;
        R[UnitSizeAt] = 0;
        R[GapSizeAt] = 0;
        PutBoth16(R + VolumeSeqAt, 1);
        R[IdLengthAt] = uint8_t(Spec.Id.Bytes.size());
        std::memcpy(R + IdAt, Spec.Id.Bytes.data(), Spec.Id.Bytes.size());
    }

    const TIsoTree& tree_;
    const TBases bases_;
    const int16_t gmtOffset_;
    TContinuationArea& area_;
    const int64_t areaSector_;
};

}  // namespace

void TImageBuilder::WriteDirectories(const TIsoTree& Tree, int32_t DirBase, int32_t FileBase) {
    int64_t total = 0;
    Tree.ForEachDir(DirTable, [&](TDEntry& Dir) { total += Tree.DirSize(Dir); });
    const size_t start = HeadStream.size();
    HeadStream.resize(start + static_cast<size_t>(total), 0);
    TContinuationArea area(true);
    TDirectoryWriter writer(Tree, TBases{DirBase, FileBase, NowDateTime()}, GMTOffset, area, ContinuationLBA);
    size_t offset = start;
    Tree.ForEachDir(DirTable, [&](TDEntry& Dir) {
        writer.Write(Dir, HeadStream.data() + offset);
        offset += static_cast<size_t>(Tree.DirSize(Dir));
    });
    if (Tree.Joliet || !Tree.SystemUse) return;
    // The continuation areas follow the primary tree's directory extents.
    if (area.Sectors() != ContinuationSectors)
        throw std::logic_error("continuation areas differ from their layout; lay the compilation out again");
    HeadStream.insert(HeadStream.end(), area.Data().begin(), area.Data().end());
}

void TImageBuilder::WriteISODirectories(int32_t DirBase, int32_t FileBase) {
    WriteDirectories(PrimaryTree(), DirBase, FileBase);
}

void TImageBuilder::WriteJolietDirectories(int32_t DirBase, int32_t FileBase) {
    WriteDirectories(TIsoTree{true}, DirBase, FileBase);
}

}  // namespace kestrel
