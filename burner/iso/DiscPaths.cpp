#include "burner/iso/DiscPaths.h"

#include <unistd.h>

#include <vector>

#include "burner/iso/Names.h"

namespace kestrel {

namespace {

std::vector<std::string> SplitComponents(const std::string& Path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= Path.size()) {
        const size_t end = std::min(Path.find('/', start), Path.size());
        const std::string part = Path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

}  // namespace

std::string DirPathKey(const std::string& Path) {
    std::string key;
    key.reserve(Path.size() + 1);
    for (char c : UpperAscii(SanitizeUtf8(Path)))
        if (c != '\\' || key.empty() || key.back() != '\\') key += c;
    if (key.empty() || key[0] != '\\') key.insert(key.begin(), '\\');
    if (key.size() > 1 && key.back() == '\\') key.pop_back();
    return key;
}

std::string AbsoluteSourcePath(const std::string& Path) {
    if (!Path.empty() && Path[0] == '/') return Path;
    std::string cwd(4096, '\0');
    if (!getcwd(cwd.data(), cwd.size())) return "/" + Path;
    cwd.resize(cwd.find('\0'));
    return cwd + "/" + Path;
}

std::optional<std::string> DiscDirFromSource(const std::string& SourceDir) {
    const std::string absolute = AbsoluteSourcePath(SourceDir);
    std::vector<std::string> parts = SplitComponents(absolute);
    const bool network = absolute.size() > 2 && absolute[0] == '/' && absolute[1] == '/' && absolute[2] != '/';
    if (network) parts.erase(parts.begin(), parts.begin() + std::min<size_t>(2, parts.size()));
    std::string disc = "\\";
    for (const std::string& part : parts) {
        if (part.find('\\') != std::string::npos) return std::nullopt;
        disc += part + "\\";
    }
    return disc;
}

std::string KeepLastLevel(const std::string& Path) {
    if (Path.size() < 2) return Path;
    const size_t last = Path.find_last_of('\\', Path.size() - 2);
    return last == std::string::npos ? Path : Path.substr(last);
}

std::string SourceDirOf(const std::string& FilePath) {
    const size_t slash = FilePath.rfind('/');
    return slash == std::string::npos ? std::string() : FilePath.substr(0, slash + 1);
}

}  // namespace kestrel
