#pragma once
// A source file of the image opened for copying: positional reads that turn
// every failure into an exception naming the file, and the holes of sparse
// files so that the copy can skip them.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace kestrel::iso {

class TSourceFile {
public:
    // Opens Path read-only; a missing, unreadable or non-regular file throws.
    explicit TSourceFile(const std::string& Path);
    ~TSourceFile();
    TSourceFile(const TSourceFile&) = delete;
    TSourceFile& operator=(const TSourceFile&) = delete;

    int Handle() const { return fd_; }
    uint64_t Device() const { return device_; }
    const std::string& Path() const { return path_; }
    // The size when it was opened.
    int64_t Size() const { return size_; }
    // The file's size or modification time is no longer what it was when it
    // was opened: it was written to meanwhile.
    bool ChangedSinceOpened() const;
    // Bytes read at Offset into Buffer; 0 at the end; a read error throws.
    size_t Read(uint8_t* Buffer, size_t Count, int64_t Offset);
    // For a sparse file: the end of the hole that begins at Offset (Offset
    // itself when data begins there). Only holes inside Size() are reported.
    int64_t HoleEnd(int64_t Offset);
    // The start of the next hole after Offset (Size() when there is none).
    int64_t DataEnd(int64_t Offset);

private:
    std::string path_;
    int fd_ = -1;
    int64_t size_ = 0;
    bool sparse_ = false;
    uint64_t device_ = 0;
    struct timespec modified_ {};
};

}  // namespace kestrel::iso
