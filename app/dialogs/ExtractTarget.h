#pragma once
// Where files taken from a disc land locally. Names on a disc are not
// trusted: a name becomes one local file name inside the chosen folder, or
// it is refused.
#include <QString>

#include <optional>

#include "burner/iso/Entries.h"

namespace kestrel::app {

// ~/Downloads when it exists, else the home folder.
QString DefaultExtractFolder();

// The entry's name as one local file name: control characters and "/"
// become "_", and the "." that marks a name without an extension goes.
// Nothing when no safe name is left ("", "." or "..").
std::optional<QString> SafeLocalName(const TFEntry& Entry);

// A name typed by the user: an absolute path as it stands, anything else
// relative to Folder.
QString ResolveInFolder(const QString& Folder, const QString& Typed);

// True when something (a file, a folder, a link) already has this path.
bool LocalPathTaken(const QString& Path);

}  // namespace kestrel::app
