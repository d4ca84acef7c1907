#pragma once
// Plain reads and writes on a virtual node, as the block device of a real
// drive serves them. Reads deliver the disc's recorded sectors (any offset,
// ending at the capacity READ CAPACITY reports). Writes reach only media a
// drive can overwrite in place (DVD-RAM, DVD+RW, DVD-RW in restricted
// overwrite), as WRITE (10) commands; other media answer EROFS, as the
// kernel's cdrom driver does.
#include <sys/types.h>

#include "FakeFiles.h"

namespace vdrive::sg {

ssize_t ReadAt(FakeFile& File, void* Buf, size_t Count, int64_t Offset);
ssize_t ReadNext(FakeFile& File, void* Buf, size_t Count);
ssize_t WriteAt(FakeFile& File, const void* Buf, size_t Count, int64_t Offset);
ssize_t WriteNext(FakeFile& File, const void* Buf, size_t Count);
off_t Seek(FakeFile& File, off_t Offset, int Whence);

}  // namespace vdrive::sg
