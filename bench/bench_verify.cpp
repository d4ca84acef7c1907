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
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "burner/engine/KestrelBurner.h"
#include "burner/engine/ThreadPriority.h"
#include "burner/engine/WriteDigest.h"
#include "model/StateDriveSet.h"

namespace {

namespace fs = std::filesystem;
using namespace bench;

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

// Sectors First.. read through Device's layer as the read-back reads them,
// on a thread of the write thread's priority (the read-back runs there).
double PlainRead(kestrel::TSCSICommands& Device, int64_t First, int64_t Sectors) {
    double seconds = 0;
    bool failed = false;
    std::thread reader([&] {
        kestrel::SetCurrentThreadPriority(kestrel::TThreadPriority::TimeCritical);
        std::vector<uint8_t> buffer(size_t(kestrel::kDigestRangeSectors) * 2048);
        const auto start = Clock::now();
        for (int64_t at = 0; at < Sectors && !failed; at += kestrel::kDigestRangeSectors) {
            const auto count = static_cast<uint16_t>(std::min<int64_t>(kestrel::kDigestRangeSectors, Sectors - at));
            failed = !Device.Read10(static_cast<uint32_t>(First + at), count, buffer.data(), count * 2048u);
        }
        seconds = SecondsSince(start);
    });
    reader.join();
    if (failed) throw std::runtime_error("the plain read failed");
    return seconds;
}

void Report(const std::string& What, double Seconds, int64_t Bytes) {
    std::printf("  %-34s %8.3f s  %8.1f MB/s\n", What.c_str(), Seconds, double(Bytes) / 1048576.0 / Seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const auto size = ParseBenchSize(argc, argv, "bench_verify", 512);
    if (!size) return 2;
    const int64_t megabytes = size->Megabytes;
    const int rounds = size->Rounds;
    try {
        // Not throttled, so both reads run as fast as the layer goes.
        TBenchFolder folder("kestrel-bench-verify");
        const fs::path root = folder.Path();
        const fs::path state = UseUnthrottledRecorder(root);
        std::printf("generating %lld MB of sources...\n", static_cast<long long>(megabytes));
        MakeRandomSources(root / "src", megabytes, 64);

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
