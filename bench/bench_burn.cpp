// Speed of the recording engine against the floor of a plain copy of the
// same bytes: burns onto the unthrottled virtual recorder (a DVD+R in its
// DVD writer, a BD-R in a BD writer), and the normal image build through
// the cache and the write thread.
//
//   bench_burn [MEGABYTES] [rounds]     (default 2048, 5)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "burner/engine/KestrelBurner.h"
#include "model/StateDriveSet.h"

namespace {

namespace fs = std::filesystem;
using namespace bench;

// The floor: every source read and appended to one file in large chunks,
// timed until the copy is on the disk.
double PlainCopy(const std::vector<std::string>& Files, const fs::path& Target) {
    SyncFileSystem(Target.parent_path());
    const auto start = Clock::now();
    std::vector<char> buffer(1 << 20);
    const int out = ::open(Target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) throw std::runtime_error("cannot create " + Target.string());
    for (const auto& file : Files) {
        const int in = ::open(file.c_str(), O_RDONLY);
        if (in < 0) throw std::runtime_error("cannot open " + file);
        for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;)
            if (::write(out, buffer.data(), size_t(n)) != n) throw std::runtime_error("plain copy failed");
        ::close(in);
    }
    ::close(out);
    SyncFileSystem(Target.parent_path());
    const double seconds = SecondsSince(start);
    fs::remove(Target);
    return seconds;
}

// Runs a write of the burner and waits for its OnWriteDone; FirstData gets
// the moment the first block had been sent.
std::string RunWrite(kestrel::TKestrelBurner& Burner, const std::function<bool()>& Start,
                     Clock::time_point* FirstData = nullptr) {
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
    if (!Start()) return "not started";
    std::unique_lock lock(mutex);
    while (!done.wait_for(lock, std::chrono::milliseconds(1), [&] { return finished; }))
        if (FirstData && *FirstData == Clock::time_point{} && Burner.BytesWritten() > 0) *FirstData = Clock::now();
    return error;
}

void Report(const std::string& What, double Seconds, int64_t Bytes) {
    std::printf("  %-30s %8.2f s  %8.1f MB/s\n", What.c_str(), Seconds, double(Bytes) / 1048576.0 / Seconds);
}

// A blank disc of one kind in one of the recorder's drives.
struct TTarget {
    const char* Name;
    vdrive::MediaKind Kind;
    int Drive;
};

void InsertBlankDisc(const fs::path& State, const TTarget& Target) {
    vdrive::StateDriveSet drives(State.string());
    drives.At(Target.Drive).Insert(vdrive::Medium::Blank(Target.Kind));
}

struct TBurnFigures {
    double All = 0;        // BurnCD until OnWriteDone and the disc file is on the disk
    double WriteDone = 0;  // BurnCD until OnWriteDone
    double Streaming = 0;  // first block sent until the track is finalized
    int64_t Underruns = 0;
};

TBurnFigures Burn(kestrel::TKestrelBurner& Burner, const fs::path& State, const TTarget& Target) {
    InsertBlankDisc(State, Target);
    Burner.SelectDevice(Burner.Devices().at(size_t(Target.Drive)));
    SyncFileSystem(State);
    TBurnFigures figures;
    const auto start = Clock::now();
    double dataEnd = 0;
    Burner.OnFinalizingTrack = [&](kestrel::TKestrelBurner*) { dataEnd = SecondsSince(start); };
    Clock::time_point firstData{};
    const std::string error = RunWrite(Burner, [&] { return Burner.BurnCD(); }, &firstData);
    if (!error.empty()) throw std::runtime_error("burn failed: " + error);
    figures.WriteDone = SecondsSince(start);
    SyncFileSystem(State);
    figures.All = SecondsSince(start);
    figures.Streaming = dataEnd - std::chrono::duration<double>(firstData - start).count();
    figures.Underruns = Burner.CacheUnderruns();
    return figures;
}

std::pair<double, int64_t> SaveImage(kestrel::TKestrelBurner& Burner, const fs::path& Image) {
    SyncFileSystem(Image.parent_path());
    const auto start = Clock::now();
    const std::string error = RunWrite(Burner, [&] { return Burner.SaveToISOFile(Image.string(), false) == -1; });
    if (!error.empty()) throw std::runtime_error("image build failed: " + error);
    SyncFileSystem(Image.parent_path());
    const double seconds = SecondsSince(start);
    fs::remove(Image);
    return {seconds, Burner.CacheUnderruns()};
}

}  // namespace

int main(int argc, char** argv) {
    const auto size = ParseBenchSize(argc, argv, "bench_burn", 2048);
    if (!size) return 2;
    const int64_t megabytes = size->Megabytes;
    const int rounds = size->Rounds;
    try {
        // The drive protocol's fixed waits for readiness (about 7 s per burn
        // at real time: settling after the speed and write parameters, the
        // polls after closing) are the same for any size of burn and are
        // outlasted by a real drive's own work; the recorder here does that
        // work at once, so the waits are cut short.
        TBenchFolder folder("kestrel-bench-burn");
        const fs::path root = folder.Path();
        const fs::path state = UseUnthrottledRecorder(root);

        std::printf("generating %lld MB of sources...\n", static_cast<long long>(megabytes));
        const auto files = MakeRandomSources(root / "src", megabytes, 128);
        const int64_t bytes = megabytes * 1048576;

        // The standard drives, and a BD writer after them.
        const TTarget dvd{"DVD+R", vdrive::MediaKind::DvdPlusR, 0};
        const TTarget bd{"BD-R", vdrive::MediaKind::BdR,
                         vdrive::StateDriveSet(state.string()).AddDrive(*vdrive::DriveModel::Preset("bd-writer"))};
        InsertBlankDisc(state, dvd);
        kestrel::TKestrelBurner burner;
        burner.SetCacheSize(8392704);
        burner.PerformOPC = false;
        if (!burner.InitializeASPI(false, {}) || burner.Devices().empty())
            throw std::runtime_error("the virtual recorder's library could not be loaded");
        burner.SelectDevice(burner.Devices().front());
        burner.ClearAll(600000, 20000);
        burner.InsertDir(burner.RootDir, (root / "src").string(), "*.*", 63, true, false, false);

        // Each operation is paired with a plain copy taken right before it,
        // so a busy spell of the machine weighs on both alike.
        std::vector<double> burnRatios, streamRatios, bdRatios, saveRatios;
        int64_t underruns = 0;
        for (int round = 1; round <= rounds; ++round) {
            std::printf("round %d\n", round);
            // Which side of a pair goes first alternates: whatever one
            // phase leaves to the kernel falls on floors and burns alike.
            const bool floorFirst = round % 2 == 1;
            for (const TTarget& target : {dvd, bd}) {
                double floor = floorFirst ? PlainCopy(files, state / "copy.bin") : 0;
                const TBurnFigures burn = Burn(burner, state, target);
                if (!floorFirst) floor = PlainCopy(files, state / "copy.bin");
                Report("plain copy (floor)", floor, bytes);
                Report(std::string("burn onto ") + target.Name, burn.All, bytes);
                Report("  until OnWriteDone", burn.WriteDone, bytes);
                Report("  streaming the data", burn.Streaming, bytes);
                if (target.Kind == dvd.Kind) {
                    burnRatios.push_back(burn.All / floor);
                    streamRatios.push_back(burn.Streaming / floor);
                } else {
                    bdRatios.push_back(burn.All / floor);
                }
                underruns += burn.Underruns;
            }
            burner.SelectDevice(burner.Devices().front());

            double floor = floorFirst ? PlainCopy(files, root / "copy.bin") : 0;
            const auto [save, saveUnderruns] = SaveImage(burner, root / "image.iso");
            if (!floorFirst) floor = PlainCopy(files, root / "copy.bin");
            Report("plain copy (floor)", floor, bytes);
            Report("normal image build", save, bytes);
            saveRatios.push_back(save / floor);
            underruns += saveUnderruns;
        }
        const double burnRatio = Median(burnRatios), bdRatio = Median(bdRatios), saveRatio = Median(saveRatios);
        std::printf("ratio burn to copy           %6.2fx  (streaming alone %.2fx; median of %d; target within 1.30x)\n",
                    burnRatio, Median(streamRatios), rounds);
        std::printf("ratio BD-R burn to copy      %6.2fx  (median of %d; target within 1.30x)\n", bdRatio, rounds);
        std::printf("ratio image build to copy    %6.2fx  (median of %d; target within 1.30x)\n", saveRatio, rounds);
        // Both ends run at memory speed here, so the writer meets an empty
        // queue now and then; each such wait is bounded by one block's read.
        std::printf("cache ran empty after priming: %lld times in %d writes\n", static_cast<long long>(underruns),
                    3 * rounds);
        const bool met = burnRatio <= 1.3 && bdRatio <= 1.3 && saveRatio <= 1.3;
        std::printf("target %s\n", met ? "met" : "NOT met");

        // At a real drive's pace the writer must never wait for the cache.
        const int64_t paced = std::min<int64_t>(megabytes, 256);
        burner.ClearAll(600000, 20000);
        int64_t pacedBytes = 0;
        for (size_t i = 0; pacedBytes < paced * 1048576 && i < files.size(); ++i) {
            burner.InsertFile("\\", files[i], false);
            pacedBytes += int64_t(fs::file_size(files[i]));
        }
        setenv("KESTREL_VDRIVE_THROTTLE", "1", 1);
        const TBurnFigures throttled = Burn(burner, state, dvd);
        unsetenv("KESTREL_VDRIVE_THROTTLE");
        Report("burn at the drive's own rate", throttled.All, pacedBytes);
        std::printf("cache ran empty after priming at the drive's rate: %lld times\n",
                    static_cast<long long>(throttled.Underruns));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_burn: %s\n", e.what());
        return 1;
    }
    return 0;
}
