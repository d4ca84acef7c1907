#pragma once
// Buffered, 64-bit sequential writer of an image file. Every failure throws
// std::runtime_error naming the file and the reason; nothing is dropped
// silently. The file reaches its name only when Close succeeds (see
// TImageTarget).
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "burner/iso/ImageTarget.h"

namespace kestrel::iso {

class TImageFileWriter {
public:
    // Opens the target FileName (WhileWaiting: see TImageTarget).
    explicit TImageFileWriter(const std::string& FileName, size_t BufferBytes = 256 << 10,
                              const std::function<void()>& WhileWaiting = {});
    // Without a successful Close the target keeps what it held.
    ~TImageFileWriter();
    TImageFileWriter(const TImageFileWriter&) = delete;
    TImageFileWriter& operator=(const TImageFileWriter&) = delete;

    void Append(const void* Data, size_t Count);
    // Count zero bytes; whole buffers of them and gaps before the next
    // write are left as holes in a regular file, which read as zeros.
    void AppendZeros(int64_t Count);
    // Copies up to Count bytes of the open file Fd from SourceOffset inside
    // the kernel. The bytes copied (0 at the source's end), or -1 with errno
    // set when it could not: the caller reads and appends instead, or, for
    // an error CopyUnsupported does not name, reports it.
    // Sources on a device the kernel refused once are not tried again.
    int64_t CopyFrom(int Fd, uint64_t SourceDevice, int64_t SourceOffset, int64_t Count);
    // The kernel cannot copy between these two files (errno of CopyFrom).
    static bool CopyUnsupported(int Error);
    // Free room at the end of the buffer (flushing first when it is full),
    // at most Wanted bytes; fill it and Commit what was filled.
    uint8_t* Room(size_t Wanted, size_t& Granted);
    void Commit(size_t Count) { used_ += Count; }

    // Bytes appended so far: the position in the file.
    int64_t Position() const { return flushed_ + static_cast<int64_t>(used_); }
    // Writes out the buffer, closes the file and puts it in place of the
    // target; errors throw.
    void Close();
    const std::string& FileName() const { return target_.FileName(); }

private:
    void Flush();
    [[noreturn]] void Fail(const std::string& What, int Error) const;

    TImageTarget target_;
    int fd_ = -1;
    bool regular_ = false;
    std::set<uint64_t> noCopyDevices_;
    std::vector<uint8_t> buffer_;
    size_t used_ = 0;
    int64_t flushed_ = 0;
};

}  // namespace kestrel::iso
