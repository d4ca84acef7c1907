#include "burner/engine/DriveClaim.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

namespace kestrel {
namespace {

// Mount sources escape blanks and a few other bytes as \ooo.
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

std::mutex& ClaimLock() {
    static std::mutex lock;
    return lock;
}

std::set<std::string>& Claimed() {
    static std::set<std::string> claimed;
    return claimed;
}

}  // namespace

bool IsDeviceMounted(const std::string& Node, const std::string& MountsFile) {
    if (Node.empty() || Node[0] != '/') return false;
    const std::string node = RealPath(Node);
    std::ifstream mounts(MountsFile);
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source;
        if (!(fields >> source)) continue;
        source = Unescape(source);
        if (source == Node || (source[0] == '/' && RealPath(source) == node)) return true;
    }
    return false;
}

bool ClaimDrive(const std::string& Key) {
    std::lock_guard lock(ClaimLock());
    return Claimed().insert(Key).second;
}

void ReleaseDriveClaim(const std::string& Key) {
    std::lock_guard lock(ClaimLock());
    Claimed().erase(Key);
}

}  // namespace kestrel
