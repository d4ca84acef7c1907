#include "burner/device/MountTable.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrel {
namespace {

// Mount sources and targets escape blanks and a few other bytes as \ooo.
std::string Unescape(const std::string& Field) {
    std::string out;
    for (size_t i = 0; i < Field.size(); ++i) {
        if (Field[i] == '\\' && i + 3 < Field.size()) {
            const std::string digits = Field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::strtol(digits.c_str(), nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += Field[i];
    }
    return out;
}

std::string RealPath(const std::string& Path) {
    char resolved[PATH_MAX];
    if (::realpath(Path.c_str(), resolved)) return resolved;
    return Path;
}

// A path as a shell command takes it: quoted when it holds more than
// letters, digits and / . _ -.
std::string ShellWord(const std::string& Path) {
    if (Path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-") ==
        std::string::npos)
        return Path;
    std::string quoted = "'";
    for (char c : Path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

std::optional<std::string> FindMountPoint(const std::string& Node, const std::string& MountsFile) {
    if (Node.empty() || Node[0] != '/') return std::nullopt;
    const std::string node = RealPath(Node);
    std::ifstream mounts(MountsFile);
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source, target;
        if (!(fields >> source >> target)) continue;
        source = Unescape(source);
        if (source == Node || (source[0] == '/' && RealPath(source) == node)) return Unescape(target);
    }
    return std::nullopt;
}

std::string MountedDiscText(const std::string& Node, const std::string& MountPoint) {
    return "THE DISC IN " + Node + " IS MOUNTED ON " + MountPoint + ": UNMOUNT IT BEFORE WRITING (umount " +
           ShellWord(MountPoint) + ")";
}

}  // namespace kestrel
