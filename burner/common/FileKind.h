#pragma once
// Names what a file-system item is, for messages that refuse an item that
// is not the kind of file an operation needs.
#include <sys/types.h>

#include <string>

namespace kestrel {

// "A DIRECTORY", "A FIFO", "A CHARACTER DEVICE", ... for the type bits of Mode.
std::string FileKindName(mode_t Mode);

}  // namespace kestrel
