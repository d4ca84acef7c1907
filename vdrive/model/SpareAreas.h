#pragma once
// Spare areas of Blu-ray discs: the spare sizes a drive offers when it
// formats a BD-R or BD-RE, and the user capacity each leaves. The spare
// blocks hold replacements for clusters that fail the check after a write.
#include <cstdint>

#include "model/MediaKind.h"

namespace vdrive {

// Spare blocks offered for a medium, in whole clusters; all 0 for media
// without spare areas.
struct SpareChoices {
    uint32_t usual = 0;  // what the drive picks when it is not told
    uint32_t least = 0;
    uint32_t most = 0;
};

SpareChoices SpareChoicesOf(MediaKind Kind);

// User blocks of a format with spare areas asked for Blocks: 0 and FFFFFFFFh
// pick the usual spare. A count that is not a whole number of clusters or
// leaves a spare outside the choices is refused (5/26/00).
uint32_t UserBlocksWithSpare(MediaKind Kind, uint32_t Blocks);

}  // namespace vdrive
