#pragma once
// What the benchmarks share: timing to the point where the bytes are on the
// disk, and the median of repeated rounds.
//
// Every timed phase ends with a sync of the file system it wrote to. Without
// it a phase is timed to the page cache only, and whether the kernel's
// write-back of an earlier phase happens to fall into it decides the figure.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point Start) {
    return std::chrono::duration<double>(Clock::now() - Start).count();
}

// Writes back everything dirty on the file system that holds Path.
inline void SyncFileSystem(const std::filesystem::path& Path) {
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + Path.string());
    const int result = ::syncfs(fd);
    ::close(fd);
    if (result != 0) throw std::runtime_error("cannot sync " + Path.string());
}

inline double Median(std::vector<double> Values) {
    if (Values.empty()) return 0;
    std::sort(Values.begin(), Values.end());
    const size_t middle = Values.size() / 2;
    return Values.size() % 2 ? Values[middle] : (Values[middle - 1] + Values[middle]) / 2;
}

// A fresh folder under the temporary directory, removed by the destructor.
class TBenchFolder {
public:
    explicit TBenchFolder(const std::string& Prefix) {
        std::string pattern = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder for the benchmark");
        path_ = pattern;
    }
    ~TBenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TBenchFolder(const TBenchFolder&) = delete;
    TBenchFolder& operator=(const TBenchFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The size of the sources and the number of rounds, from the command line
// "[MEGABYTES (1..4000)] [rounds (1..20)]"; none (after the usage line) when
// either is out of its range.
struct TBenchSize {
    int64_t Megabytes = 0;
    int Rounds = 0;
};

inline std::optional<TBenchSize> ParseBenchSize(int argc, char** argv, const char* Program, int64_t DefaultMegabytes) {
    const TBenchSize size{argc > 1 ? std::atoll(argv[1]) : DefaultMegabytes, argc > 2 ? std::atoi(argv[2]) : 5};
    if (size.Megabytes < 1 || size.Megabytes > 4000 || size.Rounds < 1 || size.Rounds > 20) {
        std::fprintf(stderr, "usage: %s [MEGABYTES (1..4000)] [rounds (1..20)]\n", Program);
        return std::nullopt;
    }
    return size;
}

// The virtual recorder's library, unthrottled, with its drives kept in
// Root/vdrive (returned). The drive protocol's fixed waits run at a
// hundredth of real time and the recorder's own at a thousandth, so the
// figures show what the engine costs, not the waits.
inline std::filesystem::path UseUnthrottledRecorder(const std::filesystem::path& Root) {
    ::setenv("KESTREL_TIME_SCALE", "0.01", 1);
    ::setenv("KESTREL_VDRIVE_TIME_SCALE", "0.001", 1);
    ::setenv("KESTREL_DEVICE_LAYER", "library", 1);
    ::unsetenv("KESTREL_VDRIVE_THROTTLE");
    const std::filesystem::path state = Root / "vdrive";
    std::filesystem::create_directories(state);
    ::setenv("KESTREL_VDRIVE_DIR", state.c_str(), 1);
    return state;
}

// Files of pseudo-random bytes (nothing a store could keep sparse), of
// PerFile megabytes each but the last; their paths in order.
inline std::vector<std::string> MakeRandomSources(const std::filesystem::path& Dir, int64_t Megabytes,
                                                  int64_t PerFile) {
    std::filesystem::create_directories(Dir);
    std::vector<std::string> files;
    std::vector<uint64_t> chunk(1 << 17);  // 1 MiB
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (int64_t made = 0; made < Megabytes; made += PerFile) {
        const std::string path = (Dir / ("part" + std::to_string(files.size()) + ".bin")).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) throw std::runtime_error("cannot create " + path);
        for (int64_t mb = 0; mb < std::min(PerFile, Megabytes - made); ++mb) {
            for (auto& word : chunk) word = state = state * 6364136223846793005ull + 1442695040888963407ull;
            if (::write(fd, chunk.data(), chunk.size() * 8) < 0) {
                ::close(fd);
                throw std::runtime_error("cannot write " + path);
            }
        }
        ::close(fd);
        files.push_back(path);
    }
    return files;
}

}  // namespace bench
