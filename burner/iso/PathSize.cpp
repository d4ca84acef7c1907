// Sizes of local files and directory trees, before they are added.
#include <set>
#include <utility>

#include "burner/iso/Compilation.h"
#include "burner/iso/SourceProbe.h"

namespace kestrel {

namespace {

using TEntered = std::set<std::pair<dev_t, ino_t>>;

int64_t TreeSize(const std::string& Dir, TEntered& Entered) {
    std::vector<TSourceItem> items;
    int error = 0;
    ListSourceDir(Dir, items, error);
    int64_t total = 0;
    for (const TSourceItem& item : items) {
        if (item.Kind == TSourceKind::Directory) {
            // A directory reached again through a link is counted once.
            if (Entered.insert({item.Info.st_dev, item.Info.st_ino}).second)
                total += TreeSize(Dir + item.Name + "/", Entered);
        } else if (item.Kind == TSourceKind::File || item.Kind == TSourceKind::Unreadable) {
            if (S_ISREG(item.Info.st_mode)) total += item.Info.st_size;
        }
    }
    return total;
}

}  // namespace

int64_t TCompilation::GetPathSize(const std::string& Path) const {
    const TSourceItem item = ProbeSource(Path);
    if (item.Kind == TSourceKind::Directory) {
        TEntered entered{{item.Info.st_dev, item.Info.st_ino}};
        return TreeSize(Path.back() == '/' ? Path : Path + "/", entered);
    }
    if (Path.empty() || Path.back() == '/') return 0;
    return S_ISREG(item.Info.st_mode) && item.Kind != TSourceKind::Missing ? item.Info.st_size : 0;
}

}  // namespace kestrel
