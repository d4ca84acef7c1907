// libFuzzer target: arbitrary sectors as a pressed disc in the virtual
// recorder, imported by the burner and its first files extracted. The
// input is the disc from sector 16 on (the volume descriptors first); the
// sixteen sectors before it are zero.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "burner/engine/Extract.h"
#include "burner/engine/KestrelBurner.h"
#include "model/StateDriveSet.h"

namespace {

constexpr int kDrive = 1;  // the CD writer
constexpr size_t kSector = 2048;
constexpr size_t kSystemArea = 16 * kSector;
constexpr int kFilesExtracted = 3;

class TFuzzDisc {
public:
    TFuzzDisc() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        setenv("KESTREL_VDRIVE_DIR", (dir_ + "/state").c_str(), 1);
        setenv("KESTREL_DEVICE_LAYER", "library", 1);
        setenv("KESTREL_TIME_SCALE", "0.01", 1);
        drives_ = std::make_unique<vdrive::StateDriveSet>(dir_ + "/state");
        std::filesystem::create_directories(dir_ + "/out");
        if (!burner_.InitializeASPI(false, {})) throw std::runtime_error("the virtual recorder's library did not load");
        const auto devices = burner_.Devices();
        if (devices.size() <= size_t(kDrive)) throw std::runtime_error("the virtual recorder has no drive 1");
        burner_.SelectDevice(devices[kDrive]);
    }
    ~TFuzzDisc() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    void Run(const uint8_t* Data, size_t Size) {
        const std::string image = dir_ + "/disc.iso";
        {
            std::ofstream out(image, std::ios::binary | std::ios::trunc);
            const std::vector<char> zeros(kSystemArea + kSector, 0);
            out.write(zeros.data(), kSystemArea);
            out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
            out.write(zeros.data(), static_cast<std::streamsize>((kSector - Size % kSector) % kSector));
        }
        const auto blocks = static_cast<uint32_t>((kSystemArea + Size + kSector - 1) / kSector);
        drives_->At(kDrive).Insert(vdrive::Medium::WithImage(vdrive::MediaKind::CdRom, blocks, false), image);
        burner_.ClearAll(2000, 500);
        burner_.ImportDiscSession(-1, nullptr);
        ExtractSome();
    }

private:
    void ExtractSome() {
        int extracted = 0;
        for (const kestrel::TFEntry* e = burner_.RootDir->Files; e && extracted < kFilesExtracted; e = e->Next)
            if (!e->Dir && e->ISOSize <= 1 << 20) {
                kestrel::ExtractInto(burner_, *e, dir_ + "/out", true);
                ++extracted;
            }
    }

    std::string dir_;
    std::unique_ptr<vdrive::StateDriveSet> drives_;
    kestrel::TKestrelBurner burner_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static TFuzzDisc disc;
    disc.Run(Data, Size);
    return 0;
}
