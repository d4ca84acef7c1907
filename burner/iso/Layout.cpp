// The sector plan of an image: directory extents, path tables, descriptors,
// boot items and file data, each given its logical block address.
#include <stdexcept>

#include "burner/iso/ImageBuilder.h"
#include "burner/iso/IsoTree.h"

namespace kestrel {

namespace {

using namespace iso;

// The first sector of the file area: everything before it is the image head.
constexpr int64_t MinFirstFileLBA = 150;
constexpr int64_t MinPostGapSectors = 300;

int64_t PathTableBytes(const std::vector<TDEntry*>& Order, const TIsoTree& Tree) {
    int64_t bytes = PathRecordSize(1);
    for (size_t i = 1; i < Order.size(); ++i)
        bytes += PathRecordSize(static_cast<int>(Tree.DirIdentifier(*Order[i]).Bytes.size()));
    return bytes;
}

}  // namespace

TImageBuilder::TImageBuilder() = default;
TImageBuilder::~TImageBuilder() = default;

bool TImageBuilder::LayoutDiscStart(TDEntry*) { return true; }

int64_t TImageBuilder::ImageSectors() const {
    const int64_t sectors = ImageEndLBA - ImageStartLBA;
    return WritePostGap && sectors < MinPostGapSectors ? MinPostGapSectors : sectors;
}

bool TImageBuilder::BuildLayout(bool ForImageFile, TDEntry* ImportTarget) {
    DoDebug = false;
    ImageStartLBA = 0;
    if (!ForImageFile) LayoutDiscStart(ImportTarget);
    ChooseBootFiles();
    OrderDirectories();
    SizeDirectoryExtents();
    PlanSectors();
    PlaceFiles();
    FinishBootFiles();
    return true;
}

void TImageBuilder::SizeDirectoryExtents() {
    const auto logShortened = [this](const TFEntry& E) {
        DebugMsg(">>> NAME TOO LONG FOR ITS DIRECTORY RECORD, SHORTENED: " + E.LongName, mtFailure);
    };
    ISOPathTableSize = PathTableBytes(ISODirOrder, TIsoTree{false});
    JolietPathTableSize = JolietFileSystem ? PathTableBytes(JolietDirOrder, TIsoTree{true}) : 0;
    int64_t isoSectors = 0, jolietSectors = 0;
    for (const auto& dir : DirTable) {
        dir->ISOExtent = FitLBA(isoSectors, "directory extent");
        dir->ISOSize = DirectoryExtentBytes(*dir, TIsoTree{false}, logShortened);
        isoSectors += dir->ISOSize / SectorSize;
        if (!JolietFileSystem) continue;
        dir->JolietExtent = FitLBA(jolietSectors, "directory extent");
        dir->JolietSize = DirectoryExtentBytes(*dir, TIsoTree{true}, logShortened);
        jolietSectors += dir->JolietSize / SectorSize;
    }
    ISODirBytes = isoSectors * SectorSize;
    JolietDirBytes = jolietSectors * SectorSize;
}

void TImageBuilder::PlanSectors() {
    int64_t cur = int64_t(ImageStartLBA) + 16;
    ++cur;  // primary volume descriptor
    if (HasBootRecord()) ++cur;
    if (JolietFileSystem) ++cur;
    ++cur;  // terminator
    const int64_t isoTable = SectorsFor(ISOPathTableSize);
    ISOPathTableL = FitLBA(cur, "path table");
    ISOPathTableM = FitLBA(cur += isoTable, "path table");
    cur += isoTable;
    if (JolietFileSystem) {
        const int64_t jolietTable = SectorsFor(JolietPathTableSize);
        JolietPathTableL = FitLBA(cur, "path table");
        JolietPathTableM = FitLBA(cur += jolietTable, "path table");
        cur += jolietTable;
    } else {
        JolietPathTableL = JolietPathTableM = 0;
    }
    ISODirArea = FitLBA(cur, "directory area");
    cur += ISODirBytes / SectorSize;
    JolietDirArea = JolietFileSystem ? FitLBA(cur, "directory area") : 0;
    if (JolietFileSystem) cur += JolietDirBytes / SectorSize;
    cur = PlanBootSectors(cur);
    PaddingSectors = cur < MinFirstFileLBA ? static_cast<int32_t>(MinFirstFileLBA - cur) : 0;
    FirstFileLBA = FitLBA(cur + PaddingSectors, "first file sector");
}

void TImageBuilder::PlaceFiles() {
    FileSectors = 0;
    for (const auto& entry : FileTable) {
        TFEntry& e = *entry;
        if (e.Imported) continue;
        if (e.Dir) {
            e.ISOExtent = e.Dir->ISOExtent;
            e.JolietExtent = e.Dir->JolietExtent;
            e.ISOSize = e.Dir->ISOSize;
            e.JolietSize = e.Dir->JolietSize;
        } else if (e.ISOSize == 0) {
            e.ISOExtent = e.JolietExtent = 0;
            e.JolietSize = 0;
        } else {
            e.ISOExtent = e.JolietExtent = FitLBA(FileSectors, "file extent");
            e.JolietSize = e.ISOSize;
            FileSectors += SectorsFor(e.ISOSize);
        }
    }
    ImageEndLBA = FirstFileLBA + FileSectors;
    FitLBA(ImageEndLBA, "image end");
}

}  // namespace kestrel
