#pragma once
// A local folder that extraction writes into, held open by a descriptor.
// Every name is created relative to it (openat, mkdirat, symlinkat), and no
// name in it is ever opened through a symbolic link: a folder swapped for a
// link while the extraction runs, or a link the disc itself put there,
// cannot send a write outside the folder the user chose.
#include <optional>
#include <string>
#include <utility>

namespace kestrel {

class TLocalFolder {
public:
    // Opens the folder Path (links in Path itself are followed: the caller
    // named it). Nothing, with errno set, when it cannot be opened.
    static std::optional<TLocalFolder> Open(const std::string& Path);

    // The subfolder Name: created when missing, opened without following a
    // link. Nothing, with Error set (upper case), when Name is anything but
    // a folder of its own.
    std::optional<TLocalFolder> Subfolder(const std::string& Name, std::string& Error) const;

    TLocalFolder(TLocalFolder&& Other) noexcept;
    TLocalFolder& operator=(TLocalFolder&& Other) noexcept;
    TLocalFolder(const TLocalFolder&) = delete;
    TLocalFolder& operator=(const TLocalFolder&) = delete;
    ~TLocalFolder();

    int Fd() const { return fd_; }
    // The folder's path, for messages.
    const std::string& Path() const { return path_; }
    std::string PathOf(const std::string& Name) const { return path_ + "/" + Name; }

private:
    TLocalFolder(int Fd, std::string Path) : fd_(Fd), path_(std::move(Path)) {}

    int fd_ = -1;
    std::string path_;
};

}  // namespace kestrel
