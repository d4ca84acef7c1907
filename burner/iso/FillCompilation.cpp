#include "burner/iso/FillCompilation.h"

#include "burner/iso/SourceProbe.h"

namespace kestrel {

namespace {

bool IsDirectory(const std::string& Path) { return ProbeSource(Path).Kind == TSourceKind::Directory; }

}  // namespace

TListEntry MakeListEntry(const std::string& Path) {
    if (!Path.empty() && IsDirectory(Path)) return {Path.back() == '/' ? Path : Path + "/", true};
    return {Path, false};
}

TFillResult FillCompilation(TCompilation& Compilation, const std::vector<TListEntry>& Entries,
                            const TFillOptions& Options) {
    if (Options.SessionNo != 0 && Options.ImportSession) Options.ImportSession(Options.SessionNo);
    if (Entries.empty()) return {false, EmptyListMessage};
    const bool grayed = Options.SavePath == TSavePathState::Grayed;
    Compilation.KeepLastDirOnly = grayed;
    const bool keepPath = grayed || Options.SavePath == TSavePathState::Checked;
    for (const TListEntry& entry : Entries) {
        std::string path = entry.Path;
        if (path.empty()) continue;
        if (IsDirectory(path)) {
            // The list writes directories with a trailing "/"; one typed
            // without it still means the directory itself, not its parent.
            if (path.back() != '/') path += '/';
            const int result = Compilation.InsertDir(Compilation.RootDir, path, "*.*", 63, entry.Recursive,
                                                     keepPath, Options.ArchiveFiles);
            if (result == 0 && Compilation.LimitReached())
                return {false, "The compilation is full: at most " + std::to_string(Compilation.MaxFiles) +
                                   " files and " + std::to_string(Compilation.MaxDirs - 1) +
                                   " directories; " + path + " was not added completely"};
        } else {
            Compilation.InsertFile("\\", path, keepPath);
            if (Compilation.LimitReached())
                return {false, "The compilation is full: at most " + std::to_string(Compilation.MaxFiles) +
                                   " files; " + path + " was not added"};
        }
    }
    Compilation.RemoveEmptyDirs();
    return {true, ""};
}

}  // namespace kestrel
