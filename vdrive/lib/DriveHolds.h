#pragma once
// Exclusive holds taken through the library: the claim of a drive that an
// O_EXCL open of its node takes through the interposer, so the two doors
// keep each other off the same drive. Each hold has its own token; the
// holds still held when the library goes away (the program ends or unloads
// it) are given back, and a holder that dies without that lapses by itself.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "model/DriveSet.h"

namespace vdrive {

class DriveHolds {
public:
    DriveHolds() = default;
    ~DriveHolds();
    DriveHolds(const DriveHolds&) = delete;
    DriveHolds& operator=(const DriveHolds&) = delete;

    // Claims Drive of Set; the new hold's token, or 0 when another holder has it.
    uint64_t Take(const std::shared_ptr<DriveSet>& Set, int Drive);
    // Gives back the hold of Token on Drive; an unknown token is ignored.
    void Release(int Drive, uint64_t Token);

private:
    struct Hold {
        std::shared_ptr<DriveSet> set;
        int drive = -1;
    };
    std::mutex mutex_;
    std::map<uint64_t, Hold> holds_;
};

}  // namespace vdrive
