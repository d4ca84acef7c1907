#include "burner/engine/SessionImport.h"

#include <algorithm>
#include <limits>
#include <memory>

#include "burner/device/BusyWait.h"
#include "burner/device/MessageTable.h"
#include "burner/engine/ImportNames.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/SessionPlace.h"
#include "burner/iso/Names.h"

namespace kestrel {

namespace {

// Descriptors are looked for in this many sectors from sector 16 of the session.
constexpr uint32_t kDescriptorSectors = 21;
// The shortest directory record: the fixed part and a one-byte identifier.
constexpr uint8_t kShortestRecord = kRecordFixedBytes + 1;

std::string SectorText(uint32_t First, uint32_t Count) {
    if (Count <= 1) return "SECTOR " + std::to_string(First);
    return "SECTORS " + std::to_string(First) + ".." + std::to_string(uint64_t(First) + Count - 1);
}

}  // namespace

TSessionImport::TSessionImport(TSCSIDevice& Device, TCompilation& Compilation)
    : device_(Device), compilation_(Compilation) {}

bool TSessionImport::Run(int SessionNo, TDEntry* Target) {
    if (!Target) Target = compilation_.RootDir;
    if (!Target || !SkipUnfinishedLast(SessionNo) || !ResolveSession(SessionNo)) return false;
    const std::string session = std::to_string(SessionNo);
    device_.InfoMsg(">>> IMPORTING SESSION # " + session);
    const auto place = AskWhileBusy(device_, [&] { return LocateSession(device_, static_cast<uint16_t>(SessionNo)); });
    if (!place) {
        LogError(">>> ERROR IMPORTING SESSION # " + session +
                 (DriveBusy(device_) ? " (" + DriveBusyText(device_) + ")" : std::string()));
        return false;
    }
    discEnd_ = AskWhileBusy(device_, [&] { return ReadableEnd(device_); });
    if (!discEnd_ && DriveBusy(device_)) busyText_ = DriveBusyText(device_);
    recorded_ = TRecordedArea::Read(device_, static_cast<uint32_t>(SessionNo));
    for (const bool joliet : {true, false}) {
        bool found = false;
        const bool complete = ImportFromDescriptors(place->Start, joliet, Target, found);
        if (!found) continue;
        ReportOutcome(SessionNo);
        return complete;
    }
    if (!busyText_.empty()) LogError(">>> ERROR IMPORTING SESSION # " + session + " (" + busyText_ + ")");
    else if (rootRefused_) LogError(">>> ERROR IMPORTING SESSION # " + session + " (NO VALID ROOT DIRECTORY)");
    else LogError(">>> ERROR IMPORTING SESSION " + session + " (ISO IMAGE NOT FOUND)");
    return false;
}

bool TSessionImport::ResolveSession(int& SessionNo) {
    const int sessions = AskWhileBusy(device_, [&] { return device_.GetSessionCount(); });
    if (sessions == 0) {
        const std::string asked = SessionNo == -1 ? "THE LAST SESSION" : "SESSION # " + std::to_string(SessionNo);
        const std::string why = DriveBusy(device_) ? DriveBusyText(device_) : "NO SESSION ON THE DISC";
        LogError(">>> ERROR IMPORTING " + asked + " (" + why + ")");
        return false;
    }
    if (SessionNo == -1 || SessionNo > sessions) SessionNo = sessions;
    if (SessionNo == 0) return false;
    if (SessionNo < 0) {
        LogError(">>> ERROR IMPORTING SESSION # " + std::to_string(SessionNo) + " (NO SUCH SESSION)");
        return false;
    }
    return true;
}

bool TSessionImport::SkipUnfinishedLast(int& SessionNo) {
    if (SessionNo != -1) return true;
    const auto unfinished = device_.FindUnfinishedSession();
    if (!unfinished) return true;
    const std::string number = std::to_string(unfinished->Session);
    if (unfinished->Session <= 1) {
        LogError(">>> ERROR IMPORTING THE LAST SESSION (SESSION # " + number +
                 " IS UNFINISHED: A BURN FAILED OR WAS INTERRUPTED, AND NO SESSION PRECEDES IT)");
        return false;
    }
    device_.DebugMsg(">>> SESSION # " + number + " IS UNFINISHED (A BURN FAILED OR WAS INTERRUPTED): THE SESSION BEFORE IT IS IMPORTED", mtFailure);
    SessionNo = unfinished->Session - 1;
    return true;
}

bool TSessionImport::Recorded(const TDirRecord& Record, const std::string& What, const std::string& Path) {
    if (recorded_.Holds(Record.Extent, Record.Sectors())) return true;
    Skip(What + " IN BLOCKS THAT WERE NEVER WRITTEN (" + SectorText(Record.Extent, Record.Sectors()) + ")", Path);
    return false;
}

bool TSessionImport::ImportFromDescriptors(uint32_t Start, bool Joliet, TDEntry* Target, bool& Found) {
    const auto root = FindDescriptor(Start, Joliet);
    if (!root) return false;
    if (const std::string problem = RootProblem(*root); !problem.empty()) {
        LogError(std::string(">>> ") + (Joliet ? "JOLIET" : "PRIMARY") + " ROOT DIRECTORY " + problem);
        rootRefused_ = true;
        return false;
    }
    Found = true;
    joliet_ = Joliet;
    const TDirRef rootRef{root->Extent, root->DataLength, "/"};
    if (ClaimDirectory(rootRef)) ReadTree(rootRef, Target, 1);
    return skipped_ == 0 && !Stopped();
}

std::optional<TVolumeRoot> TSessionImport::FindDescriptor(uint32_t Start, bool Joliet) {
    auto sector = std::make_unique<TSectorBuffer>();
    for (uint32_t i = 0; i < kDescriptorSectors && busyText_.empty(); ++i) {
        const uint64_t lba = uint64_t(Start) + 16 + i;
        if (lba > std::numeric_limits<uint32_t>::max() || (discEnd_ && lba >= *discEnd_)) break;
        if (!ReadDiscSector(static_cast<uint32_t>(lba), sector->Bytes)) continue;
        const uint8_t type = DescriptorType(sector->Bytes);
        if (type == 0xFF) break;
        if (Joliet ? IsJolietDescriptor(sector->Bytes) : type == 1) return DescriptorRoot(sector->Bytes);
    }
    return std::nullopt;
}

// What makes a root directory record unusable; empty when it can be read.
std::string TSessionImport::RootProblem(const TVolumeRoot& Root) const {
    if (Root.RecordLength < kShortestRecord)
        return "RECORD IS INVALID (A RECORD LENGTH OF " + std::to_string(Root.RecordLength) + " BYTES)";
    if (Root.DataLength == 0) return "RECORD IS EMPTY (A DATA LENGTH OF 0)";
    if (Root.DataLength > kMaxDirectoryBytes)
        return "OF " + std::to_string(Root.DataLength) + " BYTES (MORE THAN 64 MB)";
    const uint32_t sectors = SectorsFor(Root.DataLength);
    if (RunsPastDisc(Root.Extent, sectors)) return "OUTSIDE THE DISC (" + SectorText(Root.Extent, sectors) + ")";
    return {};
}

// A drive that stays busy ends the reading: every further sector would
// wait as long again.
bool TSessionImport::ReadDiscSector(uint32_t Lba, uint8_t* Bytes) {
    if (!busyText_.empty()) return false;
    if (AskWhileBusy(device_, [&] { return device_.Read10(Lba, 1, Bytes, kDiscSectorBytes); })) return true;
    if (DriveBusy(device_)) {
        busyText_ = DriveBusyText(device_);
        Stop(busyText_);
    }
    return false;
}

// ---- Tree reader -----------------------------------------------------------

void TSessionImport::ReadTree(const TDirRef& Dir, TDEntry* Target, int Depth) {
    if (Stopped()) return;
    const uint32_t sectors = SectorsFor(Dir.DataLength);
    auto sector = std::make_unique<TSectorBuffer>();
    for (uint32_t i = 0; i < sectors && !Stopped(); ++i) {
        if (!ReadDiscSector(Dir.Extent + i, sector->Bytes)) {
            if (Stopped()) return;
            Skip("UNREADABLE DIRECTORY " + SectorText(Dir.Extent + i, 1) + ", REST OF THE DIRECTORY", Dir.Path);
            return;
        }
        const size_t limit = std::min<uint64_t>(kDiscSectorBytes, uint64_t(Dir.DataLength) - uint64_t(i) * kDiscSectorBytes);
        if (!ReadSector(Dir, sector->Bytes, limit, i == 0, Target, Depth)) return;
    }
}

// Each directory sector is read once per import: a directory met again is
// a cycle (a record pointing at itself or an ancestor) or a shared extent.
bool TSessionImport::ClaimDirectory(const TDirRef& Dir) {
    const uint32_t sectors = SectorsFor(Dir.DataLength);
    for (uint32_t i = 0; i < sectors; ++i)
        if (readSectors_.count(Dir.Extent + i)) {
            Skip("DIRECTORY WHOSE " + SectorText(Dir.Extent, sectors) + " WERE READ BEFORE (A CYCLE)", Dir.Path);
            return false;
        }
    if (sectorsRead_ + uint64_t(sectors) > kMaxDirectorySectors) {
        Stop("MORE THAN " + std::to_string(kMaxDirectorySectors) + " DIRECTORY SECTORS");
        return false;
    }
    sectorsRead_ += sectors;
    for (uint32_t i = 0; i < sectors; ++i) readSectors_.insert(Dir.Extent + i);
    return true;
}

bool TSessionImport::ReadSector(const TDirRef& Dir, const uint8_t* Sector, size_t Limit, bool First,
                                TDEntry* Target, int Depth) {
    size_t offset = 0;
    int records = 0;
    while (offset + kRecordFixedBytes + 1 <= Limit && !Stopped()) {
        if (!joliet_ && LooksLikeXaField(Sector, offset, Limit)) {
            offset += 14;
            continue;
        }
        TDirRecord record;
        const std::string where = Dir.Path + " (RECORD AT BYTE " + std::to_string(offset) + ")";
        switch (ParseDirRecord(Sector, offset, Limit, record)) {
        case TRecordParse::EndOfSector: return true;
        case TRecordParse::TooShort: Skip("DIRECTORY RECORD SHORTER THAN 34 BYTES, REST OF THE SECTOR", where); return true;
        case TRecordParse::PastLimit: Skip("DIRECTORY RECORD RUNNING PAST ITS SECTOR, REST OF THE SECTOR", where); return true;
        case TRecordParse::NameOutside:
            Skip("DIRECTORY RECORD WHOSE NAME RUNS PAST IT", where);
            offset += Sector[offset];
            continue;
        case TRecordParse::Ok: break;
        }
        offset += record.Length;
        // The Joliet tree's first two records are the directory and its parent.
        const bool leading = joliet_ && First && records++ < 2;
        if (leading || record.IsSelfOrParent()) continue;
        AddRecord(record, Dir, Target, Depth);
    }
    return !Stopped();
}

void TSessionImport::AddRecord(const TDirRecord& Record, const TDirRef& Dir, TDEntry* Target, int Depth) {
    const TImportName name = joliet_ ? JolietName(Record.Name, Record.NameLength) : PrimaryName(Record.Name, Record.NameLength);
    const std::string path = Dir.Path + PrintableName(name.Name);
    if (!name.Ok()) return Skip(name.Problem, path);
    if (NameTooLong(Record, name.Name)) return;
    // The records of a file of several extents follow each other under one
    // name; the compilation holds files below 4 GiB only.
    const bool continuation = !multiExtentName_.empty() && name.Name == multiExtentName_;
    multiExtentName_ = Record.IsMultiExtent() ? name.Name : std::string();
    if (continuation) return;
    if (Record.IsMultiExtent()) return Skip("FILE OF SEVERAL EXTENTS (4 GB OR MORE)", path);
    if (Record.IsAssociated()) return Skip("ASSOCIATED FILE", path);
    if (Record.IsDirectory()) AddDirectory(Record, name.Name, Dir, Target, Depth);
    else AddFile(Record, name.Name, Dir, Target);
}

// A name the compilation cannot store (its records would not hold it) is
// reported with the limit and the name itself, and the record left out.
bool TSessionImport::NameTooLong(const TDirRecord& Record, const std::string& Name) {
    const bool directory = Record.IsDirectory();
    if (LongNameFits(directory ? Name : StoredFileName(Name), directory)) return false;
    const std::string limit = std::to_string(MaxLongName(directory));
    device_.DebugMsg(FormatMessage(LoadMessage(msgErrorImportingSessionNameLength), {limit}) + "\n\r" + PrintableName(Name),
                     mtInternal);
    CountSkip();
    return true;
}

void TSessionImport::AddDirectory(const TDirRecord& Record, const std::string& Name, const TDirRef& Dir,
                                  TDEntry* Target, int Depth) {
    const std::string path = Dir.Path + PrintableName(Name);
    if (Depth >= kMaxDepth) return Skip("DIRECTORY DEEPER THAN " + std::to_string(kMaxDepth) + " LEVELS", path);
    if (Record.DataLength > kMaxDirectoryBytes)
        return Skip("DIRECTORY OF " + std::to_string(Record.DataLength) + " BYTES (MORE THAN 64 MB)", path);
    if (RunsPastDisc(Record.Extent, Record.Sectors()))
        return Skip("DIRECTORY RUNNING PAST THE END OF THE DISC (" + SectorText(Record.Extent, Record.Sectors()) + ")", path);
    if (!Recorded(Record, "DIRECTORY", path)) return;
    const TDirRef sub{Record.Extent, Record.DataLength, path + "/"};
    if (!ClaimDirectory(sub)) return;
    TSearchData data;
    data.Name = Name;
    data.Attr = faDirectory | (Record.IsHidden() ? faHidden : 0);
    data.Time = Record.Date;
    TDEntry* dir = compilation_.MakeDirEntry(Target, data);
    if (!dir) return AtTableLimit() ? StopAtLimit() : CountSkip();
    ReadTree(sub, dir, Depth + 1);
}

void TSessionImport::AddFile(const TDirRecord& Record, const std::string& Name, const TDirRef& Dir, TDEntry* Target) {
    const std::string path = Dir.Path + PrintableName(Name);
    if (RunsPastDisc(Record.Extent, Record.Sectors()))
        return Skip("FILE RUNNING PAST THE END OF THE DISC (" + SectorText(Record.Extent, Record.Sectors()) + ")", path);
    if (!Recorded(Record, "FILE", path)) return;
    TSearchData data;
    data.Name = Name;
    data.Attr = Record.IsHidden() ? faHidden : 0;
    data.Time = Record.Date;
    data.Size = Record.DataLength;
    const int before = compilation_.FilesCount();
    if (compilation_.AddFileEntry(Target, data, "", static_cast<int32_t>(Record.Extent), false) != 1)
        return AtTableLimit() ? StopAtLimit() : CountSkip();
    // Sector 0 is no "fixed extent" to the compilation; the entry is an
    // imported one all the same.
    if (Record.Extent == 0) MarkImportedAtZero(Target, compilation_.FilesCount() > before);
}

void TSessionImport::MarkImportedAtZero(TDEntry* Target, bool Appended) {
    TFEntry* entry = Appended ? compilation_.FileTable.back().get() : nullptr;
    for (TFEntry* e = Target->Files; !entry && e; e = e->Next)
        if (!e->Dir && !e->Imported && e->SourcePath.empty() && e->ISOExtent == 0) entry = e;
    if (!entry) return;
    entry->Imported = true;
    compilation_.CompilationSize -= (entry->ISOSize + int64_t(kDiscSectorBytes) - 1) / int64_t(kDiscSectorBytes) * int64_t(kDiscSectorBytes);
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

// ---- What was left out -----------------------------------------------------

void TSessionImport::Skip(const std::string& Reason, const std::string& Path) {
    if (Stopped()) return;
    if (skipped_ < kSkipLinesLogged) device_.DebugMsg(">>> SKIPPING " + Reason + ": " + Path, mtFailure);
    CountSkip();
}

void TSessionImport::CountSkip() {
    if (++skipped_ > kMaxSkips) Stop("MORE THAN " + std::to_string(kMaxSkips) + " RECORDS LEFT OUT");
}

void TSessionImport::StopAtLimit() { Stop("THE COMPILATION'S TABLE LIMITS WERE REACHED"); }

void TSessionImport::Stop(const std::string& Reason) {
    if (!Stopped()) stopReason_ = Reason;
}

void TSessionImport::ReportOutcome(int SessionNo) const {
    const std::string session = std::to_string(SessionNo);
    if (skipped_ > kSkipLinesLogged)
        device_.DebugMsg(">>> SKIPPED " + std::to_string(skipped_ - kSkipLinesLogged) + " MORE RECORDS OF SESSION # " +
                             session + " (NOT LISTED ONE BY ONE)",
                         mtFailure);
    if (Stopped())
        LogError(">>> ERROR IMPORTING SESSION # " + session + " (INCOMPLETE, STOPPED: " + stopReason_ + ")");
    else if (skipped_ > 0)
        LogError(">>> ERROR IMPORTING SESSION # " + session + " (INCOMPLETE: " + std::to_string(skipped_) +
                 " RECORDS LEFT OUT)");
}

void TSessionImport::LogError(const std::string& Text) const { device_.DebugMsg(Text, mtInternal); }

// ---- The burner's operation -------------------------------------------------

bool TKestrelBurner::ImportDiscSession(int SessionNo, TDEntry* Dir) {
    return TSessionImport(*this, *this).Run(SessionNo, Dir);
}

}  // namespace kestrel
