// Speed of reading a burnt session back against the floor of a plain read
// of the same sectors through the same device layer: a burn with
// VerifyAfterWrite onto the unthrottled virtual recorder (a DVD+R), its
// read-back timed by the engine, then the same sectors read with READ (10)
// in blocks of the same size and nothing else done with them.
//
//   bench_verify [MEGABYTES] [rounds]     (default 512, 5)
#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/WriteDigest.h"
#include "model/StateDriveSet.h"

namespace {

namespace fs = std::filesystem;
using namespace bench;

// Files of pseudo-random bytes.
void MakeSources(const fs::path& Dir, int64_t Megabytes) {
    fs::create_directories(Dir);
    std::vector<uint64_t> chunk(1 << 17);  // 1 MiB
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (int64_t made = 0, part = 0; made < Megabytes; made += 64, ++part) {
        const std::string path = (Dir / ("part" + std::to_string(part) + ".bin")).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (int64_t mb = 0; mb < std::min<int64_t>(64, Megabytes - made); ++mb) {
            for (auto& word : chunk) word = state = state * 6364136223846793005ull + 1442695040888963407ull;
            if (::write(fd, chunk.data(), chunk.size() * 8) < 0) throw std::runtime_error("cannot write " + path);
        }
        ::close(fd);
    }
}

std::string BurnAndVerify(kestrel::TKestrelBurner& Burner) {
    std::mutex mutex;
    std::condition_variable done;
    std::string error;
    bool finished = false;
    Burner.OnWriteDone = [&](kestrel::TKestrelBurner*, const std::string& Error) {
        std::lock_guard lock(mutex);
        error = Error;
        finished = true;
        done.notify_all();
    };
    if (!Burner.BurnCD()) return "not started";
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return finished; });
    return error;
}

// Sectors First.. read through Device's layer as the read-back reads them.
double PlainRead(kestrel::TSCSICommands& Device, int64_t First, int64_t Sectors) {
    std::vector<uint8_t> buffer(size_t(kestrel::kDigestRangeSectors) * 2048);
    const auto start = Clock::now();
    for (int64_t at = 0; at < Sectors; at += kestrel::kDigestRangeSectors) {
        const auto count = static_cast<uint16_t>(std::min<int64_t>(kestrel::kDigestRangeSectors, Sectors - at));
        if (!Device.Read10(static_cast<uint32_t>(First + at), count, buffer.data(), count * 2048u))
            throw std::runtime_error("plain read failed at sector " + std::to_string(First + at));
    }
    return SecondsSince(start);
}

void Report(const std::string& What, double Seconds, int64_t Bytes) {
    std::printf("  %-34s %8.3f s  %8.1f MB/s\n", What.c_str(), Seconds, double(Bytes) / 1048576.0 / Seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const int64_t megabytes = argc > 1 ? std::atoll(argv[1]) : 512;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    if (megabytes < 1 || megabytes > 4000 || rounds < 1 || rounds > 20) {
        std::fprintf(stderr, "usage: bench_verify [MEGABYTES (1..4000)] [rounds (1..20)]\n");
        return 2;
    }
    // The drive protocol's fixed waits run at a hundredth of real time; the
    // recorder is not throttled, so both reads run as fast as the layer goes.
    setenv("KESTREL_TIME_SCALE", "0.01", 1);
    setenv("KESTREL_VDRIVE_TIME_SCALE", "0.001", 1);
    setenv("KESTREL_DEVICE_LAYER", "library", 1);
    unsetenv("KESTREL_VDRIVE_THROTTLE");
    try {
        TBenchFolder folder("kestrel-bench-verify");
        const fs::path root = folder.Path();
        const fs::path state = root / "vdrive";
        fs::create_directories(state);
        setenv("KESTREL_VDRIVE_DIR", state.c_str(), 1);
        std::printf("generating %lld MB of sources...\n", static_cast<long long>(megabytes));
        MakeSources(root / "src", megabytes);

        kestrel::TKestrelBurner burner;
        burner.SetCacheSize(8392704);
        burner.VerifyAfterWrite = true;
        if (!burner.InitializeASPI(false, {}) || burner.Devices().empty())
            throw std::runtime_error("the virtual recorder's library could not be loaded");
        burner.SelectDevice(burner.Devices().front());

        std::vector<double> ratios;
        for (int round = 1; round <= rounds; ++round) {
            {
                vdrive::StateDriveSet drives(state.string());
                drives.At(0).Insert(vdrive::Medium::Blank(vdrive::MediaKind::DvdPlusR));
            }
            burner.ClearAll(600000, 20000);
            burner.InsertDir(burner.RootDir, (root / "src").string(), "*.*", 63, true, false, false);
            const std::string error = BurnAndVerify(burner);
            if (!error.empty()) throw std::runtime_error("burn failed: " + error);
            const kestrel::TVerifyReport report = burner.LastVerification();
            const int64_t bytes = report.Sectors * 2048;
            const double plain = PlainRead(burner, report.FirstSector, report.Sectors);
            std::printf("round %d\n", round);
            Report("plain READ (10) of the session", plain, bytes);
            Report("verification", report.Seconds, bytes);
            ratios.push_back(report.Seconds / plain);
        }
        const double ratio = Median(ratios);
        std::printf("ratio verification to plain read %6.2fx  (median of %d; target within 1.20x)\n", ratio, rounds);
        std::printf("target %s\n", ratio <= 1.2 ? "met" : "NOT met");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_verify: %s\n", e.what());
        return 1;
    }
    return 0;
}
