#pragma once
// What build-iso and burn share: the compilation filled from the command
// line the way the desktop program fills it from its list.
#include <string>
#include <vector>

#include "burner/engine/KestrelBurner.h"
#include "burner/iso/FillCompilation.h"
#include "cli/CliArgs.h"

namespace kestrel::cli {

// "unchecked", "checked" or "grayed"; anything else is a usage error.
TSavePathState ParseSavePath(const std::string& Text);
// A session number 1..127, or "last" (-1); Option names the option in the
// usage error.
int ParseSessionNumber(const std::string& Option, const std::string& Text);

// Empties the compilation (with the desktop program's table sizes) and
// applies --no-joliet, --volume-id and the boot options. Empty, or why the
// options cannot be used.
std::string StartCompilation(TKestrelBurner& Burner, const TParsedArgs& Args);
// The list entries of the SOURCE arguments (--non-recursive applied).
std::vector<TListEntry> SourceEntries(const TParsedArgs& Args);

// Looks at every SOURCE before the compilation is filled (after
// StartCompilation): empty when each is a file or directory that can be
// read, or a link the compilation keeps as a link; else why the first other
// one cannot be stored (missing, a broken link or link loop that is to be
// followed, a FIFO, socket or device node, no permission).
std::string CheckSourceArgs(const TCompilation& Compilation, const TParsedArgs& Args);
// After the fill: empty when every SOURCE file went into the compilation
// and the compilation holds something; else why not, the reason named.
std::string CheckSourcesStored(const TCompilation& Compilation, const TParsedArgs& Args);

}  // namespace kestrel::cli
