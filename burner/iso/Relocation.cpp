#include "burner/iso/Relocation.h"

#include <string>

#include "burner/iso/DateTime.h"
#include "burner/iso/Names.h"

namespace kestrel::iso {

namespace {

constexpr char MovedDirName[] = "rr_moved";

bool NameTaken(const TDEntry& Root, const std::string& Name) {
    const std::string upper = UpperAscii(Name);
    for (const TFEntry* e = Root.Files; e; e = e->Next)
        if (UpperAscii(e->LongName) == upper || e->ShortName == upper) return true;
    return false;
}

}  // namespace

void TRelocation::Clear() {
    dir_.reset();
    entry_.reset();
    moved_.clear();
    movedEntries_.clear();
}

void TRelocation::Plan(const std::vector<std::unique_ptr<TDEntry>>& Dirs) {
    Clear();
    if (Dirs.empty()) return;
    TDEntry& root = *Dirs.front();
    // Depth in the primary tree; a moved directory sits at level 3, below
    // the relocation directory.
    std::unordered_map<const TDEntry*, int> depth{{&root, 1}};
    for (size_t i = 1; i < Dirs.size(); ++i) {
        const TDEntry* dir = Dirs[i].get();
        const auto parent = depth.find(dir->Parent);
        int level = (parent == depth.end() ? 1 : parent->second) + 1;
        if (level > MaxDepth && dir->Self) {
            moved_.insert(dir);
            movedEntries_.push_back(dir->Self);
            level = 3;
        }
        depth[dir] = level;
    }
    if (!moved_.empty()) MakeDirectory(root);
}

void TRelocation::MakeDirectory(TDEntry& Root) {
    std::string name = MovedDirName;
    for (int n = 1; NameTaken(Root, name); ++n) name = std::string(MovedDirName) + "_" + std::to_string(n);
    dir_ = std::make_unique<TDEntry>();
    entry_ = std::make_unique<TFEntry>();
    dir_->LongName = entry_->LongName = name;
    dir_->ShortName = entry_->ShortName = UpperAscii(name);
    dir_->Path = "\\" + dir_->ShortName;
    dir_->Parent = &Root;
    dir_->Level = 2;
    dir_->Self = entry_.get();
    entry_->Dir = dir_.get();
    entry_->Attr = faDirectory;
    entry_->Mode = 040555;
    entry_->DateTime = NowDateTime();
}

const TDEntry& TRelocation::IsoParent(const TDEntry& Dir) const {
    if (dir_ && IsMoved(Dir)) return *dir_;
    return Dir.Parent ? *Dir.Parent : Dir;
}

}  // namespace kestrel::iso
