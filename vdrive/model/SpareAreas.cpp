#include "model/SpareAreas.h"

#include "kestrel/mmc.h"
#include "model/Sense.h"

namespace vdrive {
namespace {

// Per recording layer: 768 MiB usual, 256 MiB least, 1,280 MiB most.
constexpr uint32_t kUsualPerLayer = 393216, kLeastPerLayer = 131072, kMostPerLayer = 655360;

}  // namespace

SpareChoices SpareChoicesOf(MediaKind Kind) {
    const MediaTraits& t = TraitsOf(Kind);
    if (!t.bd || t.recording == Recording::Pressed) return {};
    return {kUsualPerLayer * t.layers, kLeastPerLayer * t.layers, kMostPerLayer * t.layers};
}

uint32_t UserBlocksWithSpare(MediaKind Kind, uint32_t Blocks) {
    const uint32_t full = TraitsOf(Kind).capacity;
    const SpareChoices spare = SpareChoicesOf(Kind);
    if (spare.usual == 0) sense::InvalidParameter();
    if (Blocks == 0 || Blocks == 0xFFFFFFFF) return full - spare.usual;
    if (Blocks % mmc::bd::kClusterBlocks != 0 || Blocks > full - spare.least || Blocks < full - spare.most)
        sense::InvalidParameter();
    return Blocks;
}

}  // namespace vdrive
