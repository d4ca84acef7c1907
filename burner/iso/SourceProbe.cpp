#include "burner/iso/SourceProbe.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "burner/iso/ArchiveMark.h"
#include "burner/iso/DateTime.h"

namespace kestrel {

namespace {

// Read permission that the mode bits alone grant, which spares most files
// the access check.
bool SurelyReadable(const struct stat& Info) {
    static const uid_t effective = geteuid();
    if (effective == 0 || (Info.st_mode & S_IROTH)) return true;
    return Info.st_uid == effective && (Info.st_mode & S_IRUSR);
}

// Classifies an item examined relative to DirFd (AT_FDCWD for a full path).
TSourceItem Examine(int DirFd, const char* Name) {
    TSourceItem item;
    item.Name = Name;
    if (fstatat(DirFd, Name, &item.Info, 0) != 0) {
        item.Error = errno;
        struct stat link {};
        if (item.Error == ENOENT && fstatat(DirFd, Name, &link, AT_SYMLINK_NOFOLLOW) == 0)
            item.Kind = TSourceKind::BrokenLink;
        else if (item.Error == ENOENT || item.Error == ENOTDIR)
            item.Kind = TSourceKind::Missing;
        else
            item.Kind = TSourceKind::Unreadable;
        return item;
    }
    if (S_ISDIR(item.Info.st_mode)) {
        item.Kind = TSourceKind::Directory;
    } else if (!S_ISREG(item.Info.st_mode)) {
        item.Kind = TSourceKind::Special;
    } else if (!SurelyReadable(item.Info) && faccessat(DirFd, Name, R_OK, AT_EACCESS) != 0) {
        item.Error = errno;
        item.Kind = TSourceKind::Unreadable;
    } else {
        item.Kind = TSourceKind::File;
    }
    return item;
}

// Reads the link's own status and target into Item.
void ExamineLink(int DirFd, const char* Name, TSourceItem& Item) {
    if (fstatat(DirFd, Name, &Item.LinkInfo, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(Item.LinkInfo.st_mode)) return;
    std::string target(4096, '\0');
    const ssize_t n = readlinkat(DirFd, Name, target.data(), target.size());
    if (n <= 0) return;
    target.resize(static_cast<size_t>(n));
    Item.IsLink = true;
    Item.LinkTarget = target;
}

}  // namespace

TSourceItem ProbeSource(const std::string& Path) {
    TSourceItem item = Examine(AT_FDCWD, Path.c_str());
    std::string bare = Path;
    while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
    if (bare.size() == Path.size()) ExamineLink(AT_FDCWD, Path.c_str(), item);
    const size_t slash = Path.find_last_of('/', Path.size() > 1 ? Path.size() - 2 : 0);
    item.Name = slash == std::string::npos ? Path : Path.substr(slash + 1);
    while (item.Name.size() > 1 && item.Name.back() == '/') item.Name.pop_back();
    return item;
}

bool ListSourceDir(const std::string& Dir, std::vector<TSourceItem>& Items, int& Error) {
    Items.clear();
    DIR* stream = opendir(Dir.c_str());
    if (!stream) {
        Error = errno;
        return false;
    }
    const int fd = dirfd(stream);
    errno = 0;
    while (const dirent* found = readdir(stream)) {
        if (std::strcmp(found->d_name, ".") == 0 || std::strcmp(found->d_name, "..") == 0) continue;
        Items.push_back(Examine(fd, found->d_name));
        if (found->d_type == DT_LNK || found->d_type == DT_UNKNOWN) ExamineLink(fd, found->d_name, Items.back());
        errno = 0;
    }
    Error = errno;
    closedir(stream);
    if (Error != 0) return false;
    std::sort(Items.begin(), Items.end(),
              [](const TSourceItem& A, const TSourceItem& B) { return A.Name < B.Name; });
    return true;
}

TSearchData SearchDataOf(const TSourceItem& Item, const std::string& FullPath, bool CheckArchive) {
    TSearchData data;
    data.Name = Item.Name;
    data.Size = Item.Kind == TSourceKind::Directory ? 0 : static_cast<int64_t>(Item.Info.st_size);
    data.Time = UnixToDateTime(Item.Info.st_mtim.tv_sec);
    data.AccessTime = UnixToDateTime(Item.Info.st_atim.tv_sec);
    data.ChangeTime = UnixToDateTime(Item.Info.st_ctim.tv_sec);
    data.Mode = Item.Info.st_mode;
    if (Item.Kind == TSourceKind::Directory) data.Attr |= faDirectory;
    if (!Item.Name.empty() && Item.Name[0] == '.') data.Attr |= faHidden;
    if (Item.Kind == TSourceKind::File && CheckArchive && !HasArchiveMark(FullPath, Item.Info))
        data.Attr |= faArchive;
    return data;
}

TSearchData LinkSearchDataOf(const TSourceItem& Item) {
    TSearchData data;
    data.Name = Item.Name;
    data.Time = UnixToDateTime(Item.LinkInfo.st_mtim.tv_sec);
    data.AccessTime = UnixToDateTime(Item.LinkInfo.st_atim.tv_sec);
    data.ChangeTime = UnixToDateTime(Item.LinkInfo.st_ctim.tv_sec);
    data.Mode = Item.LinkInfo.st_mode;
    data.LinkTarget = Item.LinkTarget;
    if (!Item.Name.empty() && Item.Name[0] == '.') data.Attr |= faHidden;
    return data;
}

std::string SkipReason(const TSourceItem& Item) {
    switch (Item.Kind) {
        case TSourceKind::Missing: return "MISSING FILE";
        case TSourceKind::BrokenLink: return "BROKEN SYMBOLIC LINK";
        case TSourceKind::Special: return "FIFO, SOCKET OR DEVICE NODE";
        case TSourceKind::Unreadable:
            return std::string("UNREADABLE ITEM (") + std::strerror(Item.Error) + ")";
        case TSourceKind::Directory: return "DIRECTORY GIVEN AS A FILE";
        case TSourceKind::File: break;
    }
    return "FILE";
}

}  // namespace kestrel
