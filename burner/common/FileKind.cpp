#include "burner/common/FileKind.h"

#include <sys/stat.h>

namespace kestrel {

std::string FileKindName(mode_t Mode) {
    if (S_ISREG(Mode)) return "A REGULAR FILE";
    if (S_ISDIR(Mode)) return "A DIRECTORY";
    if (S_ISCHR(Mode)) return "A CHARACTER DEVICE";
    if (S_ISBLK(Mode)) return "A BLOCK DEVICE";
    if (S_ISFIFO(Mode)) return "A FIFO";
    if (S_ISSOCK(Mode)) return "A SOCKET";
    if (S_ISLNK(Mode)) return "A SYMBOLIC LINK";
    return "NEITHER A FILE NOR A DIRECTORY";
}

}  // namespace kestrel
