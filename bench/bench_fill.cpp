// Fills the compilation from generated trees at the front end's limits and
// lays it out, printing the times and the peak memory:
//   1. 600,000 entries in 20,000 directories (ClearAll(600000, 20000));
//   2. one flat directory of 100,000 files.
// Targets: each under 10 s, memory under 1 GiB.
// Usage: bench_fill [TREE_FOLDER]
//   Without a folder the trees are generated under $TMPDIR (or /tmp) and
//   removed at the end; with one they are generated there once and kept, so
//   later runs time the filling alone.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "burner/iso/FillCompilation.h"
#include "burner/iso/ImageBuilder.h"

namespace {

using namespace kestrel;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point Start) {
    return std::chrono::duration<double>(Clock::now() - Start).count();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& T) { return T.tv_sec + T.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void Touch(const std::string& Path) {
    const int fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(Path.c_str());
        std::exit(1);
    }
    ::close(fd);
}

void MakeDir(const std::string& Path) {
    if (::mkdir(Path.c_str(), 0755) != 0) {
        std::perror(Path.c_str());
        std::exit(1);
    }
}

// 99 top directories of 201 subdirectories each (19,998 directories plus the
// root), and files spread over the leaves so that files and subdirectory
// entries together fill the 600,000 entries of the table.
void MakeDeepTree(const std::string& Root, int Entries) {
    constexpr int Tops = 99, Leaves = 201;
    const int files = Entries - Tops * (Leaves + 1);
    MakeDir(Root);
    for (int t = 0; t < Tops; ++t) {
        MakeDir(Root + "/top" + std::to_string(t));
        for (int l = 0; l < Leaves; ++l) MakeDir(Root + "/top" + std::to_string(t) + "/leaf" + std::to_string(l));
    }
    for (int i = 0; i < files; ++i) {
        const int leaf = i % (Tops * Leaves);
        Touch(Root + "/top" + std::to_string(leaf / Leaves) + "/leaf" + std::to_string(leaf % Leaves) + "/file" +
              std::to_string(i) + ".dat");
    }
}

void MakeFlatTree(const std::string& Root, int Files) {
    MakeDir(Root);
    for (int i = 0; i < Files; ++i) Touch(Root + "/file" + std::to_string(i) + ".txt");
}

double LayOut(TImageBuilder& Builder) {
    const auto start = Clock::now();
    Builder.BuildLayout(true, nullptr);
    return SecondsSince(start);
}

void Run(const char* Title, const std::string& Root) {
    TImageBuilder builder;
    builder.ClearAll(600000, 20000);
    int limitLines = 0;
    builder.OnDebugMessage = [&](TDebugLog*, const std::string&, uint8_t Type) { limitLines += Type == mtLimit; };
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    const TFillResult result =
        FillCompilation(builder, {{Root + "/", true}}, {TSavePathState::Unchecked, false, 0, nullptr});
    const double fill = SecondsSince(start);
    const double fillCpu = CpuSeconds() - cpuStart;
    const double layout = LayOut(builder);
    std::printf("%s\n", Title);
    std::printf("  entries %d, directories %d, filled %s, limit lines %d\n", builder.FilesCount(),
                builder.DirsCount(), result.Filled ? "yes" : ("no: " + result.Message).c_str(), limitLines);
    std::printf("  fill   %.2f s (target < 10 s), of which %.2f s on the processor\n", fill, fillCpu);
    std::printf("  layout %.2f s\n  total  %.2f s\n", layout, fill + layout);
    std::printf("  peak memory %.0f MiB (target < 1024 MiB)\n", PeakMiB());
}

}  // namespace

int main(int argc, char** argv) {
    std::string work;
    const bool keep = argc > 1;
    if (keep) {
        work = argv[1];
        std::filesystem::create_directories(work);
    } else {
        const char* tmp = std::getenv("TMPDIR");
        work = std::string(tmp ? tmp : "/tmp") + "/kestrel-bench-fill-XXXXXX";
        if (!mkdtemp(work.data())) {
            std::perror("mkdtemp");
            return 1;
        }
    }
    if (!std::filesystem::exists(work + "/flat")) {
        const auto start = Clock::now();
        MakeDeepTree(work + "/deep", 600000);
        MakeFlatTree(work + "/flat", 100000);
        std::printf("generated the trees in %.1f s under %s\n", SecondsSince(start), work.c_str());
    }
    Run("600,000 entries in 20,000 directories", work + "/deep");
    Run("one flat directory of 100,000 files", work + "/flat");
    if (!keep) std::filesystem::remove_all(work);
    return 0;
}
