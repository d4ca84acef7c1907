#pragma once
// A file being written under a temporary name beside its final name, so
// that an interrupted copy never leaves a file that looks complete. It is
// removed unless Commit renames it into place. Symbolic links are placed
// the same way. Both are created inside an open folder and never through a
// symbolic link.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "burner/engine/LocalFolder.h"

namespace kestrel {

class TPartFile {
public:
    // Creates the temporary file in Folder, beside Name; throws
    // std::system_error when it cannot be created.
    TPartFile(const TLocalFolder& Folder, const std::string& Name);
    ~TPartFile();
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    // Writes all of Bytes; false with Error set on failure.
    bool Write(const void* Bytes, size_t Length, std::string& Error);
    // Leaves Length zero bytes as a hole instead of writing them.
    bool Skip(uint64_t Length, std::string& Error);
    // Closes the file with the given permission bits (-1: leave them) and
    // modification time (-1: leave it) and renames it to its name; an
    // existing file is replaced only with Replace. False with Error set on
    // failure.
    bool Commit(time_t ModificationTime, mode_t Permissions, bool Replace, std::string& Error);

private:
    int dir_;
    std::string name_;
    std::string shown_;  // the final path, for messages
    std::string temp_;
    int fd_ = -1;
    uint64_t size_ = 0;  // bytes written and skipped
    bool holes_ = false;
    bool committed_ = false;
};

// Creates the symbolic link Name -> Target in Folder, its time set to
// ModificationTime (-1: leave it); an existing file or link is replaced only
// with Replace. False with Error set on failure.
bool PlaceLink(const TLocalFolder& Folder, const std::string& Name, const std::string& Target, time_t ModificationTime,
               bool Replace, std::string& Error);

}  // namespace kestrel
