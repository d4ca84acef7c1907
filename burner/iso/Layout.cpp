// The sector plan of an image: directory extents, path tables, descriptors,
// boot items and file data, each given its logical block address.
#include <stdexcept>

#include "burner/iso/DateTime.h"
#include "burner/iso/DirRecordLayout.h"
#include "burner/iso/ImageBuilder.h"
#include "burner/iso/IsoTree.h"
#include "burner/iso/RockRidge.h"

namespace kestrel {

namespace {

using namespace iso;

// The first sector of the file area: everything before it is the image head.
constexpr int64_t MinFirstFileLBA = 150;
constexpr int64_t MinPostGapSectors = 300;

// Extents a file of Size bytes takes: one per 4 GiB less a sector.
int64_t ExtentCount(int64_t Size) {
    return Size <= record::MaxExtentBytes ? 1 : (Size + record::MaxExtentBytes - 1) / record::MaxExtentBytes;
}

int64_t PathTableBytes(const std::vector<TDEntry*>& Order, const TIsoTree& Tree) {
    int64_t bytes = PathRecordSize(1);
    for (size_t i = 1; i < Order.size(); ++i)
        bytes += PathRecordSize(static_cast<int>(Tree.DirIdentifier(*Order[i]).Bytes.size()));
    return bytes;
}

}  // namespace

TImageBuilder::TImageBuilder() = default;
TImageBuilder::~TImageBuilder() = default;

TIsoTree TImageBuilder::PrimaryTree() const {
    return TIsoTree{false, rockRidge_.get(), rockRidge_ ? &relocation_ : nullptr};
}

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
    if (RockRidge) {
        rockRidge_ = std::make_unique<TRockRidge>(GMTOffset, NowDateTime());
        relocation_.Plan(DirTable);
    } else {
        rockRidge_.reset();
        relocation_.Clear();
    }
    OrderDirectories();
    OrderRelocatedTree();
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
    const TIsoTree primary = PrimaryTree();
    ISOPathTableSize = PathTableBytes(PrimaryPathOrder(), primary);
    JolietPathTableSize = JolietFileSystem ? PathTableBytes(JolietDirOrder, TIsoTree{true}) : 0;
    int64_t isoSectors = 0, jolietSectors = 0;
    TContinuationArea continuation(false);
    primary.ForEachDir(DirTable, [&](TDEntry& Dir) {
        Dir.ISOExtent = FitLBA(isoSectors, "directory extent");
        Dir.ISOSize = DirectoryExtentBytes(Dir, primary, continuation, logShortened);
        isoSectors += Dir.ISOSize / SectorSize;
    });
    if (JolietFileSystem) {
        TContinuationArea none(false);
        for (const auto& dir : DirTable) {
            dir->JolietExtent = FitLBA(jolietSectors, "directory extent");
            dir->JolietSize = DirectoryExtentBytes(*dir, TIsoTree{true}, none, logShortened);
            jolietSectors += dir->JolietSize / SectorSize;
        }
    }
    ContinuationSectors = continuation.Sectors();
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
    ContinuationLBA = ContinuationSectors ? FitLBA(cur, "continuation area") : 0;
    cur += ContinuationSectors;
    JolietDirArea = JolietFileSystem ? FitLBA(cur, "directory area") : 0;
    if (JolietFileSystem) cur += JolietDirBytes / SectorSize;
    cur = PlanBootSectors(cur);
    PaddingSectors = cur < MinFirstFileLBA ? static_cast<int32_t>(MinFirstFileLBA - cur) : 0;
    FirstFileLBA = FitLBA(cur + PaddingSectors, "first file sector");
}

void TImageBuilder::PlaceFiles() {
    FileSectors = 0;
    // Serial numbers for Rock Ridge: the root is 1.
    uint32_t serial = 2;
    for (const auto& entry : FileTable) {
        TFEntry& e = *entry;
        e.Serial = serial++;
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
    if (relocation_.Directory()) relocation_.Directory()->Self->Serial = serial;
    ImageEndLBA = FirstFileLBA + FileSectors;
    FitLBA(ImageEndLBA, "image end");
    LogMultiExtentFiles();
}

void TImageBuilder::LogMultiExtentFiles() const {
    for (const auto& entry : FileTable) {
        const TFEntry& e = *entry;
        if (e.Dir || e.Imported || e.ISOSize <= record::MaxExtentBytes) continue;
        DebugMsg(">>> FILE OF 4 GB OR MORE STORED IN " + std::to_string(ExtentCount(e.ISOSize)) + " EXTENTS: " +
                     (e.SourcePath.empty() ? e.LongName : e.SourcePath), mtInfo);
    }
}

}  // namespace kestrel
