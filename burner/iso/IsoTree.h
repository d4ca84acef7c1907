#pragma once
// One of the image's two directory trees (ISO 9660 or Joliet): which names,
// sizes and extents of the shared entries it reads, which directories and
// records it holds, and the extent size of a directory under the record
// placement rule both trees follow.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "burner/iso/Entries.h"
#include "burner/iso/IsoFormat.h"
#include "burner/iso/Relocation.h"
#include "burner/iso/SystemUse.h"

namespace kestrel::iso {

struct TIsoTree {
    bool Joliet = false;
    // The primary tree's extension (Rock Ridge): system-use entries for
    // every record and the relocation of deep directories. Null without.
    const TSystemUseProducer* SystemUse = nullptr;
    const TRelocation* Relocation = nullptr;

    size_t IsoIdLimit() const { return SystemUse ? MaxRockIsoIdBytes : MaxIsoIdBytes; }
    TIdentifier Identifier(const TFEntry& E) const { return Joliet ? JolietIdentifier(E) : IsoIdentifier(E, IsoIdLimit()); }
    TIdentifier DirIdentifier(const TDEntry& D) const {
        return Joliet ? JolietDirIdentifier(D) : IsoDirIdentifier(D, IsoIdLimit());
    }
    const std::string& Name(const TFEntry& E) const { return Joliet ? E.LongName : E.ShortName; }
    int64_t DirSize(const TDEntry& D) const { return Joliet ? D.JolietSize : D.ISOSize; }
    int32_t DirExtent(const TDEntry& D) const { return Joliet ? D.JolietExtent : D.ISOExtent; }
    int64_t EntrySize(const TFEntry& E) const { return Joliet ? E.JolietSize : E.ISOSize; }
    int32_t EntryExtent(const TFEntry& E) const { return Joliet ? E.JolietExtent : E.ISOExtent; }

    // The directory's list already carries its own "." and ".." entries.
    bool ListHasDots(const TDEntry& D) const { return D.Files && Name(*D.Files) == "."; }

    const TRelocation* ActiveRelocation() const {
        return !Joliet && Relocation && !Relocation->Empty() ? Relocation : nullptr;
    }
    // The parent whose extent ".." names.
    const TDEntry& ParentOf(const TDEntry& D) const {
        if (const TRelocation* r = ActiveRelocation()) return r->IsoParent(D);
        return D.Parent ? *D.Parent : D;
    }
    // The tree's directories in the order their extents are laid out: the
    // compilation's in order of creation, the primary tree's relocation
    // directory right after the root. Readers that read an image front to
    // back (bsdtar) then meet it before the directories it lists.
    void ForEachDir(const std::vector<std::unique_ptr<TDEntry>>& Dirs, const std::function<void(TDEntry&)>& Fn) const {
        const TRelocation* r = ActiveRelocation();
        for (size_t i = 0; i < Dirs.size(); ++i) {
            Fn(*Dirs[i]);
            if (i == 0 && r) Fn(*r->Directory());
        }
    }
    // The entries listed in D, in order.
    void ForEachEntry(const TDEntry& D, const std::function<void(const TFEntry&)>& Fn) const {
        const TRelocation* r = ActiveRelocation();
        if (r && &D == r->Directory()) {
            for (const TFEntry* e : r->MovedEntries()) Fn(*e);
            return;
        }
        for (const TFEntry* e = D.Files; e; e = e->Next) Fn(*e);
        if (r && D.Parent == &D) Fn(*r->DirectoryEntry());
    }
};

// Bytes of the directory's extent in Tree: "." and ".." (unless its list
// carries them), then every record in list order; a record that does not fit
// in the rest of a sector starts the next one. A multiple of 2048. Entries
// moved to continuation areas are counted in Area. OnShortened is called
// for entries whose identifier had to be shortened.
int64_t DirectoryExtentBytes(const TDEntry& Dir, const TIsoTree& Tree, TContinuationArea& Area,
                             const std::function<void(const TFEntry&)>& OnShortened = {});

}  // namespace kestrel::iso
