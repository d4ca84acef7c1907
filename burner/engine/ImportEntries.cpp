// The session import's records turned into compilation entries: the
// records of a file of several extents joined, Rock Ridge names and
// attributes taken over, directories moved away for their depth read where
// they belong, and whatever the compilation cannot hold left out with a
// line saying why.
#include <sys/stat.h>

#include <cstring>
#include <limits>
#include <memory>

#include "burner/device/MessageTable.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/SessionImport.h"
#include "burner/iso/Names.h"

namespace kestrel {

namespace {

// Why the next record of a file of several extents does not continue it;
// empty when it does.
std::string ChainProblem(const std::vector<TFileExtent>& Extents, uint8_t Flags, const TDirRecord& Next,
                         size_t MaxExtents) {
    if ((Flags | Next.Flags) & iso::record::FlagDirectory) return "DIRECTORY MARKED AS A FILE OF SEVERAL EXTENTS";
    if (Extents.size() >= MaxExtents) return "FILE OF MORE THAN " + std::to_string(MaxExtents) + " EXTENTS";
    if (Extents.back().Bytes % kDiscSectorBytes != 0)
        return "FILE OF SEVERAL EXTENTS WITH A GAP (AN EXTENT BEFORE THE LAST ENDS INSIDE A SECTOR)";
    const uint64_t from = Next.Extent, to = from + Next.Sectors();
    for (const TFileExtent& e : Extents) {
        const uint64_t first = e.Lba, end = first + SectorsFor(e.Bytes);
        if (from < end && first < to) return "FILE OF SEVERAL EXTENTS THAT OVERLAP (" + SectorText(from, to - from) + ")";
    }
    return {};
}

}  // namespace

uint64_t TSessionImport::TItem::Bytes() const {
    uint64_t bytes = 0;
    for (const TFileExtent& e : Extents) bytes += e.Bytes;
    return bytes;
}

// ---- Records of one file ---------------------------------------------------

// The records of a file of several extents follow each other under one
// identifier, every one but the last with the multi-extent flag.
void TSessionImport::TakeRecord(TDirReading& Reading, const TDirRecord& Record) {
    if (Reading.Chain) {
        const std::string& identifier = Reading.Chain->Identifier;
        if (identifier.size() == Record.NameLength && std::memcmp(identifier.data(), Record.Name, Record.NameLength) == 0)
            return ContinueChain(Reading, Record);
        DropUnfinishedChain(Reading);
    }
    TItem item = Describe(Record);
    if (Record.IsMultiExtent()) {
        Reading.Chain = std::move(item);
        return;
    }
    AddItem(Reading, item);
}

// A chain found broken is read to its end all the same, then left out.
void TSessionImport::ContinueChain(TDirReading& Reading, const TDirRecord& Record) {
    TItem& chain = *Reading.Chain;
    if (chain.Problem.empty()) chain.Problem = ChainProblem(chain.Extents, chain.Flags, Record, kMaxFileExtents);
    if (chain.Problem.empty()) chain.Extents.push_back({Record.Extent, Record.DataLength});
    if (Record.IsMultiExtent()) return;
    const TItem item = std::move(chain);
    Reading.Chain.reset();
    AddItem(Reading, item);
}

void TSessionImport::DropUnfinishedChain(TDirReading& Reading) {
    if (!Reading.Chain) return;
    const TItem item = std::move(*Reading.Chain);
    Reading.Chain.reset();
    ++Reading.Others;
    Skip("FILE OF SEVERAL EXTENTS WHOSE LAST EXTENT IS MISSING", Reading.Dir.Path + PrintableName(ItemName(item).Name));
}

// The first record of a file or directory; with Rock Ridge, its fields.
TSessionImport::TItem TSessionImport::Describe(const TDirRecord& Record) {
    TItem item;
    item.Identifier.assign(reinterpret_cast<const char*>(Record.Name), Record.NameLength);
    item.Flags = Record.Flags;
    item.Date = Record.Date;
    item.Extents.push_back({Record.Extent, Record.DataLength});
    if (suspSkip_) {
        const TSystemUse entries = SystemUseOf(Record, false);
        item.RockRidge = ParseRockRidge(entries);
        if (!entries.Problem.empty()) item.RockRidge.Problem = entries.Problem;
    }
    return item;
}

TImportName TSessionImport::ItemName(const TItem& Item) const {
    if (Item.RockRidge.Name) return RockRidgeName(*Item.RockRidge.Name);
    return IdentifierName(Item);
}

TImportName TSessionImport::IdentifierName(const TItem& Item) const {
    const auto* bytes = reinterpret_cast<const uint8_t*>(Item.Identifier.data());
    return joliet_ ? JolietName(bytes, Item.Identifier.size()) : PrimaryName(bytes, Item.Identifier.size());
}

// ---- Entries ---------------------------------------------------------------

void TSessionImport::AddItem(TDirReading& Reading, const TItem& Item) {
    const TRockRidgeFields& rr = Item.RockRidge;
    // A directory moved here for its depth is read where its CL record stands.
    if (rr.Relocated && rr.Problem.empty()) {
        ++Reading.Relocated;
        if (Item.IsDirectory() && movedDirs_.size() < size_t(kMaxSkips))
            movedDirs_.emplace_back(Item.Extents.front().Lba, Reading.Dir.Path + PrintableName(ItemName(Item).Name));
        return;
    }
    ++Reading.Others;
    // Fields that could not be read leave the name in doubt: the record's
    // identifier names the item.
    if (!rr.Problem.empty()) return Skip(rr.Problem, Reading.Dir.Path + PrintableName(IdentifierName(Item).Name));
    const TImportName name = ItemName(Item);
    const std::string path = Reading.Dir.Path + PrintableName(name.Name);
    if (!name.Ok()) return Skip(name.Problem, path);
    if (NameTooLong(Item.IsDirectory() || rr.ChildLink, name.Name)) return;
    if (const std::string why = Unimportable(Item); !why.empty()) return Skip(why, path);
    if (rr.ChildLink) return AddMovedDirectory(Reading, Item, name.Name);
    if (Item.IsDirectory())
        return AddDirectory(Reading, Item, name.Name, Item.Extents.front().Lba, Item.Extents.front().Bytes);
    AddFile(Reading, Item, name.Name);
}

// What makes a file or directory one the compilation cannot carry; empty
// when it can.
std::string TSessionImport::Unimportable(const TItem& Item) const {
    const TRockRidgeFields& rr = Item.RockRidge;
    if (!Item.Problem.empty()) return Item.Problem;
    if (Item.Flags & iso::record::FlagAssociated) return "ASSOCIATED FILE";
    if (!rr.Transformed.empty()) return rr.Transformed;
    const uint32_t type = rr.Mode.value_or(0) & S_IFMT;
    if (type != 0 && type != S_IFREG && type != S_IFDIR && type != S_IFLNK) return "SPECIAL FILE (DEVICE, PIPE OR SOCKET)";
    if (type == S_IFLNK && !rr.LinkTarget) return "SYMBOLIC LINK WITHOUT A TARGET";
    if (rr.LinkTarget && (Item.IsDirectory() || rr.ChildLink)) return "DIRECTORY WITH A SYMBOLIC LINK TARGET";
    return {};
}

TSearchData TSessionImport::SearchData(const TItem& Item, const std::string& Name) const {
    const TRockRidgeFields& rr = Item.RockRidge;
    TSearchData data;
    data.Name = Name;
    data.Attr = (Item.Flags & iso::record::FlagHidden) ? faHidden : 0;
    data.Time = rr.Modified.value_or(Item.Date);
    data.Mode = rr.Mode.value_or(0);
    data.AccessTime = rr.Accessed.value_or(0);
    data.ChangeTime = rr.Changed.value_or(0);
    data.LinkTarget = rr.LinkTarget.value_or(std::string());
    return data;
}

void TSessionImport::AddDirectory(TDirReading& Reading, const TItem& Item, const std::string& Name, uint32_t Extent,
                                  uint32_t DataLength) {
    const std::string path = Reading.Dir.Path + PrintableName(Name);
    if (Reading.Depth >= kMaxDepth) return Skip("DIRECTORY DEEPER THAN " + std::to_string(kMaxDepth) + " LEVELS", path);
    if (DataLength > kMaxDirectoryBytes)
        return Skip("DIRECTORY OF " + std::to_string(DataLength) + " BYTES (MORE THAN 64 MB)", path);
    if (RunsPastDisc(Extent, SectorsFor(DataLength)))
        return Skip("DIRECTORY RUNNING PAST THE END OF THE DISC (" + SectorText(Extent, SectorsFor(DataLength)) + ")", path);
    if (!Recorded(Extent, SectorsFor(DataLength), "DIRECTORY", path)) return;
    const TDirRef sub{Extent, DataLength, path + "/"};
    if (!ClaimDirectory(sub)) return;
    TSearchData data = SearchData(Item, Name);
    data.Attr |= faDirectory;
    TDEntry* dir = compilation_.MakeDirEntry(Reading.Target, data);
    if (!dir) return AtTableLimit() ? StopAtLimit() : CountSkip();
    // The relocation directory holding the moved directories is no part of
    // the tree its writer meant.
    if (ReadTree(sub, dir, Reading.Depth + 1) && !dir->Files) {
        device_.InfoMsg(">>> " + path + " HELD ONLY DIRECTORIES MOVED FOR THEIR DEPTH: SHOWN WHERE THEY BELONG");
        compilation_.RemoveDir(dir);
    }
}

// A CL record stands for a directory moved elsewhere: its "." record, in
// the first sector the CL names, gives its size.
void TSessionImport::AddMovedDirectory(TDirReading& Reading, const TItem& Item, const std::string& Name) {
    const std::string path = Reading.Dir.Path + PrintableName(Name);
    const uint32_t at = *Item.RockRidge.ChildLink;
    linkedDirs_.insert(at);
    if (RunsPastDisc(at, 1)) return Skip("MOVED DIRECTORY OUTSIDE THE DISC (SECTOR " + std::to_string(at) + ")", path);
    if (!Recorded(at, 1, "MOVED DIRECTORY", path)) return;
    auto sector = std::make_unique<TSectorBuffer>();
    TDirRecord self;
    if (!ReadDiscSector(at, sector->Bytes)) {
        if (!Stopped()) Skip("UNREADABLE MOVED DIRECTORY (SECTOR " + std::to_string(at) + ")", path);
        return;
    }
    if (ParseDirRecord(sector->Bytes, 0, kDiscSectorBytes, self) != TRecordParse::Ok || self.NameLength != 1 ||
        self.Name[0] != 0 || !self.IsDirectory() || self.Extent != at)
        return Skip("MOVED DIRECTORY WHOSE SECTOR " + std::to_string(at) + " HOLDS NO DIRECTORY", path);
    AddDirectory(Reading, Item, Name, at, self.DataLength);
}

void TSessionImport::AddFile(TDirReading& Reading, const TItem& Item, const std::string& Name) {
    const std::string path = Reading.Dir.Path + PrintableName(Name);
    const bool link = Item.RockRidge.LinkTarget.has_value();
    // A link's record holds no data worth a look.
    if (!link)
        for (const TFileExtent& e : Item.Extents) {
            if (RunsPastDisc(e.Lba, SectorsFor(e.Bytes)))
                return Skip("FILE RUNNING PAST THE END OF THE DISC (" + SectorText(e.Lba, SectorsFor(e.Bytes)) + ")", path);
            if (!Recorded(e.Lba, SectorsFor(e.Bytes), "FILE", path)) return;
        }
    TSearchData data = SearchData(Item, Name);
    data.Size = link ? 0 : static_cast<int64_t>(Item.Bytes());
    if (!compilation_.AddImportedFile(Reading.Target, data, link ? std::vector<TFileExtent>{} : Item.Extents))
        return AtTableLimit() ? StopAtLimit() : CountSkip();
}

// A name the compilation cannot store (its records would not hold it) is
// reported with the limit and the name itself, and the record left out.
// Rock Ridge names are bounded when they are read.
bool TSessionImport::NameTooLong(bool Directory, const std::string& Name) {
    if (suspSkip_) return false;
    if (LongNameFits(Directory ? Name : StoredFileName(Name), Directory)) return false;
    const std::string limit = std::to_string(MaxLongName(Directory));
    device_.DebugMsg(FormatMessage(LoadMessage(msgErrorImportingSessionNameLength), {limit}) + "\n\r" + PrintableName(Name),
                     mtInternal);
    CountSkip();
    return true;
}

bool TSessionImport::RunsPastDisc(uint32_t Extent, uint32_t Sectors) const {
    const uint64_t end = uint64_t(Extent) + Sectors;
    if (Extent > uint32_t(std::numeric_limits<int32_t>::max())) return true;
    return discEnd_ && end > *discEnd_;
}

bool TSessionImport::AtTableLimit() const {
    return compilation_.FilesCount() >= compilation_.MaxFiles ||
           static_cast<int>(compilation_.DirTable.size()) >= compilation_.MaxDirs;
}

}  // namespace kestrel
