#include "model/SharedRecord.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace vdrive {
namespace {
constexpr uint32_t kLiveMagic = 0x4B564C52;   // "KVLR"
constexpr uint32_t kTraceMagic = 0x4B565452;  // "KVTR"
}  // namespace

MappedFile::MappedFile(const std::string& Path, size_t Size) : size_(Size) {
    int fd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot open " + Path + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (static_cast<size_t>(st.st_size) < Size && ::ftruncate(fd, static_cast<off_t>(Size)) != 0)) {
        int e = errno;
        ::close(fd);
        throw std::runtime_error("cannot size " + Path + ": " + std::strerror(e));
    }
    void* p = ::mmap(nullptr, Size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    int e = errno;
    ::close(fd);
    if (p == MAP_FAILED) throw std::runtime_error("cannot map " + Path + ": " + std::strerror(e));
    data_ = static_cast<uint8_t*>(p);
}

MappedFile::~MappedFile() {
    if (data_) ::munmap(data_, size_);
}

LiveBlock::LiveBlock(const std::string& Path) : file_(Path, 4096) {
    LiveRecord& r = **this;
    if (r.magic != kLiveMagic) {
        std::memset(&r, 0, sizeof r);
        r.magic = kLiveMagic;
        r.version = 1;
        r.hotTrack = -1;
    }
}

TraceRing::TraceRing(const std::string& Path) : file_(Path, 64 + sizeof(TraceEntry) * kEntries) {
    if (Head().magic != kTraceMagic || Head().entrySize != sizeof(TraceEntry)) Clear();
}

void TraceRing::Clear() {
    std::memset(file_.Data(), 0, 64);
    Head().magic = kTraceMagic;
    Head().entrySize = sizeof(TraceEntry);
}

void TraceRing::Add(const TraceEntry& Entry) {
    Slots()[Head().next % kEntries] = Entry;
    ++Head().next;
}

std::vector<TraceEntry> TraceRing::Entries() const {
    uint64_t next = Head().next;
    uint64_t first = next > kEntries ? next - kEntries : 0;
    std::vector<TraceEntry> out;
    for (uint64_t i = first; i < next; ++i) out.push_back(Slots()[i % kEntries]);
    return out;
}

std::string FormatTraceEntry(const TraceEntry& Entry) {
    char when[32];
    time_t secs = static_cast<time_t>(Entry.timeMs / 1000);
    struct tm tmv {};
    localtime_r(&secs, &tmv);
    std::strftime(when, sizeof when, "%H:%M:%S", &tmv);
    std::string line = when;
    char buf[64];
    std::snprintf(buf, sizeof buf, ".%03d %6u ", int(Entry.timeMs % 1000), Entry.pid);
    line += buf;
    for (int i = 0; i < Entry.cdbLen && i < 16; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", Entry.cdb[i]);
        if (i) line += ' ';
        line += buf;
    }
    std::snprintf(buf, sizeof buf, " -> %02X", Entry.status);
    line += buf;
    if (Entry.status == 0x02) {
        std::snprintf(buf, sizeof buf, " sense %X/%02X/%02X", Entry.key, Entry.asc, Entry.ascq);
        line += buf;
    }
    std::snprintf(buf, sizeof buf, " (%u bytes)", Entry.transferred);
    line += buf;
    return line;
}

}  // namespace vdrive
