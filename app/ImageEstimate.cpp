#include "app/ImageEstimate.h"

#include <algorithm>
#include <set>
#include <utility>

#include "burner/iso/SourceProbe.h"

namespace kestrel::app {

namespace {

constexpr int64_t kSectorBytes = 2048;
// Average record lengths: ISO 9660 "NAME.EXT;1" names and Joliet names of
// about twenty UCS-2 characters, each after the 33-byte fixed part.
constexpr int64_t kIsoRecordBytes = 48;
constexpr int64_t kJolietRecordBytes = 76;
// Path table entries (8 bytes plus the name) in either name space.
constexpr int64_t kIsoPathEntryBytes = 18;
constexpr int64_t kJolietPathEntryBytes = 40;
// System area (16), primary and Joliet descriptors and the terminator.
constexpr int64_t kDescriptorSectors = 19;
// The file data starts at sector 150 at the earliest.
constexpr int64_t kMinimumHeadSectors = 150;
// The smallest image a disc burn writes.
constexpr int64_t kMinimumImageSectors = 300;

int64_t SectorsFor(int64_t Bytes) { return (Bytes + kSectorBytes - 1) / kSectorBytes; }

// Records never cross a sector boundary: whole records per sector, the
// "." and ".." records counted as two more.
int64_t RecordSectors(int64_t Items, int64_t RecordBytes) {
    const int64_t perSector = kSectorBytes / RecordBytes;
    return (Items + 2 + perSector - 1) / perSector;
}

// Both copies (L and M) of the path tables of both name spaces.
int64_t PathTableSectors(int64_t Dirs) {
    return 2 * (SectorsFor(Dirs * kIsoPathEntryBytes) + SectorsFor(Dirs * kJolietPathEntryBytes));
}

using TEntered = std::set<std::pair<dev_t, ino_t>>;

struct TTreeTotals {
    int64_t Bytes = 0;
    TImageShare Share;
};

void Add(TImageShare& To, const TImageShare& More) {
    To.Data += More.Data;
    To.Records += More.Records;
    To.Dirs += More.Dirs;
}

// The size column counts unreadable files too; the burner leaves them out.
bool IsCounted(const TSourceItem& Item) {
    return Item.Kind == TSourceKind::File || Item.Kind == TSourceKind::Unreadable;
}

int64_t FileBytes(const TSourceItem& Item) {
    return Item.Kind != TSourceKind::Directory && S_ISREG(Item.Info.st_mode) ? Item.Info.st_size : 0;
}

// Totals of Dir and everything below it; Top gets the folder's own files.
TTreeTotals WalkTree(const std::string& Dir, TEntered& Entered, TTreeTotals* Top) {
    std::vector<TSourceItem> items;
    int error = 0;
    ListSourceDir(Dir, items, error);
    TTreeTotals totals;
    totals.Share.Dirs = 1;
    int64_t added = 0, files = 0;
    for (const TSourceItem& item : items) {
        if (item.Kind == TSourceKind::Directory) {
            if (!Entered.insert({item.Info.st_dev, item.Info.st_ino}).second) continue;
            const TTreeTotals below = WalkTree(Dir + item.Name + "/", Entered, nullptr);
            ++added;
            totals.Bytes += below.Bytes;
            Add(totals.Share, below.Share);
            continue;
        }
        if (!IsCounted(item)) continue;
        const int64_t bytes = FileBytes(item);
        const int64_t sectors = item.Kind == TSourceKind::File ? SectorsFor(bytes) : 0;
        if (item.Kind == TSourceKind::File) {
            ++added;
            ++files;
        }
        totals.Bytes += bytes;
        totals.Share.Data += sectors;
        if (Top) {
            Top->Bytes += bytes;
            Top->Share.Data += sectors;
        }
    }
    totals.Share.Records += DirectorySectors(added);
    if (Top) {
        Top->Share.Records += DirectorySectors(files);
        Top->Share.Dirs = 1;
    }
    return totals;
}

}  // namespace

int64_t DirectorySectors(int64_t Items) {
    return RecordSectors(Items, kIsoRecordBytes) + RecordSectors(Items, kJolietRecordBytes);
}

TSourceMeasure MeasureFromBytes(int64_t Bytes) {
    TSourceMeasure measure;
    measure.Bytes = Bytes;
    measure.Tree.Data = measure.Top.Data = SectorsFor(Bytes);
    return measure;
}

TSourceMeasure MeasureSource(const std::string& Path) {
    TSourceMeasure measure;
    const TSourceItem item = ProbeSource(Path);
    if (item.Kind == TSourceKind::Missing || item.Kind == TSourceKind::BrokenLink) {
        measure.Missing = true;
        return measure;
    }
    if (item.Kind != TSourceKind::Directory) {
        // A name ending in "/" that is not a folder holds no file.
        if (Path.empty() || Path.back() == '/') return measure;
        return MeasureFromBytes(FileBytes(item));
    }
    TEntered entered{{item.Info.st_dev, item.Info.st_ino}};
    TTreeTotals top;
    const TTreeTotals tree = WalkTree(Path.back() == '/' ? Path : Path + "/", entered, &top);
    measure.Bytes = tree.Bytes;
    measure.Tree = tree.Share;
    measure.Top = top.Share;
    return measure;
}

int64_t EstimateImageSectors(const std::vector<TMeasuredEntry>& Entries) {
    if (Entries.empty()) return 0;
    TImageShare total;
    // The root holds (at most) one record per entry.
    total.Records = DirectorySectors(static_cast<int64_t>(Entries.size()));
    total.Dirs = 1;
    for (const TMeasuredEntry& entry : Entries) Add(total, entry.Recursive ? entry.Measure.Tree : entry.Measure.Top);
    const int64_t head = kDescriptorSectors + total.Records + PathTableSectors(total.Dirs);
    return std::max(std::max(head, kMinimumHeadSectors) + total.Data, kMinimumImageSectors);
}

}  // namespace kestrel::app
