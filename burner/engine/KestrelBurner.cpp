#include "burner/engine/KestrelBurner.h"

namespace kestrel {

TKestrelBurner::TKestrelBurner() {
    ClearAll(65535, 8191);
}

TKestrelBurner::~TKestrelBurner() = default;

int TKestrelBurner::SaveToISOFile(const std::string& FileName, bool Quick) {
    // Until the recording engine writes images through its cache and write
    // thread, both ways use the quick save.
    (void)Quick;
    ISOFileName = FileName;
    QuickSaveToISOFile(FileName);
    if (OnWriteDone) OnWriteDone(this, "");
    return 1;
}

}  // namespace kestrel
