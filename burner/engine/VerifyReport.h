#pragma once
// What reading a burnt session back found: whether the disc holds what was
// written, and, where it does not, which files (or the file system's own
// sectors) differ, cannot be read, or changed on the computer while they
// were burnt.
#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

// The name given to sectors that belong to no file: the volume
// descriptors, path tables and directory records.
inline constexpr const char* kFileSystemStructures = "file system structures";
// The zeros that fill a short image up to its minimum size.
inline constexpr const char* kImagePadding = "the padding at the end of the image";

enum class TVerifyOutcome : uint8_t {
    NotRun,    // not asked for, or the write did not get that far
    Verified,  // every sector read back is what was written
    Differs,   // something listed in Findings
    Aborted,   // stopped by the user: the disc is written, not verified
    Failed,    // the disc could not be read back (Problem says why)
};

enum class TVerifyProblem : uint8_t {
    Differs,            // sectors read back are not what was written
    Unreadable,         // the drive cannot read sectors
    ChangedWhileBurnt,  // the source changed after it was read for the burn
};

// One file (or the file system structures) with one kind of problem and
// the sectors where it was found.
struct TVerifyFinding {
    std::string Name;  // a source path, a path in the image, or kFileSystemStructures
    TVerifyProblem Problem = TVerifyProblem::Differs;
    int64_t FirstSector = -1;  // -1 when no sector is concerned
    int64_t LastSector = -1;
    int64_t Sectors = 0;

    // "\"/src/a.bin\" differs (sectors 300..301)", "file system structures
    // differ (sector 18)", "\"/src/b\" changed while it was burnt".
    std::string Text() const;
};

struct TVerifyReport {
    TVerifyOutcome Outcome = TVerifyOutcome::NotRun;
    int64_t FirstSector = 0;  // the session's sectors that were read back
    int64_t Sectors = 0;
    double Seconds = 0;       // time the reading back took
    std::vector<TVerifyFinding> Findings;
    std::string Problem;      // why it failed or stopped early

    // Notes a problem of Name at Sector (or, with Sector -1, of no sector);
    // a second one of the same name and kind widens the first.
    void Add(const std::string& Name, TVerifyProblem Kind, int64_t Sector = -1);
    bool Has(TVerifyProblem Kind) const;
    // The error that ends the burn; empty when verified or not run.
    std::string ErrorText() const;
    // One line for the user: the good news, or ErrorText.
    std::string Summary() const;
};

}  // namespace kestrel
