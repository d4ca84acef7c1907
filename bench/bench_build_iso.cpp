// Image build speed: kestrel-cli build-iso --quick against the peer image
// builders and against a plain cat of the same files (the floor).
//
//   bench_build_iso [TOTAL_MIB [FILES [DIRS [ROUNDS]]]]
//
// Generates a tree of FILES small files in DIRS directories plus four large
// files (half of TOTAL_MIB), warms the page cache, then times each builder
// writing its image next to the tree (cat, like kestrel-cli, copies inside
// the kernel with copy_file_range). Every builder writes Rock Ridge and
// Joliet, as kestrel-cli does by default. Defaults: 2048 MiB, 20,000 files,
// 2,000 directories, the best of 2 rounds. Then it times kestrel-cli on a
// tree holding one sparse file of 20 GiB (stored in several extents; its
// holes stay holes in the image).
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "burner/iso/ImageBuilder.h"

namespace fs = std::filesystem;

namespace {

struct TTree {
    fs::path Root;
    int64_t Bytes = 0;
    int Files = 0;
};

// Incompressible, never-zero bytes from a xorshift generator.
void Fill(std::vector<char>& Buffer, uint64_t& State) {
    auto* words = reinterpret_cast<uint64_t*>(Buffer.data());
    for (size_t i = 0; i < Buffer.size() / 8; ++i) {
        State ^= State << 13, State ^= State >> 7, State ^= State << 17;
        words[i] = State | 0x0101010101010101ull;
    }
}

void WriteRandomFile(const fs::path& Path, int64_t Size, uint64_t& State, std::vector<char>& Buffer) {
    std::ofstream out(Path, std::ios::binary);
    for (int64_t left = Size; left > 0;) {
        Fill(Buffer, State);
        const auto n = static_cast<std::streamsize>(std::min<int64_t>(left, int64_t(Buffer.size())));
        out.write(Buffer.data(), n);
        left -= n;
    }
}

TTree MakeTree(const fs::path& Root, int64_t TotalBytes, int Files, int Dirs) {
    TTree tree{Root, 0, 0};
    uint64_t state = 0x9E3779B97F4A7C15ull;
    std::vector<char> buffer(1 << 20);
    std::vector<fs::path> dirs{Root};
    for (int d = 1; d < Dirs; ++d) {
        // A tree of fan-out ten, several levels deep.
        const fs::path dir = dirs[size_t((d - 1) / 10)] / ("dir" + std::to_string(d));
        fs::create_directories(dir);
        dirs.push_back(dir);
    }
    const int64_t large = TotalBytes / 2 / 4;
    for (int i = 0; i < 4; ++i) {
        WriteRandomFile(Root / ("large" + std::to_string(i) + ".bin"), large, state, buffer);
        tree.Bytes += large;
        ++tree.Files;
    }
    const int64_t smallTotal = TotalBytes - 4 * large;
    for (int f = 0; f < Files; ++f) {
        // Sizes spread from tiny to about twice the mean.
        const int64_t mean = smallTotal / Files;
        const int64_t size = mean / 8 + (int64_t(state % 1000) * mean * 15 / 8) / 1000;
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        WriteRandomFile(dirs[size_t(f) % dirs.size()] / ("file" + std::to_string(f) + ".dat"), size, state, buffer);
        tree.Bytes += size;
        ++tree.Files;
    }
    return tree;
}

double TimeCommand(const std::string& Command) {
    std::system("sync");
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(Command.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) std::fprintf(stderr, "failed (%d): %s\n", status, Command.c_str());
    return seconds;
}

std::string Quote(const std::string& S) { return "'" + S + "'"; }

fs::path SelfDir() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? fs::path(std::string(path, size_t(n))).parent_path() : fs::current_path();
}

// A compilation put together in memory at the front end's limits: 20,000
// directories (a tree of fan-out ten) and 580,000 files spread over them.
class TSyntheticCompilation : public kestrel::TImageBuilder {
public:
    TSyntheticCompilation(int Dirs, int Files) {
        ClearAll(600000, 20000);
        std::vector<kestrel::TDEntry*> dirs{RootDir};
        for (int d = 1; d < Dirs; ++d) dirs.push_back(AddDir(dirs[size_t((d - 1) / 10)], "DIRECTORY_" + std::to_string(d)));
        for (int f = 0; f < Files; ++f)
            AddFile(dirs[size_t(f) % dirs.size()], "file_with_a_longer_name_" + std::to_string(f) + ".dat", 1000 + f % 5000);
    }

private:
    static void Append(kestrel::TDEntry* Dir, kestrel::TFEntry* Entry, kestrel::TFEntry*& Last) {
        if (Last) Last->Next = Entry;
        else Dir->Files = Entry;
        Last = Entry;
    }
    kestrel::TDEntry* AddDir(kestrel::TDEntry* Parent, const std::string& Name) {
        kestrel::TDEntry* dir = NewDirEntry();
        kestrel::TFEntry* entry = NewFileEntry();
        dir->ShortName = dir->LongName = entry->ShortName = entry->LongName = Name;
        dir->Parent = Parent;
        entry->Dir = dir;
        entry->Attr = kestrel::faDirectory;
        Append(Parent, entry, last_[Parent]);
        return dir;
    }
    void AddFile(kestrel::TDEntry* Dir, const std::string& Name, int64_t Size) {
        kestrel::TFEntry* entry = NewFileEntry();
        entry->LongName = Name;
        entry->ShortName = Name;
        entry->ISOSize = entry->JolietSize = Size;
        Append(Dir, entry, last_[Dir]);
    }
    std::map<kestrel::TDEntry*, kestrel::TFEntry*> last_;
};

void TimeLayout() {
    TSyntheticCompilation compilation(20000, 580000);
    const auto start = std::chrono::steady_clock::now();
    compilation.BuildLayout(true, nullptr);
    const auto laid = std::chrono::steady_clock::now();
    compilation.BuildImageHead(true, nullptr);
    const auto built = std::chrono::steady_clock::now();
    std::printf("layout of %d entries in %d directories: %.2f s, image head (%.1f MiB): %.2f s\n\n",
                compilation.FilesCount(), compilation.DirsCount() + 1,
                std::chrono::duration<double>(laid - start).count(),
                double(compilation.HeadStream.size()) / 1048576.0,
                std::chrono::duration<double>(built - laid).count());
}

// One sparse file of 20 GiB with a little data at its start, across its
// first extent boundary and at its end.
void TimeSparseTree(const fs::path& Work, const std::string& Cli) {
    const fs::path tree = Work / "sparse";
    fs::create_directories(tree);
    const fs::path file = tree / "disk.img";
    const int64_t size = int64_t(20) << 30;
    {
        std::ofstream out(file, std::ios::binary);
        out << "start";
    }
    fs::resize_file(file, uint64_t(size));
    std::fstream patch(file, std::ios::in | std::ios::out | std::ios::binary);
    for (const int64_t at : {int64_t(0xFFFFF800) - 3, size - 3}) {
        patch.seekp(at);
        patch << "end";
    }
    patch.close();
    const std::string out = (Work / "sparse.iso").string();
    const double seconds =
        TimeCommand(Quote(Cli) + " build-iso --quick -o " + Quote(out) + " " + Quote(tree.string()) + " >/dev/null 2>&1");
    struct stat st {};
    ::stat(out.c_str(), &st);
    std::printf("\nsparse tree (one file of 20 GiB): kestrel-cli build-iso --quick %.2f s, image %.1f GiB using %.1f MiB\n",
                seconds, double(st.st_size) / 1073741824.0, double(st.st_blocks) * 512 / 1048576.0);
    fs::remove(out);
    fs::remove_all(tree);
}

bool Have(const std::string& Tool) { return std::system(("command -v " + Tool + " >/dev/null 2>&1").c_str()) == 0; }

}  // namespace

int main(int argc, char** argv) {
    const int64_t totalMiB = argc > 1 ? std::atoll(argv[1]) : 2048;
    const int files = argc > 2 ? std::atoi(argv[2]) : 20000;
    const int dirs = argc > 3 ? std::atoi(argv[3]) : 2000;
    if (totalMiB <= 0 || files <= 0 || dirs <= 0) {
        std::fprintf(stderr, "usage: bench_build_iso [TOTAL_MIB [FILES [DIRS [ROUNDS]]]]\n");
        return 2;
    }
    TimeLayout();
    char pattern[] = "/tmp/kestrel-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const fs::path work = pattern;
    const fs::path src = work / "src";
    fs::create_directories(src);

    std::printf("generating %d files in %d directories, %lld MiB ...\n", files + 4, dirs,
                static_cast<long long>(totalMiB));
    const TTree tree = MakeTree(src, totalMiB << 20, files, dirs);
    const std::string fileList = "find " + Quote(src.string()) + " -type f -print0 | xargs -0 cat";
    std::system((fileList + " > /dev/null").c_str());  // warm the page cache

    const std::string out = (work / "out.iso").string();
    const std::string cli = (SelfDir() / "kestrel-cli").string();
    struct TResult {
        std::string Name, Command;
        double Seconds;
    };
    std::vector<TResult> results{
        {"cat (floor)", fileList + " > " + Quote(out), 0},
        {"kestrel-cli build-iso --quick", Quote(cli) + " build-iso --quick -o " + Quote(out) + " " + Quote(src.string()), 0},
    };
    if (Have("xorriso"))
        results.push_back({"xorriso -as mkisofs -R -J", "xorriso -as mkisofs -R -J -iso-level 3 -o " + Quote(out) + " " +
                                                           Quote(src.string()), 0});
    if (Have("genisoimage"))
        results.push_back({"genisoimage -R -J", "genisoimage -R -J -quiet -o " + Quote(out) + " " + Quote(src.string()), 0});
    // The best of a few rounds, each running every builder once: the machine
    // is shared, and interleaving spreads its noise over all of them.
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2;
    for (int round = 0; round < rounds; ++round)
        for (auto& r : results) {
            const double seconds = TimeCommand("(" + r.Command + ") >/dev/null 2>&1");
            if (round == 0 || seconds < r.Seconds) r.Seconds = seconds;
            fs::remove(out);
        }

    const double floor = results[0].Seconds;
    const double kestrel = results[1].Seconds;
    double fastestPeer = 0;
    for (size_t i = 2; i < results.size(); ++i)
        if (fastestPeer == 0 || results[i].Seconds < fastestPeer) fastestPeer = results[i].Seconds;

    std::printf("\ntree: %d files, %d directories, %.1f MiB\n\n", tree.Files, dirs, double(tree.Bytes) / 1048576.0);
    std::printf("%-32s %9s %10s %12s\n", "builder", "seconds", "MiB/s", "x floor");
    for (const auto& r : results)
        std::printf("%-32s %9.2f %10.1f %12.2f\n", r.Name.c_str(), r.Seconds, double(tree.Bytes) / 1048576.0 / r.Seconds,
                    r.Seconds / floor);
    if (fastestPeer > 0) std::printf("\nkestrel / fastest peer: %.2f (target <= 1.00)\n", kestrel / fastestPeer);
    std::printf("kestrel / floor:        %.2f (target <= 1.30)\n", kestrel / floor);

    fs::remove_all(src);
    TimeSparseTree(work, cli);

    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
