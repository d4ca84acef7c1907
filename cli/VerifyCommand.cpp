// kestrel-cli verify: compares a session on the disc with files on disk,
// each file looked for where a burn of the same SOURCE arguments (with the
// same path options) would have put it; lists what differs, what is
// missing from the disc and what is on the disc beyond the files.
#include <iostream>
#include <string>

#include "burner/engine/KestrelBurner.h"
#include "burner/engine/SessionCompare.h"
#include "burner/iso/FillCompilation.h"
#include "cli/CliCommand.h"
#include "cli/CompilationArgs.h"
#include "cli/DiscState.h"
#include "cli/DriveSelection.h"
#include "cli/SessionChoice.h"

namespace kestrel::cli {
namespace {

// Table sizes of the two compilations compared.
constexpr int kMaxFiles = 600000;
constexpr int kMaxDirs = 20000;

// The SOURCE arguments as a burn of them fills its compilation.
void FillFromSources(TCompilation& Files, const TParsedArgs& Args) {
    Files.ClearAll(kMaxFiles, kMaxDirs);
    Files.RockRidge = !Args.Has("--no-rock-ridge");
    Files.FollowLinks = Args.Has("--follow-links");
    if (std::string refused = CheckSourceArgs(Files, Args); !refused.empty()) throw std::runtime_error(refused);
    TFillOptions options;
    options.SavePath = ParseSavePath(Args.Value("--save-path", "grayed"));
    const TFillResult filled = FillCompilation(Files, SourceEntries(Args), options);
    if (!filled.Filled)
        throw std::runtime_error(filled.Message.empty() ? "the sources could not be read" : filled.Message);
    if (std::string refused = CheckSourcesStored(Files, Args); !refused.empty()) throw std::runtime_error(refused);
}

// The session the options name, imported into an emptied compilation.
int ImportChosenSession(TKestrelBurner& Disc, const TParsedArgs& Args) {
    const int asked = ParseSessionNumber("--session", Args.Value("--session", "last"));
    RequireReadyDrive(Disc);
    if (Disc.HoldsNoFileSystem()) throw std::runtime_error(std::string(kNoFileSystemText) + ": the disc is empty");
    const int number = ChosenSession(Disc, asked);
    Disc.ClearAll(kMaxFiles, kMaxDirs);
    if (!Disc.ImportDiscSession(number, nullptr))
        throw std::runtime_error("session " + std::to_string(number) +
                                 " could not be read completely (the log above says what was left out)");
    return number;
}

void PrintList(const char* Label, const std::vector<std::string>& Paths) {
    for (const auto& path : Paths) std::cout << Label << path << "\n";
}

int RunVerify(const TParsedArgs& Args) {
    if (Args.Positional().empty()) throw TUsageError("no SOURCE given");
    TCompilation files;
    FillFromSources(files, Args);
    TKestrelBurner disc;
    OpenDrive(disc, Args);
    const int session = ImportChosenSession(disc, Args);
    const TSessionDifferences found = CompareSession(disc, disc, files);
    PrintList("changed:    ", found.Changed);
    PrintList("unreadable: ", found.Unreadable);
    PrintList("missing:    ", found.Missing);
    PrintList("extra:      ", found.Extra);
    for (const auto& error : found.Errors) std::cerr << "kestrel-cli: cannot read " << error << "\n";
    const size_t differences =
        found.Changed.size() + found.Unreadable.size() + found.Missing.size() + found.Extra.size() + found.Errors.size();
    if (differences == 0) {
        std::cout << "session " << session << " holds the sources: " << found.FilesCompared << " file(s) compared\n";
        return 0;
    }
    return Fail(std::to_string(differences) + " difference(s) between session " + std::to_string(session) +
                " and the sources (" + std::to_string(found.Changed.size()) + " changed, " +
                std::to_string(found.Unreadable.size()) + " unreadable, " + std::to_string(found.Missing.size()) +
                " missing, " + std::to_string(found.Extra.size()) + " extra)");
}

std::vector<TOptionSpec> VerifyOptions() {
    auto options = DriveOptions();
    for (const char* flag : {"--no-rock-ridge", "--follow-links", "--non-recursive"}) options.push_back({flag, false, ""});
    for (const char* valued : {"--session", "--save-path"}) options.push_back({valued, true, ""});
    return options;
}

const TCliRegistration verifyCommand({
    "verify",
    "verify [--drive N] [--session N|last] [--save-path unchecked|checked|grayed] [--non-recursive] "
    "[--follow-links] [--no-rock-ridge] SOURCE...",
    "Compares a session on the disc (the last by default) with files on disk, each looked for where a burn "
    "of the same SOURCE arguments puts it: lists the files that changed, cannot be read, are missing from the "
    "disc, or are on the disc but not among the sources. Exits with 1 on any difference.",
    VerifyOptions(),
    RunVerify,
});

}  // namespace
}  // namespace kestrel::cli
