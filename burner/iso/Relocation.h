#pragma once
// Relocation of directories that lie deeper than ISO 9660's eight levels in
// the primary tree, as Rock Ridge does it: each is listed in a relocation
// directory below the root (with RE), its parent keeps a placeholder record
// (with CL), and its ".." carries its real parent (PL). Readers with Rock
// Ridge see the original tree; the Joliet tree is never changed. The
// relocation directory belongs to the layout, not to the compilation.
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "burner/iso/Entries.h"

namespace kestrel::iso {

class TRelocation {
public:
    static constexpr int MaxDepth = 8;  // the root is level 1

    // Forgets the previous plan and moves every directory of Dirs (in order
    // of creation, the root first) that would lie deeper than MaxDepth.
    void Plan(const std::vector<std::unique_ptr<TDEntry>>& Dirs);
    void Clear();

    bool Empty() const { return moved_.empty(); }
    // The relocation directory, null when nothing moves.
    TDEntry* Directory() const { return dir_.get(); }
    const TFEntry* DirectoryEntry() const { return entry_.get(); }
    // The entries of the relocated directories, listed in the relocation directory.
    const std::vector<const TFEntry*>& MovedEntries() const { return movedEntries_; }
    bool IsMoved(const TDEntry& Dir) const { return moved_.count(&Dir) != 0; }
    // The directory's parent in the primary tree.
    const TDEntry& IsoParent(const TDEntry& Dir) const;

private:
    void MakeDirectory(TDEntry& Root);

    std::unique_ptr<TDEntry> dir_;
    std::unique_ptr<TFEntry> entry_;
    std::unordered_set<const TDEntry*> moved_;
    std::vector<const TFEntry*> movedEntries_;
};

}  // namespace kestrel::iso
