#include "burner/engine/DriveClaim.h"

#include <mutex>
#include <set>

#include "burner/device/MountTable.h"

namespace kestrel {
namespace {

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
    return FindMountPoint(Node, MountsFile).has_value();
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
