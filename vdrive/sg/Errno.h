#pragma once
// How the interposed calls fail: errno set, -1 returned, as the C library's.
#include <cerrno>

namespace vdrive::sg {

inline int FailWith(int Error) {
    errno = Error;
    return -1;
}

}  // namespace vdrive::sg
