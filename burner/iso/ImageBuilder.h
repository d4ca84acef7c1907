#pragma once
// Lays the compilation out as an ISO 9660 image with a Joliet supplementary
// volume and an optional El Torito boot record, builds the image head, and
// writes the image file directly (the quick save).
#include <string>

#include "burner/iso/Compilation.h"

namespace kestrel {

class TImageBuilder : public TCompilation {
public:
    TImageBuilder() = default;
    ~TImageBuilder() override = default;

    // Writes the whole image to FileName on the calling thread. Throws
    // std::runtime_error (or a subclass) with a clear text on failure.
    void QuickSaveToISOFile(const std::string& FileName);
};

}  // namespace kestrel
