#include "model/Drive.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "model/Bytes.h"
#include "model/Sense.h"

namespace vdrive {
namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    if (!in) return {};
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Writes a file next to its destination and renames it into place, so a
// reader sees either the old or the new content.
void WriteTextAtomically(const std::string& Path, const std::string& Text) {
    std::string temp = Path + ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << Text;
        out.flush();
        if (!out) throw std::runtime_error("cannot write " + temp);
    }
    if (std::rename(temp.c_str(), Path.c_str()) != 0) {
        int e = errno;
        std::remove(temp.c_str());
        throw std::runtime_error("cannot replace " + Path + ": " + std::strerror(e));
    }
}

struct timespec ModifiedTime(const std::string& Path) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0) return {};
    return st.st_mtim;
}

// The process id stamped on every trace entry, asked of the kernel once per
// process instead of once per command; a forked child asks again.
std::atomic<pid_t> cachedPid{0};

pid_t ProcessId() {
    pid_t pid = cachedPid.load(std::memory_order_relaxed);
    if (pid != 0) return pid;
    static const bool registered = [] {
        ::pthread_atfork(nullptr, nullptr, [] { cachedPid.store(0, std::memory_order_relaxed); });
        return true;
    }();
    (void)registered;
    pid = ::getpid();
    cachedPid.store(pid, std::memory_order_relaxed);
    return pid;
}

bool SameTime(const struct timespec& A, const struct timespec& B) {
    return A.tv_sec == B.tv_sec && A.tv_nsec == B.tv_nsec;
}

void FillSense(CommandReply& Reply, const CheckCondition& C) {
    Reply.status = 0x02;
    std::memset(Reply.sense, 0, sizeof Reply.sense);
    Reply.sense[0] = 0x70;
    Reply.sense[2] = C.code.key;
    Reply.sense[7] = 10;
    Reply.sense[12] = C.code.asc;
    Reply.sense[13] = C.code.ascq;
    if (C.progressValid) {
        Reply.sense[15] = 0x80;
        Put16(Reply.sense + 16, C.progress);
    }
}

}  // namespace

// Holds the drive's lock file across processes for the length of a command.
// Another process holds it only for one command, so the wait is short; a
// holder that hangs makes the command fail after the budget instead of
// blocking for ever.
class Drive::FileLock {
public:
    static constexpr int kBudgetMs = 20000;
    explicit FileLock(Drive& D) : fd_(D.lockFd_) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBudgetMs);
        int pauseUs = 50;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) throw std::runtime_error("cannot lock " + D.PathOf("lock"));
            if (std::chrono::steady_clock::now() >= deadline) throw LockTimeout();
            std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
            pauseUs = std::min(pauseUs * 2, 10000);
        }
    }
    ~FileLock() { ::flock(fd_, LOCK_UN); }
    struct LockTimeout : std::runtime_error {
        LockTimeout() : std::runtime_error("the drive stayed locked by another process") {}
    };
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_;
};

Drive::Drive(std::string Folder, int Index, const std::optional<DriveModel>& Model,
             const std::optional<Medium>& Initial)
    : folder_(std::move(Folder)), index_(Index) {
    fs::create_directories(folder_);
    lockFd_ = ::open(PathOf("lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0) throw std::runtime_error("cannot open " + PathOf("lock") + ": " + std::strerror(errno));
    try {
        FileLock lock(*this);
        if (!fs::exists(PathOf("model.conf")))
            WriteTextAtomically(PathOf("model.conf"), (Model ? *Model : *DriveModel::Preset("dvd-writer")).ToText());
        image_ = std::make_unique<DiscImage>(PathOf("disc.img"));
        live_ = std::make_unique<LiveBlock>(PathOf("live"));
        trace_ = std::make_unique<TraceRing>(PathOf("trace"));
        if (!fs::exists(PathOf("state.conf"))) {
            state_.medium = Initial;
            state_.generation = (*live_)->stateGeneration;
            SaveState();
        }
        try {
            Refresh();
        } catch (const std::exception&) {
            // Damaged model, knobs or state: the drive answers with a
            // hardware error until the tool mends it.
        }
    } catch (...) {
        ::close(lockFd_);
        throw;
    }
    reportedMediaEvents_ = state_.mediaEvents;
    writePage_ = {0x05, 0x32, 0x01, 0x04, 0x08};
    Put16(writePage_.data() + 14, 150);
}

Drive::~Drive() {
    try {
        std::lock_guard<std::mutex> guard(mutex_);
        FileLock lock(*this);
        Refresh();  // another process may have replaced the state meanwhile
        if (hotDirty_) SaveState();
    } catch (...) {
        // The live record still holds the hot values for the next process.
    }
    ::close(lockFd_);
}

void Drive::LoadModel() {
    auto t = ModifiedTime(PathOf("model.conf"));
    if (SameTime(t, modelTime_)) return;
    model_ = DriveModel::FromText(ReadText(PathOf("model.conf")));
    modelTime_ = t;
}

void Drive::LoadKnobs() {
    auto t = ModifiedTime(PathOf("knobs.conf"));
    if (SameTime(t, knobsTime_)) return;
    knobs_ = Knobs::FromText(ReadText(PathOf("knobs.conf")));
    knobsTime_ = t;
}

void Drive::SaveKnobs() {
    WriteTextAtomically(PathOf("knobs.conf"), knobs_.ToText());
    knobsTime_ = ModifiedTime(PathOf("knobs.conf"));
    seenConfigGeneration_ = ++(*live_)->configGeneration;
}

void Drive::LoadState() {
    state_ = DriveState::FromText(ReadText(PathOf("state.conf")));
    seenWriteGeneration_ = ~0ull;  // apply the hot values below
    hotDirty_ = false;
    SyncHot();
}

// Takes over the hot values another process left in the live record.
void Drive::SyncHot() {
    LiveRecord& live = **live_;
    if (live.writeGeneration == seenWriteGeneration_) return;
    seenWriteGeneration_ = live.writeGeneration;
    if (live.stateGeneration != state_.generation || live.hotTrack < 0 || !state_.medium) return;
    auto& tracks = state_.medium->tracks;
    if (static_cast<size_t>(live.hotTrack) < tracks.size()) {
        Track& t = tracks[static_cast<size_t>(live.hotTrack)];
        if (live.hotRecorded > t.recorded) t.recorded = live.hotRecorded;
    }
}

void Drive::PublishHot(size_t TrackIndex) {
    LiveRecord& live = **live_;
    live.hotTrack = static_cast<int32_t>(TrackIndex);
    live.hotRecorded = state_.medium->tracks[TrackIndex].recorded;
    seenWriteGeneration_ = ++live.writeGeneration;
    hotDirty_ = true;
}

void Drive::SaveState() {
    LiveRecord& live = **live_;
    state_.generation = std::max(state_.generation, live.stateGeneration) + 1;
    WriteTextAtomically(PathOf("state.conf"), state_.ToText());
    live.stateGeneration = state_.generation;
    live.hotTrack = -1;
    seenWriteGeneration_ = live.writeGeneration;
    hotDirty_ = false;
}

// Model and knobs are looked at again when a process announced a change in
// the live record, and at least every 200 ms for edits made by hand. An
// announced change is read whatever the files' times say: two saves within
// one tick of the file system's clock carry the same time.
void Drive::Refresh() {
    const int64_t now = WallClockMs();
    const bool announced = (*live_)->configGeneration != seenConfigGeneration_;
    if (announced || now - configCheckedMs_ >= 200 || now < configCheckedMs_) {
        if (announced) modelTime_ = knobsTime_ = {};
        seenConfigGeneration_ = (*live_)->configGeneration;
        configCheckedMs_ = now;
        LoadModel();
        LoadKnobs();
    }
    if ((*live_)->stateGeneration != state_.generation || state_.generation == 0) LoadState();
    else SyncHot();
    FinishLongOp();
}

void Drive::FinishLongOp() {
    if (state_.op == LongOp::None || WallClockMs() < state_.opEndMs) return;
    state_.op = LongOp::None;
    state_.opStartMs = state_.opEndMs = 0;
    SaveState();
}

CommandReply Drive::Execute(const uint8_t* Cdb, size_t CdbLen, uint8_t* Data, size_t DataLen, Direction Dir) {
    CommandReply reply;
    if (!Cdb || CdbLen == 0 || CdbLen > 16) {
        FillSense(reply, CheckCondition(sense::kIllegalRequest, 0x20, 0));
        return reply;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    std::optional<FileLock> lock;
    try {
        lock.emplace(*this);
    } catch (const FileLock::LockTimeout&) {
        reply.status = 0x08;  // busy with another initiator
        return reply;
    } catch (const std::exception&) {
        FillSense(reply, CheckCondition(0x4, 0x44, 0x00));
        return reply;
    }
    CommandBuffer cmd{Cdb, CdbLen, Data, Data ? DataLen : 0, Dir};
    waitAfterMs_ = 0;
    try {
        Refresh();
        bool handled = false;
        ApplyBusyKnobs(Cdb[0], reply, handled);
        if (!handled) reply.transferred = static_cast<uint32_t>(Dispatch(cmd));
    } catch (const CheckCondition& c) {
        FillSense(reply, c);
        reply.transferred = 0;
    } catch (const std::exception&) {
        // The state folder failed under us (disk full, removed, damaged):
        // a hardware error of this drive.
        FillSense(reply, CheckCondition(0x4, 0x44, 0x00));
        reply.transferred = 0;
    }
    reply.delayMs = knobs_.EffectiveDelayMs(Cdb[0]);

    TraceEntry e{};
    e.timeMs = WallClockMs();
    e.pid = static_cast<uint32_t>(ProcessId());
    e.transferred = reply.transferred;
    e.cdbLen = static_cast<uint8_t>(CdbLen);
    std::memcpy(e.cdb, Cdb, CdbLen);
    e.status = reply.status;
    e.key = reply.sense[2] & 0x0F;
    e.asc = reply.sense[12];
    e.ascq = reply.sense[13];
    trace_->Add(e);

    // A long operation without the immediate bit: other processes see it
    // running while this command waits for its end without the file lock.
    if (waitAfterMs_ > 0) {
        lock.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(waitAfterMs_));
    }
    return reply;
}

void Drive::ApplyBusyKnobs(uint8_t Opcode, CommandReply& Reply, bool& Handled) {
    if (!knobs_.busyCount && !knobs_.longWriteCount) return;
    if (knobs_.busyOpcode >= 0 ? knobs_.busyOpcode != Opcode : (Opcode == 0x12 || Opcode == 0x03)) return;
    if (knobs_.busyCount > 0) {
        --knobs_.busyCount;
        SaveKnobs();
        Reply.status = 0x08;
        Handled = true;
        return;
    }
    if (knobs_.longWriteCount > 0) {
        --knobs_.longWriteCount;
        SaveKnobs();
        throw CheckCondition(sense::kNotReady, 0x04, 0x08);
    }
}

// ---- control operations -------------------------------------------------

// Replacing the medium needs no readable old state: this is also how a
// damaged state file is mended.
void Drive::RefreshForReplace() {
    try {
        Refresh();
    } catch (const std::exception&) {
        state_ = DriveState{};
        state_.generation = (*live_)->stateGeneration;
    }
}

void Drive::Insert(const Medium& NewMedium, const std::string& ImagePath) {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    RefreshForReplace();
    image_->EraseAll();
    if (!ImagePath.empty()) {
        int fd = ::open(ImagePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw std::runtime_error("cannot open " + ImagePath + ": " + std::strerror(errno));
        struct stat st {};
        ::fstat(fd, &st);
        try {
            CopySparse(fd, static_cast<uint64_t>(st.st_size), image_->Path());
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        image_ = std::make_unique<DiscImage>(PathOf("disc.img"));
    }
    state_.medium = NewMedium;
    state_.trayOpen = false;
    state_.op = LongOp::None;
    ++state_.mediaEvents;
    SaveState();
}

void Drive::Eject() {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    RefreshForReplace();
    image_->EraseAll();
    state_.medium.reset();
    state_.trayOpen = false;
    state_.op = LongOp::None;
    ++state_.mediaEvents;
    SaveState();
}

DriveState Drive::State() {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    Refresh();
    return state_;
}

DriveModel Drive::Model() {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    LoadModel();
    return model_;
}

void Drive::SetModel(const DriveModel& NewModel) {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    WriteTextAtomically(PathOf("model.conf"), NewModel.ToText());
    modelTime_ = {};
    LoadModel();
    seenConfigGeneration_ = ++(*live_)->configGeneration;
}

Knobs Drive::CurrentKnobs() {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    LoadKnobs();
    return knobs_;
}

void Drive::SetKnobs(const Knobs& NewKnobs) {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    knobs_ = NewKnobs;
    SaveKnobs();
}

std::vector<TraceEntry> Drive::Trace() {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    return trace_->Entries();
}

void Drive::ClearTrace() {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    trace_->Clear();
}

uint32_t Drive::Dump(const std::string& Target) {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    Refresh();
    if (!state_.medium) throw std::runtime_error("no medium in drive " + std::to_string(index_));
    uint32_t blocks = state_.medium->RecordedEnd();
    int fd = ::open(image_->Path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + image_->Path() + ": " + std::strerror(errno));
    try {
        CopySparse(fd, uint64_t(blocks) * kBlockSize, Target);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return blocks;
}

// The claim file names the holder and its process; a holder whose process
// is gone no longer counts.
bool Drive::Claim(uint64_t Owner) {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    std::istringstream in(ReadText(PathOf("claim")));
    uint64_t owner = 0;
    long pid = 0;
    if (in >> owner >> pid) {
        bool alive = pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
        if (alive && !(owner == Owner && pid == ::getpid())) return false;
    }
    WriteTextAtomically(PathOf("claim"), std::to_string(Owner) + " " + std::to_string(::getpid()) + "\n");
    return true;
}

void Drive::Release(uint64_t Owner) {
    std::lock_guard<std::mutex> guard(mutex_);
    FileLock lock(*this);
    std::istringstream in(ReadText(PathOf("claim")));
    uint64_t owner = 0;
    long pid = 0;
    if (in >> owner >> pid && owner == Owner && pid == ::getpid()) std::remove(PathOf("claim").c_str());
}

}  // namespace vdrive
