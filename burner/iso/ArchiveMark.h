#pragma once
// The archive attribute on POSIX: a file counts as changed (faArchive) unless
// its user extended attribute records its current size and modification
// time, which ClearArchiveBits stores after a successful burn.
#include <sys/stat.h>

#include <string>

namespace kestrel {

inline constexpr const char* ArchiveMarkName = "user.kestrel.archived";

// True when Path carries a mark matching Info (size and modification time).
bool HasArchiveMark(const std::string& Path, const struct stat& Info);

enum class TMarkResult { Marked, Unsupported, Failed };
// Stores the mark for Info on Path.
TMarkResult SetArchiveMark(const std::string& Path, const struct stat& Info);

}  // namespace kestrel
