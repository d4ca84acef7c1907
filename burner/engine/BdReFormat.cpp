// A BD-RE is sold unformatted and takes no write until it is formatted.
// Before the first burn onto such a disc the drive formats it with spare
// areas, the size being the first such format the drive offers (its usual
// choice); the drive then checks every write and replaces bad clusters
// from the spare. Certification is left out: it would read the whole disc
// once before the burn, and the check of each write covers what is used.
// A disc that is formatted already is never formatted here: that would
// empty it.
#include <algorithm>
#include <vector>

#include "burner/device/EraseBuffers.h"
#include "burner/engine/KestrelBurner.h"
#include "kestrel/mmc.h"

namespace kestrel {

std::string TKestrelBurner::FormatBlankBDRE() {
    if (mediumType_ != mtBDRE || TestWrite) return {};
    uint32_t blocks = 0, blockLength = 0;
    if (!ReadFormatCapacities(blocks, blockLength))
        return "CAN'T READ THE FORMATS OF THE DISC [" + LastError + "]";
    if (CurrentCapacityType != mmc::format::kUnformattedMedium) return {};
    std::vector<TFormatDescriptor> formats;
    if (!ReadFormatDescriptors(formats)) return "CAN'T READ THE FORMATS OF THE DISC [" + LastError + "]";
    const auto withSpare = std::find_if(formats.begin(), formats.end(), [](const TFormatDescriptor& Format) {
        return Format.Type == mmc::format::kBdReWithSpare;
    });
    if (withSpare == formats.end()) return "THE DRIVE OFFERS NO FORMAT FOR THE BLANK BD-RE";

    const TWritePhase resumed = writePhase_;
    SetWritePhase(TWritePhase::Formatting);
    LogInfo(">>> FORMATTING THE BLANK BD-RE (" + std::to_string(withSpare->Blocks) + " SECTORS)");
    const auto list = ImmediateFormatList(withSpare->Blocks, withSpare->Type, mmc::format::kNoCertification,
                                          withSpare->Parameter);
    std::string error;
    if (!FormatUnit(mmc::format::kWithParameterList, list.data(), uint32_t(list.size())))
        error = "CAN'T FORMAT THE DISC [" + LastError + "]";
    else
        error = WaitWhileFormatting(2000);
    SetWritePhase(resumed);
    return error;
}

}  // namespace kestrel
