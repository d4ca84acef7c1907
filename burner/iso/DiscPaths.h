#pragma once
// Disc-side paths of the compilation ("\" separated) and their derivation
// from POSIX source paths.
#include <optional>
#include <string>

namespace kestrel {

// The look-up key of a disc directory path: valid UTF-8, ASCII upper case,
// runs of "\" reduced to one, no trailing "\" (the root stays "\").
std::string DirPathKey(const std::string& Path);

// The disc directory ("\A\B\") for the POSIX directory SourceDir: relative
// paths are made absolute, "." and ".." resolved by name, a network form
// "//host/share/..." loses its machine and share. nullopt when a component
// holds a "\" (the disc path separator).
std::optional<std::string> DiscDirFromSource(const std::string& SourceDir);

// Keeps only the last level of a disc path ending in "\": \A\B\ -> \B\.
std::string KeepLastLevel(const std::string& Path);

// The directory part of a POSIX file path, with its trailing "/".
std::string SourceDirOf(const std::string& FilePath);

// An absolute form of a POSIX path (the working directory put in front).
std::string AbsoluteSourcePath(const std::string& Path);

}  // namespace kestrel
