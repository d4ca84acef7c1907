#pragma once
// Plain reads on a virtual node: the disc's recorded sectors, as the block
// device of a real drive delivers them (any offset, ending at the capacity
// READ CAPACITY reports). Writes through the block device are refused.
#include <sys/types.h>

#include "FakeFiles.h"

namespace vdrive::sg {

ssize_t ReadAt(FakeFile& File, void* Buf, size_t Count, int64_t Offset);
ssize_t ReadNext(FakeFile& File, void* Buf, size_t Count);
off_t Seek(FakeFile& File, off_t Offset, int Whence);

}  // namespace vdrive::sg
