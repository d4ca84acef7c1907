#pragma once
// What the Rock Ridge entries of one directory record say, and whether a
// volume uses Rock Ridge at all (SP in its root's "." record, an ER naming
// the extension). Names and link targets are bounded: a name of more than
// 255 bytes or a target of more than 4,095 bytes is a problem, not a
// longer read.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "burner/engine/SystemUseReader.h"
#include "burner/iso/Entries.h"

namespace kestrel {

// Longest symbolic link target read (PATH_MAX less its terminating zero).
inline constexpr size_t kMaxLinkTarget = 4095;

struct TRockRidgeFields {
    bool Present = false;                // any Rock Ridge entry at all
    std::optional<uint32_t> Mode;        // PX: st_mode
    std::optional<std::string> Name;     // NM: the POSIX name
    std::optional<std::string> LinkTarget;  // SL
    std::optional<TDateTime> Modified;   // TF
    std::optional<TDateTime> Accessed;
    std::optional<TDateTime> Changed;
    bool Relocated = false;              // RE: a directory listed where it was moved to
    std::optional<uint32_t> ChildLink;   // CL: the sector of a directory moved away from here
    // ZF (compressed) or SF (sparse format): the extent does not hold the
    // file's bytes as they are.
    std::string Transformed;
    std::string Problem;                 // upper case, for the log; empty when the fields are sound
};

// The Rock Ridge fields among the entries of one record.
TRockRidgeFields ParseRockRidge(const TSystemUse& Entries);

// The skip length an SP entry at the start of the root's "." system-use
// area announces; nothing when there is no SP.
std::optional<uint8_t> SuspSkipLength(const uint8_t* Area, size_t Length);

// The root's "." entries announce Rock Ridge: an ER of one of its
// identifiers, or, from writers older than ER, Rock Ridge entries without
// any ER.
bool AnnouncesRockRidge(const TSystemUse& RootEntries);

}  // namespace kestrel
