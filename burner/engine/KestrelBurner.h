#pragma once
// The burning component: the compilation and its image (TImageBuilder), the
// device layer (TSCSIDevice), and the recording engine that joins them.
#include <functional>
#include <string>

#include "burner/device/SCSIDevice.h"
#include "burner/iso/ImageBuilder.h"

namespace kestrel {

class TKestrelBurner;
using TWriteDoneEvent = std::function<void(TKestrelBurner* Sender, const std::string& Error)>;

class TKestrelBurner : public TSCSIDevice, public TImageBuilder {
public:
    TKestrelBurner();
    ~TKestrelBurner() override;

    // Builds an image file. Quick: synchronous on the calling thread, 1 when
    // finished (errors propagate as exceptions). Otherwise -1: the write
    // thread writes the image and raises OnWriteDone.
    int SaveToISOFile(const std::string& FileName, bool Quick);

    TWriteDoneEvent OnWriteDone;
    std::string ISOFileName;

    const std::string& Version() const { return version_; }
    void SetVersion(const std::string&) {}  // the version is fixed

private:
    const std::string version_ = "1.22";
};

}  // namespace kestrel
