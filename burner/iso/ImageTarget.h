#pragma once
// Where an image file goes. A regular file, or a name that is still free,
// is written under a temporary name beside it ("NAME.part-...") and renamed
// into place once the image is complete, so a failed or aborted build never
// destroys what was there (only a file in a folder that takes no new file,
// or one that only a descriptor link of /proc leads to, is overwritten in
// place). A device node or a FIFO is written through as
// given; a symbolic link leads to the item it points to, and the link stays.
#include <sys/stat.h>

#include <functional>
#include <string>

namespace kestrel::iso {

class TImageTarget {
public:
    // Opens FileName for writing. Throws std::runtime_error
    // ("CAN'T CREATE FILE "FileName": reason") when it cannot. A FIFO is
    // opened once a program reads from it; WhileWaiting is called meanwhile
    // and may end the wait by throwing.
    explicit TImageTarget(const std::string& FileName, const std::function<void()>& WhileWaiting = {});
    // Closes the target and removes the temporary file unless committed.
    ~TImageTarget();
    TImageTarget(const TImageTarget&) = delete;
    TImageTarget& operator=(const TImageTarget&) = delete;

    int Handle() const { return fd_; }
    // Written under a temporary name.
    bool IsTemporary() const { return !temp_.empty(); }
    // A regular file written from its start, which may hold holes.
    bool IsRegular() const { return regular_; }
    const std::string& FileName() const { return name_; }
    const std::string& TemporaryName() const { return temp_; }
    // Closes the target and puts a temporary file in place of the final
    // item. Throws ("CAN'T WRITE FILE "FileName": reason") on failure.
    void Commit();

private:
    void CreateTemporary(const std::string& Final, const struct stat* Replaced);
    void OpenInPlace(const std::string& Path);
    void OpenThrough(const std::string& Final, bool Fifo, const std::function<void()>& WhileWaiting);
    [[noreturn]] void FailCreate(const std::string& Reason) const;

    std::string name_;
    std::string final_;  // the item written: FileName with its links followed
    std::string temp_;
    int fd_ = -1;
    bool regular_ = false;
    bool committed_ = false;
};

}  // namespace kestrel::iso
