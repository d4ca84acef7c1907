#include "cli/CompilationArgs.h"

#include <cstdlib>

#include "cli/BootArgs.h"

namespace kestrel::cli {

namespace {

// The compilation limits the desktop program fills with.
constexpr int ListMaxFiles = 600000;
constexpr int ListMaxDirs = 20000;

}  // namespace

TSavePathState ParseSavePath(const std::string& Text) {
    if (Text == "unchecked") return TSavePathState::Unchecked;
    if (Text == "checked") return TSavePathState::Checked;
    if (Text == "grayed") return TSavePathState::Grayed;
    throw TUsageError("--save-path takes unchecked, checked or grayed, not \"" + Text + "\"");
}

int ParseSessionNumber(const std::string& Option, const std::string& Text) {
    if (Text == "last") return -1;
    char* end = nullptr;
    const long value = std::strtol(Text.c_str(), &end, 10);
    if (Text.empty() || *end || value < 1 || value > 127)
        throw TUsageError(Option + " takes a session number (1..127) or \"last\", not \"" + Text + "\"");
    return static_cast<int>(value);
}

std::string StartCompilation(TKestrelBurner& Burner, const TParsedArgs& Args) {
    Burner.ClearAll(ListMaxFiles, ListMaxDirs);
    Burner.JolietFileSystem = !Args.Has("--no-joliet");
    Burner.IdVolume = Args.Value("--volume-id");
    return ApplyBootOptions(Burner, Args);
}

std::vector<TListEntry> SourceEntries(const TParsedArgs& Args) {
    std::vector<TListEntry> entries;
    for (const auto& source : Args.Positional()) {
        TListEntry entry = MakeListEntry(source);
        if (Args.Has("--non-recursive")) entry.Recursive = false;
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace kestrel::cli
