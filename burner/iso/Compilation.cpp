#include "burner/iso/Compilation.h"

#include <algorithm>

#include "burner/iso/DateTime.h"
#include "burner/iso/Names.h"

namespace kestrel {

namespace {

std::string Format(const char* Pattern, int Value) {
    std::string text = Pattern;
    const size_t at = text.find("%d");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(Value));
    return text;
}

}  // namespace

size_t TCompilation::TNameKeyHash::operator()(const TNameKey& Key) const {
    return std::hash<std::string>()(Key.Name) ^ (std::hash<const void*>()(Key.Dir) * 31);
}

TCompilation::TCompilation() { ClearAll(65535, 8191); }

TCompilation::~TCompilation() = default;

bool TCompilation::ClearAll(int NewMaxFiles, int NewMaxDirs) {
    GMTOffset = LocalGMTOffset();
    dirsByPath_.clear();
    entriesByName_.clear();
    alteredShortNames_.clear();
    jolietAliases_.clear();
    ISODirOrder.clear();
    JolietDirOrder.clear();
    DirTable.clear();
    FileTable.clear();
    MaxFiles = NewMaxFiles;
    MaxDirs = NewMaxDirs;
    // Sized for the limits up front: growing tables of this size step by
    // step costs more than the memory kept.
    const auto capacity = [](int Count) { return static_cast<size_t>(std::max(Count, 0)); };
    FileTable.reserve(capacity(MaxFiles));
    DirTable.reserve(capacity(MaxDirs));
    ISODirOrder.reserve(capacity(MaxDirs));
    JolietDirOrder.reserve(capacity(MaxDirs));
    dirsByPath_.reserve(capacity(MaxDirs));
    entriesByName_.reserve(capacity(MaxFiles));
    CompilationSize = 0;
    limitHits_ = 0;
    skipped_.clear();
    RootDir = NewDirEntry();
    if (RootDir) {
        RootDir->Path = "\\";
        RootDir->ShortName = "CD_ROOT";
        RootDir->LongName = "CD Root Directory";
        RootDir->Level = 1;
        RootDir->Parent = RootDir;
    }
    return true;
}

TDEntry* TCompilation::NewDirEntry() {
    if (static_cast<int>(DirTable.size()) >= MaxDirs) {
        DebugMsg(">>> " + Format("MAXIMUM DIRECTORIES CAN BE %d", MaxDirs), mtLimit);
        ++limitHits_;
        return nullptr;
    }
    DirTable.push_back(std::make_unique<TDEntry>());
    TDEntry* entry = DirTable.back().get();
    ISODirOrder.push_back(entry);
    JolietDirOrder.push_back(entry);
    return entry;
}

TFEntry* TCompilation::NewFileEntry() {
    if (static_cast<int>(FileTable.size()) >= MaxFiles) {
        DebugMsg(Format("MAXIMUM FILES CAN BE %d", MaxFiles), mtLimit);
        ++limitHits_;
        return nullptr;
    }
    FileTable.push_back(std::make_unique<TFEntry>());
    return FileTable.back().get();
}

void TCompilation::LogSkip(const std::string& Reason, const std::string& Path) const {
    DebugMsg(">>> SKIPPING " + Reason + ": " + Path, mtFailure);
    skipped_.push_back({Path, Reason});
}

}  // namespace kestrel
