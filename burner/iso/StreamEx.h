#pragma once
// File streams with 64-bit positions and sizes, on the POSIX file calls.
// Failed reads, writes and opens are results, not exceptions: callers test
// the counts and Handle() and word their own messages.
#include <cstdint>
#include <string>

namespace kestrel {

// Seek origins.
enum : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// Open modes of TFileStreamEx: fmCreate creates or truncates; otherwise the
// low two bits choose the access and the sharing bits (4-6) are accepted and
// ignored, as POSIX has no share modes.
enum : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF,
};

class TStreamEx {
public:
    virtual ~TStreamEx() = default;
    // Sets the size of the stream; does nothing in the base.
    virtual void SetSize(int64_t NewSize);
    // Bytes read, 0 when the read fails. A negative Count is a range error.
    virtual int Read(void* Buffer, int Count) = 0;
    // Bytes written; fewer than Count (0 on the first failure) when it fails.
    virtual int Write(const void* Buffer, int Count) = 0;
    // The new position, -1 on failure.
    virtual int64_t Seek(int64_t Offset, uint16_t Origin) = 0;
    // The end position; the current position is kept.
    int64_t GetSize();
};

class THandleStreamEx : public TStreamEx {
public:
    // Takes Handle as it is (it may be -1); does not own it.
    explicit THandleStreamEx(int Handle) : handle_(Handle) {}
    THandleStreamEx(const THandleStreamEx&) = delete;
    THandleStreamEx& operator=(const THandleStreamEx&) = delete;

    // Seek(NewSize) and end the file there; throws std::system_error when
    // the file cannot be resized.
    void SetSize(int64_t NewSize) override;
    int Read(void* Buffer, int Count) override;
    int Write(const void* Buffer, int Count) override;
    int64_t Seek(int64_t Offset, uint16_t Origin) override;

    int Handle() const { return handle_; }

protected:
    int handle_;
};

class TFileStreamEx : public THandleStreamEx {
public:
    // Opens (or with fmCreate creates) FileName. A failure leaves Handle()
    // at -1; it is not reported here.
    TFileStreamEx(const std::string& FileName, uint16_t Mode);
    ~TFileStreamEx() override;
};

}  // namespace kestrel
