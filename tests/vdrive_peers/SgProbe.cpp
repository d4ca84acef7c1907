// A small program the interposer tests run under LD_PRELOAD: it uses device
// nodes the way burning programs do and prints what it saw, one "key value"
// line per observation.
#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string ErrName(int Error) {
    const char* name = strerrorname_np(Error);
    return name ? name : std::to_string(Error);
}

void Say(const char* Key, const std::string& Value) { std::printf("%s %s\n", Key, Value.c_str()); }

std::string Result(int Value) { return Value < 0 ? ErrName(errno) : std::to_string(Value); }

struct TReply {
    int Ioctl = -1;
    int Status = -1;
    std::vector<uint8_t> Data;
    uint8_t Sense[32] = {};
};

TReply SgIo(int Fd, std::vector<uint8_t> Cdb, size_t Len) {
    TReply r;
    r.Data.assign(Len, 0);
    sg_io_hdr_t h{};
    h.interface_id = 'S';
    h.dxfer_direction = Len ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    h.cmd_len = static_cast<unsigned char>(Cdb.size());
    h.cmdp = Cdb.data();
    h.dxfer_len = static_cast<unsigned>(Len);
    h.dxferp = Len ? r.Data.data() : nullptr;
    h.mx_sb_len = sizeof r.Sense;
    h.sbp = r.Sense;
    h.timeout = 10000;
    r.Ioctl = ioctl(Fd, SG_IO, &h);
    r.Status = h.status;
    r.Data.resize(Len - static_cast<size_t>(h.resid));
    return r;
}

int Stat(const char* Path) {
    struct stat st;
    if (stat(Path, &st) != 0) {
        Say("stat", ErrName(errno));
        return 0;
    }
    Say("stat", S_ISBLK(st.st_mode) ? "blk" : "other");
    Say("rdev", std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev)));
    Say("access", access(Path, R_OK | W_OK) == 0 ? "ok" : ErrName(errno));
    return 0;
}

int Exclusive(const char* Path) {
    const int first = open(Path, O_RDWR | O_NONBLOCK | O_EXCL);
    Say("first", Result(first));
    Say("second", Result(open(Path, O_RDWR | O_NONBLOCK | O_EXCL)));
    const int shared = open(Path, O_RDONLY | O_NONBLOCK);
    Say("shared", Result(shared));
    close(shared);
    close(first);
    Say("again", Result(open(Path, O_RDWR | O_NONBLOCK | O_EXCL)));
    return 0;
}

int Scsi(const char* Path) {
    const int fd = open(Path, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        Say("open", ErrName(errno));
        return 1;
    }
    TReply inq = SgIo(fd, {0x12, 0, 0, 0, 96, 0}, 96);
    Say("inquiry", Result(inq.Ioctl) + " status " + std::to_string(inq.Status) + " type " +
                       std::to_string(inq.Data.empty() ? -1 : inq.Data[0] & 0x1F));
    TReply bad = SgIo(fd, {0xFF, 0, 0, 0, 0, 0}, 0);
    char sense[32];
    std::snprintf(sense, sizeof sense, "%X/%02X", bad.Sense[2] & 0x0F, bad.Sense[12]);
    Say("bad", Result(bad.Ioctl) + " status " + std::to_string(bad.Status) + " sense " + sense);
    int version = 0;
    Say("version", ioctl(fd, SG_GET_VERSION_NUM, &version) == 0 ? std::to_string(version) : ErrName(errno));
    int idlun[2] = {-1, -1};
    Say("idlun", ioctl(fd, 0x5382, idlun) == 0 ? std::to_string(idlun[0]) : ErrName(errno));
    struct sg_scsi_id id{};
    Say("scsi_id", ioctl(fd, SG_GET_SCSI_ID, &id) == 0 ? std::to_string(id.host_no) + ":" + std::to_string(id.scsi_id)
                                                        : ErrName(errno));
    Say("drive_status", Result(ioctl(fd, CDROM_DRIVE_STATUS, 0)));
    uint64_t bytes = 0;
    Say("size", ioctl(fd, BLKGETSIZE64, &bytes) == 0 ? std::to_string(bytes) : ErrName(errno));
    Say("unknown_ioctl", Result(ioctl(fd, 0x12345678, nullptr)));
    Say("write", Result(static_cast<int>(write(fd, "x", 1))));
    close(fd);
    return 0;
}

// Holds the drive exclusively for a while, so another process can try.
int Hold(const char* Path, int Seconds) {
    const int fd = open(Path, O_RDWR | O_NONBLOCK | O_EXCL);
    Say("held", Result(fd));
    std::fflush(stdout);
    sleep(static_cast<unsigned>(Seconds));
    close(fd);
    return 0;
}

// Every copy of a descriptor keeps standing for the drive, also after the
// original is closed; a plain descriptor put over a copy stops doing so.
int Duplicates(const char* Path) {
    const int fd = open(Path, O_RDONLY | O_NONBLOCK);
    const int copies[] = {dup(fd), fcntl(fd, F_DUPFD, 40), fcntl(fd, F_DUPFD_CLOEXEC, 50), dup2(fd, 60)};
    close(fd);
    std::string line;
    for (int copy : copies) line += std::to_string(SgIo(copy, {0x12, 0, 0, 0, 36, 0}, 36).Status) + " ";
    Say("copies", line);
    const int plain = open("/dev/null", O_RDONLY);
    dup2(plain, 60);
    struct stat st;
    fstat(60, &st);
    Say("replaced", S_ISBLK(st.st_mode) ? "blk" : "chr");
    return 0;
}

// Copies everything a plain read delivers to standard output.
int Cat(const char* Path) {
    const int fd = open(Path, O_RDONLY);
    if (fd < 0) {
        std::fprintf(stderr, "open %s: %s\n", Path, ErrName(errno).c_str());
        return 1;
    }
    std::vector<char> buf(100000);  // not a multiple of the sector size
    ssize_t n;
    while ((n = read(fd, buf.data(), buf.size())) > 0) fwrite(buf.data(), 1, static_cast<size_t>(n), stdout);
    close(fd);
    return n < 0 ? 1 : 0;
}

// The same through a stream, read as genisoimage reads a previous session:
// with read() on the stream's descriptor.
int StreamCat(const char* Path) {
    FILE* stream = std::fopen(Path, "rb");
    if (!stream) {
        std::fprintf(stderr, "fopen %s: %s\n", Path, ErrName(errno).c_str());
        return 1;
    }
    std::vector<char> buf(65536);
    ssize_t n;
    while ((n = read(fileno(stream), buf.data(), buf.size())) > 0) fwrite(buf.data(), 1, static_cast<size_t>(n), stdout);
    std::fclose(stream);
    return n < 0 ? 1 : 0;
}

// One TEST UNIT READY with a time-out of Ms milliseconds.
int TimedCommand(const char* Path, unsigned Ms) {
    const int fd = open(Path, O_RDONLY | O_NONBLOCK);
    std::vector<uint8_t> cdb = {0x00, 0, 0, 0, 0, 0};
    uint8_t sense[32];
    sg_io_hdr_t h{};
    h.interface_id = 'S';
    h.dxfer_direction = SG_DXFER_NONE;
    h.cmd_len = 6;
    h.cmdp = cdb.data();
    h.mx_sb_len = sizeof sense;
    h.sbp = sense;
    h.timeout = Ms;
    const int r = ioctl(fd, SG_IO, &h);
    Say("timed", Result(r) + " status " + std::to_string(h.status) + " host " + std::to_string(h.host_status) +
                     " info " + std::to_string(h.info & SG_INFO_OK_MASK));
    close(fd);
    return 0;
}

// Several threads open, use, duplicate and close descriptors of two drives
// and of plain files at once; every answer must be the right one.
int Threads(const char* PathA, const char* PathB) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            const char* path = t % 2 ? PathA : PathB;
            for (int i = 0; i < 150; ++i) {
                const int fd = open(path, O_RDONLY | O_NONBLOCK);
                const int plain = open("/dev/null", O_RDONLY);
                const int copy = dup(fd);
                struct stat st;
                if (fd < 0 || copy < 0 || SgIo(copy, {0x12, 0, 0, 0, 36, 0}, 36).Status != 0) ++failures;
                if (fstat(plain, &st) != 0 || S_ISBLK(st.st_mode)) ++failures;
                if (fstat(fd, &st) != 0 || minor(st.st_rdev) != static_cast<unsigned>(path == PathA ? 0 : 1)) ++failures;
                close(fd);
                close(plain);
                if (SgIo(copy, {0x00, 0, 0, 0, 0, 0}, 0).Ioctl != 0) ++failures;
                close(copy);
            }
        });
    }
    for (auto& th : threads) th.join();
    Say("failures", std::to_string(failures.load()));
    return 0;
}

// Reads at an offset that is not on a sector boundary.
int Pread(const char* Path, long Offset, long Length) {
    const int fd = open(Path, O_RDONLY | O_NONBLOCK);
    std::vector<char> buf(static_cast<size_t>(Length));
    const ssize_t n = pread(fd, buf.data(), buf.size(), Offset);
    if (n > 0) fwrite(buf.data(), 1, static_cast<size_t>(n), stdout);
    close(fd);
    return n < 0 ? 1 : 0;
}

// Writes Text at Offset through the node, then tries the same through a
// descriptor opened for reading only.
int Pwrite(const char* Path, long Offset, const std::string& Text) {
    const int fd = open(Path, O_RDWR | O_NONBLOCK);
    Say("pwrite", Result(static_cast<int>(pwrite(fd, Text.data(), Text.size(), Offset))));
    close(fd);
    const int readOnly = open(Path, O_RDONLY | O_NONBLOCK);
    Say("readonly", Result(static_cast<int>(pwrite(readOnly, Text.data(), Text.size(), Offset))));
    close(readOnly);
    return 0;
}

// Hands a descriptor of the drive to a new program image, as growisofs
// hands one to the image builder: the child reads it by number and through
// /dev/fd.
int Inherit(const char* Self, const char* Path) {
    const int fd = open(Path, O_RDONLY | O_NONBLOCK);
    const std::string alias = "/dev/fd/" + std::to_string(fd);
    execl(Self, Self, "child", std::to_string(fd).c_str(), alias.c_str(), static_cast<char*>(nullptr));
    return 1;
}

int Child(int Fd, const char* Alias) {
    struct stat st;
    fstat(Fd, &st);
    Say("inherited", S_ISBLK(st.st_mode) ? "blk" : "other");
    char sector[2048];
    Say("read", Result(static_cast<int>(pread(Fd, sector, sizeof sector, 0))));
    const int again = open(Alias, O_RDONLY);
    Say("alias", Result(static_cast<int>(again < 0 ? -1 : pread(again, sector, sizeof sector, 0))));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (argc == 3 && cmd == "stat") return Stat(argv[2]);
    if (argc == 3 && cmd == "excl") return Exclusive(argv[2]);
    if (argc == 3 && cmd == "scsi") return Scsi(argv[2]);
    if (argc == 4 && cmd == "hold") return Hold(argv[2], std::atoi(argv[3]));
    if (argc == 3 && cmd == "dup") return Duplicates(argv[2]);
    if (argc == 3 && cmd == "cat") return Cat(argv[2]);
    if (argc == 4 && cmd == "threads") return Threads(argv[2], argv[3]);
    if (argc == 3 && cmd == "fcat") return StreamCat(argv[2]);
    if (argc == 4 && cmd == "timed") return TimedCommand(argv[2], static_cast<unsigned>(std::atoi(argv[3])));
    if (argc == 5 && cmd == "pread") return Pread(argv[2], std::atol(argv[3]), std::atol(argv[4]));
    if (argc == 5 && cmd == "pwrite") return Pwrite(argv[2], std::atol(argv[3]), argv[4]);
    if (argc == 3 && cmd == "inherit") return Inherit(argv[0], argv[2]);
    if (argc == 4 && cmd == "child") return Child(std::atoi(argv[2]), argv[3]);
    std::fprintf(stderr, "usage: vdrive_sg_probe stat|excl|scsi|dup|cat|fcat|inherit PATH | hold PATH SECONDS | timed PATH MS | threads PATH PATH | pread|pwrite PATH OFFSET LENGTH|TEXT\n");
    return 2;
}
