// The path tables of both trees, type L (little-endian) and type M
// (big-endian), in path-table order.
#include <cstring>
#include <functional>

#include "burner/iso/ImageBuilder.h"
#include "burner/iso/IsoTree.h"

namespace kestrel {

namespace {

using namespace iso;

void PutPathRecord(std::vector<uint8_t>& Out, const std::string& Id, int64_t Extent, int64_t Parent,
                   bool BigEndian) {
    const size_t at = Out.size();
    Out.resize(at + static_cast<size_t>(PathRecordSize(static_cast<int>(Id.size()))), 0);
    uint8_t* r = Out.data() + at;
    r[0] = uint8_t(Id.size());
    r[1] = 0;
    const uint32_t extent = FitU32(Extent, "path table extent");
    const uint16_t parent = FitU16(Parent, "parent directory number");
    if (BigEndian) {
        PutBig32(r + 2, extent);
        PutBig16(r + 6, parent);
    } else {
        PutLittle32(r + 2, extent);
        PutLittle16(r + 6, parent);
    }
    std::memcpy(r + 8, Id.data(), Id.size());
}

void WritePathTable(std::vector<uint8_t>& Out, const std::vector<TDEntry*>& Order, const TIsoTree& Tree,
                    int32_t Base, bool BigEndian, const std::function<int32_t(const TDEntry&)>& Number) {
    const size_t start = Out.size();
    if (!Order.empty()) PutPathRecord(Out, std::string(1, '\0'), int64_t(Base) + Tree.DirExtent(*Order[0]), 1, BigEndian);
    for (size_t i = 1; i < Order.size(); ++i) {
        const TDEntry& dir = *Order[i];
        PutPathRecord(Out, Tree.DirIdentifier(dir).Bytes, int64_t(Base) + Tree.DirExtent(dir),
                      Number(Tree.ParentOf(dir)), BigEndian);
    }
    const size_t used = Out.size() - start;
    Out.resize(start + static_cast<size_t>(SectorsFor(static_cast<int64_t>(used))) * SectorSize, 0);
}

}  // namespace

void TImageBuilder::WriteISOPathTable(int32_t Base, bool BigEndian) {
    WritePathTable(HeadStream, PrimaryPathOrder(), PrimaryTree(), Base, BigEndian,
                   [this](const TDEntry& Dir) { return PrimaryNumber(Dir); });
}

void TImageBuilder::WriteJolietPathTable(int32_t Base, bool BigEndian) {
    WritePathTable(HeadStream, JolietDirOrder, TIsoTree{true}, Base, BigEndian,
                   [](const TDEntry& Dir) { return Dir.Number; });
}

}  // namespace kestrel
