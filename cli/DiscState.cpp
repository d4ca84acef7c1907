#include "cli/DiscState.h"

namespace kestrel::cli {

std::string UnfinishedSessionText(const TUnfinishedSession& Session) {
    return "session " + std::to_string(Session.Session) +
           " of the disc is unfinished: a burn failed or was interrupted after writing " +
           std::to_string(Session.RecordedBlocks) + " sectors from sector " + std::to_string(Session.Start);
}

std::string CloseUnfinishedHint() {
    return "\"kestrel-cli burn --close-unfinished SOURCE...\" closes it and writes the new session behind it";
}

}  // namespace kestrel::cli
