#pragma once
// ioctl on a virtual-drive descriptor: the SCSI generic requests (SG_IO and
// its companions), the cdrom driver's requests and the block-device size
// queries, answered as Linux answers them for a real /dev/srN.
#include "FakeFiles.h"

namespace vdrive::sg {

// Result as ioctl returns it: -1 with errno set on failure.
int FakeIoctl(FakeFile& File, unsigned long Request, void* Arg);

// The generic SCSI part; false when Request is not one of its requests.
bool ScsiIoctl(FakeFile& File, unsigned long Request, void* Arg, int& Result);
// The cdrom and block part; false when Request is not one of its requests.
bool CdromIoctl(FakeFile& File, unsigned long Request, void* Arg, int& Result);

}  // namespace vdrive::sg
