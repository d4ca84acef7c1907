// Speed of the recording engine against the floor of a plain copy of the
// same bytes: a burn onto the unthrottled virtual recorder (a DVD+R), and
// the normal image build through the cache and the write thread.
//
//   bench_burn [MEGABYTES]     (default 2048)
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

#include "burner/engine/KestrelBurner.h"
#include "model/StateDriveSet.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point Start) { return std::chrono::duration<double>(Clock::now() - Start).count(); }

// Files of pseudo-random bytes (nothing a store could keep sparse).
std::vector<std::string> MakeSources(const fs::path& Dir, int64_t Megabytes) {
    fs::create_directories(Dir);
    std::vector<std::string> files;
    std::vector<uint64_t> chunk(1 << 17);  // 1 MiB
    uint64_t state = 0x9E3779B97F4A7C15ull;
    const int64_t perFile = 128;
    for (int64_t made = 0; made < Megabytes; made += perFile) {
        const std::string path = (Dir / ("part" + std::to_string(files.size()) + ".bin")).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (int64_t mb = 0; mb < std::min(perFile, Megabytes - made); ++mb) {
            for (auto& word : chunk) word = state = state * 6364136223846793005ull + 1442695040888963407ull;
            if (::write(fd, chunk.data(), chunk.size() * 8) < 0) std::perror("write");
        }
        ::close(fd);
        files.push_back(path);
    }
    return files;
}

// The floor: every source read and appended to one file, in large chunks.
double PlainCopy(const std::vector<std::string>& Files, const std::string& Target) {
    const auto start = Clock::now();
    std::vector<char> buffer(1 << 20);
    const int out = ::open(Target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (const auto& file : Files) {
        const int in = ::open(file.c_str(), O_RDONLY);
        for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;)
            if (::write(out, buffer.data(), size_t(n)) != n) std::perror("write");
        ::close(in);
    }
    ::close(out);
    const double seconds = Seconds(start);
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

void Report(const char* What, double Seconds, double Floor, int64_t Bytes) {
    std::printf("%-28s %8.2f s  %8.1f MB/s  ratio to copy %.2fx\n", What, Seconds,
                double(Bytes) / 1048576.0 / Seconds, Seconds / Floor);
}

}  // namespace

int main(int argc, char** argv) {
    const int64_t megabytes = argc > 1 ? std::atoll(argv[1]) : 2048;
    char pattern[] = "/tmp/kestrel-bench-burn-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const fs::path root = pattern;
    const fs::path state = root / "vdrive";
    fs::create_directories(state);
    setenv("KESTREL_VDRIVE_DIR", state.c_str(), 1);
    // The recorder's own closing time is not the engine's: run it fast.
    setenv("KESTREL_VDRIVE_TIME_SCALE", "0.001", 1);
    setenv("KESTREL_DEVICE_LAYER", "library", 1);
    unsetenv("KESTREL_VDRIVE_THROTTLE");

    std::printf("generating %lld MB of sources...\n", static_cast<long long>(megabytes));
    const auto files = MakeSources(root / "src", megabytes);
    const int64_t bytes = megabytes * 1048576;
    double floor = PlainCopy(files, (root / "copy.bin").string());
    floor = std::min(floor, PlainCopy(files, (state / "copy.bin").string()));
    Report("plain copy (floor)", floor, floor, bytes);

    {
        vdrive::StateDriveSet drives(state.string());
        drives.At(0).Insert(vdrive::Medium::Blank(vdrive::MediaKind::DvdPlusR));
    }
    kestrel::TKestrelBurner burner;
    burner.SetCacheSize(8392704);
    burner.PerformOPC = false;
    if (!burner.InitializeASPI(false, {}) || burner.Devices().empty()) {
        std::fprintf(stderr, "the virtual recorder's library could not be loaded\n");
        return 1;
    }
    burner.SelectDevice(burner.Devices().front());
    burner.ClearAll(600000, 20000);
    burner.InsertDir(burner.RootDir, (root / "src").string(), "*.*", 63, true, false, false);

    // Each floor is taken right before its operation, on the same disk, so
    // that a busy machine weighs on both alike.
    floor = PlainCopy(files, (state / "copy.bin").string());
    Report("plain copy (floor)", floor, floor, bytes);
    auto start = Clock::now();
    double dataPhase = 0;
    burner.OnFinalizingTrack = [&](kestrel::TKestrelBurner*) { dataPhase = Seconds(start); };
    Clock::time_point firstData{};
    double streaming = 0, burnFloor = 0;
    std::string error = RunWrite(burner, [&] { return burner.BurnCD(); }, &firstData);
    const double burn = Seconds(start);
    if (!error.empty()) {
        std::fprintf(stderr, "burn failed: %s\n", error.c_str());
    } else {
        // The drive's preparation holds the protocol's fixed waits for
        // readiness; the streaming is what the engine itself adds.
        const double preparing = std::chrono::duration<double>(firstData - start).count();
        streaming = dataPhase - preparing;
        burnFloor = floor;
        Report("burn onto DVD+R, streaming", streaming, floor, bytes);
        Report("burn onto DVD+R, to the flush", dataPhase, floor, bytes);
        Report("burn onto DVD+R, all", burn, floor, bytes);
    }

    const std::string image = (root / "image.iso").string();
    floor = PlainCopy(files, (root / "copy.bin").string());
    Report("plain copy (floor)", floor, floor, bytes);
    start = Clock::now();
    error = RunWrite(burner, [&] { return burner.SaveToISOFile(image, false) == -1; });
    const double save = Seconds(start);
    if (!error.empty()) std::fprintf(stderr, "image build failed: %s\n", error.c_str());
    else Report("normal image build", save, floor, bytes);

    // Where the burn's time goes: the drive's own speed for the same WRITE
    // (10) commands, without the engine.
    {
        vdrive::StateDriveSet drives(state.string());
        drives.At(0).Insert(vdrive::Medium::Blank(vdrive::MediaKind::DvdPlusR));
    }
    std::vector<uint8_t> block(65536);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 13 + 1);
    burner.SetWriteParameters(false, true, true, 11);
    start = Clock::now();
    bool written = true;
    for (uint32_t lba = 0; written && int64_t(lba) * 2048 < bytes; lba += 32)
        written = burner.Write10(lba, 32, kestrel::SRB_FLAGS_OUT, block.data(), uint32_t(block.size()));
    const double driveAlone = Seconds(start);
    if (!written) std::fprintf(stderr, "plain writes failed: %s\n", burner.LastError.c_str());
    else Report("WRITE (10) alone, no engine", driveAlone, floor, bytes);
    // The burn cannot stream faster than the slower of its two ends.
    if (written && streaming > 0)
        std::printf("burn streaming against max(copy, drive alone): %.2fx\n",
                    streaming / std::max(burnFloor, driveAlone));

    fs::remove_all(root);
    return 0;
}
