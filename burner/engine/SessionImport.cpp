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
    sessionStart_ = place->Start;
    if (place->Blocks > 0) sessionEnd_ = static_cast<uint32_t>(std::min<uint64_t>(uint64_t(place->Start) + place->Blocks, UINT32_MAX));
    for (const TTree tree : {TTree::RockRidge, TTree::Joliet, TTree::Primary}) {
        bool found = false;
        const bool complete = ImportFromDescriptors(place->Start, tree, Target, found);
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
    if (SessionNo > sessions) {
        // A setting kept for many discs may name more sessions than this disc
        // has: the last one is taken, and the log says so.
        device_.DebugMsg(">>> SESSION # " + std::to_string(SessionNo) + " IS NOT ON THE DISC (IT HAS " +
                             std::to_string(sessions) + "), IMPORTING THE LAST ONE",
                         mtFailure);
        SessionNo = sessions;
    }
    if (SessionNo == -1) SessionNo = sessions;
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

bool TSessionImport::Recorded(uint32_t Extent, uint32_t Sectors, const std::string& What, const std::string& Path) {
    if (recorded_.Holds(Extent, Sectors)) return true;
    Skip(What + " IN BLOCKS THAT WERE NEVER WRITTEN (" + SectorText(Extent, Sectors) + ")", Path);
    return false;
}

bool TSessionImport::ImportFromDescriptors(uint32_t Start, TTree Tree, TDEntry* Target, bool& Found) {
    // Rock Ridge names only mean something to a compilation that writes them.
    if (Tree == TTree::RockRidge && !compilation_.RockRidge) return false;
    const bool joliet = Tree == TTree::Joliet;
    const auto root = FindDescriptor(Start, joliet);
    if (!root) return false;
    const std::string problem = RootProblem(*root);
    // The primary tree's pass reports a root it cannot read.
    if (Tree == TTree::RockRidge && (!problem.empty() || !ProbeRockRidge(*root))) return false;
    if (!problem.empty()) {
        LogError(std::string(">>> ") + (joliet ? "JOLIET" : "PRIMARY") + " ROOT DIRECTORY " + problem);
        rootRefused_ = true;
        return false;
    }
    Found = true;
    joliet_ = joliet;
    if (Tree == TTree::RockRidge) device_.InfoMsg(">>> ROCK RIDGE: NAMES AND ATTRIBUTES FROM THE PRIMARY TREE");
    const TDirRef rootRef{root->Extent, root->DataLength, "/"};
    if (ClaimDirectory(rootRef)) ReadTree(rootRef, Target, 1);
    ReportUnlinkedMoves();
    return skipped_ == 0 && !Stopped();
}

// A directory moved for its depth is read where a CL record names it; one
// that no CL record names would otherwise be missing without a word.
void TSessionImport::ReportUnlinkedMoves() {
    for (const auto& [extent, path] : movedDirs_)
        if (!Stopped() && !linkedDirs_.count(extent))
            Skip("DIRECTORY MOVED FOR ITS DEPTH THAT NO RECORD LEADS BACK TO (SECTOR " + std::to_string(extent) + ")", path);
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

bool TSessionImport::ProbeRockRidge(const TVolumeRoot& Root) {
    auto sector = std::make_unique<TSectorBuffer>();
    TDirRecord self;
    const size_t limit = std::min<size_t>(kDiscSectorBytes, Root.DataLength);
    if (!ReadDiscSector(Root.Extent, sector->Bytes) || ParseDirRecord(sector->Bytes, 0, limit, self) != TRecordParse::Ok ||
        self.NameLength != 1 || self.Name[0] != 0)
        return false;
    const std::optional<uint8_t> skip = SuspSkipLength(self.SystemUse, self.SystemUseLength);
    if (!skip) return false;
    const TSystemUse entries = SystemUseOf(self, true);
    if (!entries.Problem.empty()) {
        device_.DebugMsg(">>> ROCK RIDGE OF THE ROOT DIRECTORY NOT READ (" + entries.Problem + ")", mtFailure);
        return false;
    }
    if (!AnnouncesRockRidge(entries)) return false;
    suspSkip_ = *skip;
    return true;
}

// The entries of a record's system-use area and its continuation areas.
// The root's "." record starts with SP; every other record's entries
// start after the skip SP announced.
TSystemUse TSessionImport::SystemUseOf(const TDirRecord& Record, bool RootSelf) {
    const size_t skip = RootSelf ? 0 : suspSkip_.value_or(0);
    if (Record.SystemUseLength <= skip) return {};
    return ReadSystemUse(Record.SystemUse + skip, Record.SystemUseLength - skip,
                         [this](uint32_t Block, uint32_t Offset, uint32_t Length, std::vector<uint8_t>& Out,
                                std::string& Problem) { return ReadContinuation(Block, Offset, Length, Out, Problem); });
}

// A continuation area lies within one sector of the session being read.
// The sector read last is kept: the areas of neighbouring records share it.
bool TSessionImport::ReadContinuation(uint32_t Block, uint32_t Offset, uint32_t Length, std::vector<uint8_t>& Out,
                                      std::string& Problem) {
    if (Offset >= kDiscSectorBytes || Length > kDiscSectorBytes - Offset) {
        Problem = "CONTINUATION AREA RUNNING PAST ITS SECTOR (" + std::to_string(Length) + " BYTES FROM BYTE " +
                  std::to_string(Offset) + " OF SECTOR " + std::to_string(Block) + ")";
        return false;
    }
    if (Block < sessionStart_ || RunsPastDisc(Block, 1) || (sessionEnd_ && Block >= *sessionEnd_)) {
        Problem = "CONTINUATION AREA OUTSIDE THE SESSION (SECTOR " + std::to_string(Block) + ")";
        return false;
    }
    if (!continuation_) continuation_ = std::make_unique<TSectorBuffer>();
    if (continuationLba_ != Block) {
        continuationLba_.reset();
        if (++continuationReads_ > kMaxContinuationSectors) {
            Stop("MORE THAN " + std::to_string(kMaxContinuationSectors) + " CONTINUATION SECTORS");
            Problem = "TOO MANY CONTINUATION AREAS";
            return false;
        }
        if (!ReadDiscSector(Block, continuation_->Bytes)) {
            Problem = "UNREADABLE CONTINUATION AREA (SECTOR " + std::to_string(Block) + ")";
            return false;
        }
        continuationLba_ = Block;
    }
    Out.assign(continuation_->Bytes + Offset, continuation_->Bytes + Offset + Length);
    return true;
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

bool TSessionImport::ReadTree(const TDirRef& Dir, TDEntry* Target, int Depth) {
    if (Stopped()) return false;
    TDirReading reading{Dir, Target, Depth, std::nullopt, 0, 0};
    const uint32_t sectors = SectorsFor(Dir.DataLength);
    auto sector = std::make_unique<TSectorBuffer>();
    for (uint32_t i = 0; i < sectors && !Stopped(); ++i) {
        if (!ReadDiscSector(Dir.Extent + i, sector->Bytes)) {
            if (!Stopped()) Skip("UNREADABLE DIRECTORY " + SectorText(Dir.Extent + i, 1) + ", REST OF THE DIRECTORY", Dir.Path);
            break;
        }
        const size_t limit = std::min<uint64_t>(kDiscSectorBytes, uint64_t(Dir.DataLength) - uint64_t(i) * kDiscSectorBytes);
        if (!ReadSector(reading, sector->Bytes, limit, i == 0)) break;
    }
    DropUnfinishedChain(reading);
    return reading.OnlyRelocated();
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

bool TSessionImport::ReadSector(TDirReading& Reading, const uint8_t* Sector, size_t Limit, bool First) {
    size_t offset = 0;
    int records = 0;
    while (offset + kRecordFixedBytes + 1 <= Limit && !Stopped()) {
        if (!joliet_ && LooksLikeXaField(Sector, offset, Limit)) {
            offset += 14;
            continue;
        }
        TDirRecord record;
        const std::string where = Reading.Dir.Path + " (RECORD AT BYTE " + std::to_string(offset) + ")";
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
        TakeRecord(Reading, record);
    }
    return !Stopped();
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
