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
#include <filesystem>
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

}  // namespace bench
