// Writing through the virtual recorder's library against writing the same
// bytes to a plain file in the same folder.
//
//   bench_vdrive_write [MiB] [dvd+rw|dvd-r|both] [rounds]   (default 2048 MiB, both, 3)
//
// A third figure writes the same blocks straight into the drive model, which
// tells the door's own share of the time apart from the model's.
//
// The library is loaded at run time as the device layer loads it; every
// block is one WRITE (10) of 32 sectors, unthrottled, onto a blank disc in a
// fresh state folder. The disc data are not zeros (zeros are kept sparse and
// would cost nothing). Target: the library within 1.2x of the plain write.
#include <dlfcn.h>
#include <fcntl.h>
#include <kestrel/aspi_srb.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "model/DriveSet.h"

namespace {

namespace fs = std::filesystem;
using namespace bench;

constexpr uint32_t SectorsPerBlock = 32;
constexpr uint32_t BlockBytes = SectorsPerBlock * 2048;

fs::path ProgramDir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

class TLibrary {
public:
    explicit TLibrary(const fs::path& Path) {
        handle_ = dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) throw std::runtime_error(std::string("cannot load the library: ") + dlerror());
        info_ = reinterpret_cast<PFN_GetASPI32SupportInfo>(dlsym(handle_, "GetASPI32SupportInfo"));
        send_ = reinterpret_cast<PFN_SendASPI32Command>(dlsym(handle_, "SendASPI32Command"));
        if (!info_ || !send_) throw std::runtime_error("the library lacks its entry points");
        if ((info_() & 0xFF) == 0) throw std::runtime_error("the library reports no adapter");
    }
    ~TLibrary() { dlclose(handle_); }
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;

    // One command to drive 0; throws with the sense when it fails.
    void Command(std::vector<uint8_t> Cdb, uint8_t Dir, void* Data, uint32_t Len) {
        SRB_ExecSCSICmd srb;
        std::memset(&srb, 0, sizeof srb);
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_Flags = Dir;
        srb.SRB_BufPointer = Data;
        srb.SRB_BufLen = Len;
        srb.SRB_SenseLen = SENSE_LEN;
        srb.SRB_CDBLen = static_cast<uint8_t>(Cdb.size());
        std::memcpy(srb.CDBByte, Cdb.data(), Cdb.size());
        const uint32_t status = send_(&srb);
        if (status != SS_COMP) {
            char text[96];
            std::snprintf(text, sizeof text, "command %02Xh failed: status %02X, sense %X/%02X/%02X", Cdb[0],
                          status, srb.SenseArea[2] & 0x0F, srb.SenseArea[12], srb.SenseArea[13]);
            throw std::runtime_error(text);
        }
    }

private:
    void* handle_ = nullptr;
    PFN_GetASPI32SupportInfo info_ = nullptr;
    PFN_SendASPI32Command send_ = nullptr;
};

// The bytes of block Index: a random pattern stamped with the index.
void FillBlock(std::vector<uint8_t>& Block, const std::vector<uint8_t>& Pattern, uint64_t Index) {
    std::memcpy(Block.data(), Pattern.data(), Block.size());
    for (uint32_t s = 0; s < SectorsPerBlock; ++s) std::memcpy(&Block[s * 2048], &Index, sizeof Index);
}

std::vector<uint8_t> Write10(uint32_t Lba, uint16_t Sectors) {
    return {0x2A, 0, uint8_t(Lba >> 24), uint8_t(Lba >> 16), uint8_t(Lba >> 8), uint8_t(Lba),
            0,    uint8_t(Sectors >> 8), uint8_t(Sectors), 0};
}

void WaitUntilReady(TLibrary& Lib) {
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    for (;;) {
        try {
            Lib.Command({0x00, 0, 0, 0, 0, 0}, 0, nullptr, 0);
            return;
        } catch (const std::runtime_error&) {
            if (Clock::now() > deadline) throw;
            usleep(10000);
        }
    }
}

void InsertBlank(const fs::path& State, const std::string& Media) {
    const std::string insert = (ProgramDir() / "kestrel-vdrive").string() + " --dir " + State.string() +
                               " insert --drive 0 --media " + Media + " >/dev/null";
    if (std::system(insert.c_str()) != 0) throw std::runtime_error("cannot insert " + Media);
}

// One blank disc written from sector 0 to the end of the data, timed until
// the drive's cache is flushed and the disc file is on the disk.
double LibraryWrite(TLibrary& Lib, const fs::path& State, const std::string& Media, uint64_t Blocks,
                    const std::vector<uint8_t>& Pattern) {
    InsertBlank(State, Media);
    WaitUntilReady(Lib);
    if (Media == "dvd+rw") {  // a DVD+RW is sold unformatted
        uint8_t list[12] = {0, 0x02, 0, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0x26 << 2, 0, 0, 0};
        Lib.Command({0x04, 0x11, 0, 0, 0, 0}, SRB_DIR_OUT, list, sizeof list);
        WaitUntilReady(Lib);
    }
    std::vector<uint8_t> block(BlockBytes);
    SyncFileSystem(State);
    const auto start = Clock::now();
    for (uint64_t i = 0; i < Blocks; ++i) {
        FillBlock(block, Pattern, i);
        Lib.Command(Write10(static_cast<uint32_t>(i * SectorsPerBlock), SectorsPerBlock), SRB_DIR_OUT, block.data(),
                    BlockBytes);
    }
    Lib.Command({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, nullptr, 0);  // SYNCHRONIZE CACHE
    SyncFileSystem(State);
    const double seconds = SecondsSince(start);
    if (Media == "dvd-r") {
        Lib.Command({0x5B, 0, 1, 0, 0, 1, 0, 0, 0, 0}, 0, nullptr, 0);  // close the track
        WaitUntilReady(Lib);
    }
    return seconds;
}

// The same writes handed to the drive model directly, without the library:
// what the door itself costs is the difference to the library's figure.
double DirectWrite(const fs::path& State, uint64_t Blocks, const std::vector<uint8_t>& Pattern) {
    InsertBlank(State, "dvd-r");
    auto drives = vdrive::DriveSet::Open(State.string());
    std::vector<uint8_t> block(BlockBytes);
    auto run = [&](std::vector<uint8_t> Cdb, vdrive::Direction Dir, uint8_t* Data, size_t Len) {
        const vdrive::CommandReply reply = drives->Execute(0, Cdb.data(), Cdb.size(), Data, Len, Dir);
        if (reply.status != 0) throw std::runtime_error("direct write failed");
    };
    SyncFileSystem(State);
    const auto start = Clock::now();
    for (uint64_t i = 0; i < Blocks; ++i) {
        FillBlock(block, Pattern, i);
        run(Write10(static_cast<uint32_t>(i * SectorsPerBlock), SectorsPerBlock), vdrive::Direction::Out,
            block.data(), BlockBytes);
    }
    run({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, vdrive::Direction::None, nullptr, 0);
    SyncFileSystem(State);
    return SecondsSince(start);
}

// The floor: the same blocks appended to a new file in the same folder,
// timed until they are on the disk.
double PlainWrite(const fs::path& File, uint64_t Blocks, const std::vector<uint8_t>& Pattern) {
    const int fd = open(File.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + File.string());
    std::vector<uint8_t> block(BlockBytes);
    SyncFileSystem(File.parent_path());
    const auto start = Clock::now();
    for (uint64_t i = 0; i < Blocks; ++i) {
        FillBlock(block, Pattern, i);
        if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
            close(fd);
            throw std::runtime_error("plain write failed");
        }
    }
    SyncFileSystem(File.parent_path());
    const double seconds = SecondsSince(start);
    close(fd);
    fs::remove(File);
    return seconds;
}

void Report(const std::string& What, double Seconds, double MiB) {
    std::printf("  %-24s %8.0f MiB in %7.2f s  %8.1f MiB/s\n", What.c_str(), MiB, Seconds, MiB / Seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2048;
    const std::string which = argc > 2 ? argv[2] : "both";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    if (mib == 0 || mib > 4096 || (which != "both" && which != "dvd+rw" && which != "dvd-r") || rounds < 1 ||
        rounds > 20) {
        std::fprintf(stderr, "usage: bench_vdrive_write [MiB (1..4096)] [dvd+rw|dvd-r|both] [rounds (1..20)]\n");
        return 2;
    }
    const uint64_t blocks = mib * 1024 * 1024 / BlockBytes;
    const double size = static_cast<double>(mib);
    std::vector<uint8_t> pattern(BlockBytes);
    std::mt19937_64 random(2026);
    for (auto& b : pattern) b = static_cast<uint8_t>(random() | 1);

    setenv("KESTREL_VDRIVE_TIME_SCALE", "0", 1);  // formatting and closing take no time here
    unsetenv("KESTREL_VDRIVE_THROTTLE");
    unsetenv("KESTREL_VDRIVE_DELAY_MS");
    unsetenv("KESTREL_VDRIVE_ASYNC");
    try {
        TBenchFolder folder("kestrel-bench");
        const fs::path state = folder.Path() / "state";
        setenv("KESTREL_VDRIVE_DIR", state.c_str(), 1);
        InsertBlank(state, "dvd-r");
        TLibrary lib(ProgramDir() / "libkestrel-vdrive.so");
        std::printf("writing %llu MiB in blocks of %u sectors, %d rounds; each timed until on the disk\n",
                    static_cast<unsigned long long>(mib), SectorsPerBlock, rounds);
        bool met = true;
        for (const std::string media : {"dvd+rw", "dvd-r"}) {
            if (which != "both" && which != media) continue;
            // Plain and library writes alternate, so a busy spell of the
            // machine weighs on both sides of a round's ratio alike.
            std::vector<double> ratios;
            for (int round = 1; round <= rounds; ++round) {
                const double plain = PlainWrite(folder.Path() / "plain.bin", blocks, pattern);
                const double library = LibraryWrite(lib, state, media, blocks, pattern);
                std::printf("round %d\n", round);
                Report("plain sequential write", plain, size);
                Report("library onto " + media, library, size);
                ratios.push_back(library / plain);
            }
            const double ratio = Median(ratios);
            met = met && ratio <= 1.2;
            std::printf("%-26s %8.2fx  (median of %d; target within 1.20x)\n", ("ratio " + media).c_str(), ratio,
                        rounds);
        }
        const fs::path direct = folder.Path() / "direct";
        Report("model without the door", DirectWrite(direct, blocks, pattern), size);
        std::printf("target %s\n", met ? "met" : "NOT met");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_vdrive_write: %s\n", e.what());
        return 1;
    }
    return 0;
}
