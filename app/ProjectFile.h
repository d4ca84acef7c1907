#pragma once
// A project: the compilation list and the options that shape the disc, kept
// in a ".kestrel" file so the same set can be burnt again later. The format
// is described in docs/project-format.md: UTF-8 text, "[Section]" headers
// and "Key=Value" lines, a format number, one "Source" line per entry.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "burner/iso/FillCompilation.h"

namespace kestrel::app {

inline constexpr int kProjectFormat = 1;
inline constexpr char kProjectSuffix[] = "kestrel";

struct TProjectOptions {
    TSavePathState SavePath = TSavePathState::Unchecked;
    std::string VolumeLabel;
    bool JolietFS = true;
    bool Bootable = false;
    std::string BootImage;
    // The BIOS entry without emulation, its load size (512-byte units, 0 =
    // the default) and boot information table; the UEFI entry and its image.
    // A project without them boots as before they existed: emulated, no UEFI.
    bool BootNoEmulation = false;
    int BootLoadSize = 0;
    bool BootInfoTable = false;
    bool UefiBoot = false;
    std::string UefiBootImage;
    bool CloseDisc = false;
    bool ArchiveFiles = false;
    bool ImportSession = false;
    int SessionNo = 0;

    bool operator==(const TProjectOptions&) const = default;
};

struct TProject {
    TProjectOptions Options;
    std::vector<TListEntry> Entries;
};

// A project file that cannot be read: Line is 0 when the fault is not on
// one line (an unreadable file, a missing section).
class TProjectError : public std::runtime_error {
public:
    TProjectError(const std::string& What, int Line) : std::runtime_error(What), line_(Line) {}
    int Line() const { return line_; }

private:
    int line_;
};

std::string ProjectText(const TProject& Project);
// Throws TProjectError on anything it cannot take as a project.
TProject ParseProject(const std::string& Text);

// Writes through a temporary file and a rename, so a failed save never
// leaves half a project behind. Throws TProjectError.
void SaveProjectFile(const std::filesystem::path& File, const TProject& Project);
TProject LoadProjectFile(const std::filesystem::path& File);

}  // namespace kestrel::app
