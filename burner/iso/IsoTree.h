#pragma once
// One of the image's two directory trees (ISO 9660 or Joliet): which names,
// sizes and extents of the shared entries it reads, and the extent size of
// a directory under the record placement rule both trees follow.
#include <cstdint>
#include <functional>
#include <string>

#include "burner/iso/Entries.h"
#include "burner/iso/IsoFormat.h"

namespace kestrel::iso {

struct TIsoTree {
    bool Joliet = false;

    TIdentifier Identifier(const TFEntry& E) const { return Joliet ? JolietIdentifier(E) : IsoIdentifier(E); }
    TIdentifier DirIdentifier(const TDEntry& D) const { return Joliet ? JolietDirIdentifier(D) : IsoDirIdentifier(D); }
    const std::string& Name(const TFEntry& E) const { return Joliet ? E.LongName : E.ShortName; }
    int64_t DirSize(const TDEntry& D) const { return Joliet ? D.JolietSize : D.ISOSize; }
    int32_t DirExtent(const TDEntry& D) const { return Joliet ? D.JolietExtent : D.ISOExtent; }
    int64_t EntrySize(const TFEntry& E) const { return Joliet ? E.JolietSize : E.ISOSize; }
    int32_t EntryExtent(const TFEntry& E) const { return Joliet ? E.JolietExtent : E.ISOExtent; }

    // The directory's list already carries its own "." and ".." entries.
    bool ListHasDots(const TDEntry& D) const { return D.Files && Name(*D.Files) == "."; }
};

// Bytes of the directory's extent in Tree: "." and ".." (unless its list
// carries them), then every entry in list order; a record that does not fit
// in the rest of a sector starts the next one. A multiple of 2048.
// OnShortened is called for entries whose identifier had to be shortened.
int64_t DirectoryExtentBytes(const TDEntry& Dir, const TIsoTree& Tree,
                             const std::function<void(const TFEntry&)>& OnShortened = {});

}  // namespace kestrel::iso
