#include "SectorIo.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "DriveQueries.h"
#include "Errno.h"
#include "kestrel/mmc.h"

namespace vdrive::sg {
namespace {

constexpr int64_t SectorSize = 2048;
constexpr int64_t SectorsPerRead = 32;

// Profiles of media a drive overwrites in place, sector by sector.
bool OverwritableInPlace(uint16_t Profile) {
    return Profile == 0x12 || Profile == 0x13 || Profile == 0x1A || Profile == 0x2A || Profile == mmc::profile::kBdRe;
}

// Runs Transfer at the file's offset and moves the offset past what it moved.
template <class TTransfer>
ssize_t AtFileOffset(FakeFile& File, TTransfer Transfer) {
    int64_t offset;
    {
        std::lock_guard lock(File.Mutex);
        offset = File.Offset;
    }
    const ssize_t n = Transfer(offset);
    if (n > 0) {
        std::lock_guard lock(File.Mutex);
        File.Offset = offset + n;
    }
    return n;
}

}  // namespace

ssize_t ReadAt(FakeFile& File, void* Buf, size_t Count, int64_t Offset) {
    if (Offset < 0) return FailWith(EINVAL);
    if (!Buf && Count > 0) return FailWith(EFAULT);
    const int64_t size = int64_t{ReadableSectors(File.Drive)} * SectorSize;
    if (Offset >= size || Count == 0) return 0;
    const int64_t end = std::min<int64_t>(size, Offset + static_cast<int64_t>(std::min<size_t>(Count, SSIZE_MAX)));
    std::vector<uint8_t> chunk(SectorsPerRead * SectorSize);
    auto* out = static_cast<uint8_t*>(Buf);
    int64_t at = Offset;
    while (at < end) {
        const int64_t lba = at / SectorSize;
        const int64_t lastLba = (end - 1) / SectorSize;
        const auto sectors = static_cast<uint16_t>(std::min(SectorsPerRead, lastLba - lba + 1));
        if (!ReadSectors(File.Drive, static_cast<uint32_t>(lba), sectors, chunk.data())) {
            if (at == Offset) return FailWith(EIO);
            break;
        }
        const int64_t skip = at - lba * SectorSize;
        const int64_t n = std::min<int64_t>(end - at, sectors * SectorSize - skip);
        std::memcpy(out + (at - Offset), chunk.data() + skip, static_cast<size_t>(n));
        at += n;
    }
    return static_cast<ssize_t>(at - Offset);
}

ssize_t ReadNext(FakeFile& File, void* Buf, size_t Count) {
    return AtFileOffset(File, [&](int64_t Offset) { return ReadAt(File, Buf, Count, Offset); });
}

ssize_t WriteAt(FakeFile& File, const void* Buf, size_t Count, int64_t Offset) {
    if ((File.Flags & O_ACCMODE) == O_RDONLY) return FailWith(EBADF);
    if (Offset < 0) return FailWith(EINVAL);
    if (!Buf && Count > 0) return FailWith(EFAULT);
    if (Count == 0) return 0;
    if (!OverwritableInPlace(CurrentProfile(File.Drive))) return FailWith(EROFS);
    const int64_t end = Offset + static_cast<int64_t>(std::min<size_t>(Count, SSIZE_MAX));
    std::vector<uint8_t> chunk(SectorsPerRead * SectorSize);
    const auto* in = static_cast<const uint8_t*>(Buf);
    int64_t at = Offset;
    while (at < end) {
        const int64_t lba = at / SectorSize;
        const int64_t skip = at - lba * SectorSize;
        const auto sectors = static_cast<uint16_t>(std::min(SectorsPerRead, (end - 1) / SectorSize - lba + 1));
        const int64_t n = std::min<int64_t>(end - at, sectors * SectorSize - skip);
        // Sectors written only in part keep the rest of their bytes.
        const bool partial = skip != 0 || (skip + n) % SectorSize != 0;
        bool ok = !partial || ReadSectors(File.Drive, static_cast<uint32_t>(lba), sectors, chunk.data());
        if (ok) {
            std::memcpy(chunk.data() + skip, in + (at - Offset), static_cast<size_t>(n));
            ok = WriteSectors(File.Drive, static_cast<uint32_t>(lba), sectors, chunk.data());
        }
        if (!ok) {
            if (at == Offset) return FailWith(lba >= int64_t{ReadableSectors(File.Drive)} ? ENOSPC : EIO);
            break;
        }
        at += n;
    }
    return static_cast<ssize_t>(at - Offset);
}

ssize_t WriteNext(FakeFile& File, const void* Buf, size_t Count) {
    return AtFileOffset(File, [&](int64_t Offset) { return WriteAt(File, Buf, Count, Offset); });
}

off_t Seek(FakeFile& File, off_t Offset, int Whence) {
    std::lock_guard lock(File.Mutex);
    int64_t base = 0;
    switch (Whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = File.Offset; break;
    case SEEK_END: base = int64_t{ReadableSectors(File.Drive)} * SectorSize; break;
    default: errno = EINVAL; return -1;
    }
    if (base + Offset < 0) {
        errno = EINVAL;
        return -1;
    }
    File.Offset = base + Offset;
    return static_cast<off_t>(File.Offset);
}

}  // namespace vdrive::sg
