#pragma once
// A file being written under a temporary name beside its final name, so
// that an interrupted copy never leaves a file that looks complete. It is
// removed unless Commit renames it into place.
#include <ctime>
#include <string>

namespace kestrel {

class TPartFile {
public:
    // Creates the temporary file in the folder of Target; throws
    // std::system_error when it cannot be created.
    explicit TPartFile(const std::string& Target);
    ~TPartFile();
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    // Writes all of Bytes; false with Error set on failure.
    bool Write(const void* Bytes, size_t Length, std::string& Error);
    // Closes the file with the given modification time (-1: leave it) and
    // renames it to the target; an existing target is replaced only with
    // Replace. False with Error set on failure.
    bool Commit(time_t ModificationTime, bool Replace, std::string& Error);
    const std::string& Path() const { return path_; }

private:
    std::string target_;
    std::string path_;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace kestrel
