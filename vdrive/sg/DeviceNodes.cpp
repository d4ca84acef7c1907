#include "DeviceNodes.h"

#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace vdrive::sg {
namespace {

constexpr unsigned GenericScsiMajor = 21;

// Parses a decimal number that makes up all of Text (no sign, no leading
// zeros except "0" itself).
bool ParseIndex(std::string_view Text, int& Out) {
    if (Text.empty() || Text.size() > 6 || (Text.size() > 1 && Text[0] == '0')) return false;
    int value = 0;
    for (char c : Text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    Out = value;
    return true;
}

bool StartsWith(std::string_view Text, std::string_view Prefix) {
    return Text.substr(0, Prefix.size()) == Prefix;
}

bool IsHiddenDeviceName(std::string_view Name) {
    static constexpr std::string_view prefixes[] = {"sr", "scd", "sg", "cdrom", "cdrw", "cdwriter",
                                                    "dvd", "bsg"};
    for (auto prefix : prefixes) {
        if (StartsWith(Name, prefix)) return true;
    }
    return false;
}

NodeRef FdAliasOf(std::string_view Rest) {
    NodeRef ref;
    if (ParseIndex(Rest, ref.Number)) ref.Kind = NodeKind::FdAlias;
    return ref;
}

}  // namespace

NodeRef Classify(const char* Path) {
    if (!Path) return {};
    const std::string_view path(Path);
    if (StartsWith(path, "/dev/")) {
        const std::string_view name = path.substr(5);
        NodeRef ref;
        if (StartsWith(name, "sr") && ParseIndex(name.substr(2), ref.Number)) ref.Kind = NodeKind::VirtualNode;
        else if (StartsWith(name, "scd") && ParseIndex(name.substr(3), ref.Number)) ref.Kind = NodeKind::VirtualNode;
        else if (StartsWith(name, "fd/")) return FdAliasOf(name.substr(3));
        else if (IsHiddenDeviceName(name)) ref.Kind = NodeKind::Hidden;
        return ref;
    }
    if (StartsWith(path, "/proc/self/fd/")) return FdAliasOf(path.substr(14));
    if (StartsWith(path, "/proc/")) {
        const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
        if (StartsWith(path, own)) return FdAliasOf(path.substr(own.size()));
    }
    return {};
}

bool IsOpticalHardware(unsigned Mode, unsigned RdevMajor) {
    return (S_ISBLK(Mode) && RdevMajor == CdromMajor) || (S_ISCHR(Mode) && RdevMajor == GenericScsiMajor);
}

bool IsOpticalHardware(const struct stat& St) {
    return IsOpticalHardware(St.st_mode, major(St.st_rdev));
}

}  // namespace vdrive::sg
