#include "FakeFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "Immortal.h"
#include "RealCalls.h"
#include "VirtualDrives.h"

namespace vdrive::sg {
namespace {

constexpr int MaxFd = 1 << 16;
// Constant-initialised, so it is valid before any constructor has run.
std::atomic<bool> fakeMarks[MaxFd];

constexpr std::string_view MarkerPrefix = "kestrel-vdrive-sr";

}  // namespace

FakeFile::FakeFile(int Drive, int Flags, uint64_t Owner)
    : Drive(Drive), Flags(Flags), Owner(Owner), OwnerPid(getpid()) {}

FakeFile::~FakeFile() {
    if (Owner != 0 && OwnerPid == getpid()) VirtualDrives::Instance().Release(Drive, Owner);
}

FakeFiles& FakeFiles::Instance() {
    static Immortal<FakeFiles> files;
    return files.Get();
}

bool FakeFiles::IsFake(int Fd) {
    return Fd >= 0 && Fd < MaxFd && fakeMarks[Fd].load(std::memory_order_acquire);
}

std::string FakeFiles::MarkerName(int Drive) {
    return std::string(MarkerPrefix) + std::to_string(Drive);
}

int FakeFiles::Create(int Drive, int Flags, uint64_t Owner) {
    const int fd = memfd_create(MarkerName(Drive).c_str(), (Flags & O_CLOEXEC) ? MFD_CLOEXEC : 0);
    if (fd < 0) return -1;
    if (fd >= MaxFd) {
        real::Close(fd);
        errno = EMFILE;
        return -1;
    }
    Put(fd, std::make_shared<FakeFile>(Drive, Flags, Owner));
    return fd;
}

void FakeFiles::Put(int Fd, std::shared_ptr<FakeFile> File) {
    std::shared_ptr<FakeFile> previous;
    {
        std::lock_guard lock(mutex_);
        auto& slot = files_[Fd];
        previous = std::move(slot);
        slot = std::move(File);
        fakeMarks[Fd].store(true, std::memory_order_release);
    }
}

std::shared_ptr<FakeFile> FakeFiles::Find(int Fd) {
    if (!IsFake(Fd)) return nullptr;
    std::lock_guard lock(mutex_);
    auto it = files_.find(Fd);
    return it == files_.end() ? nullptr : it->second;
}

void FakeFiles::Share(int Fd, int NewFd) {
    auto file = Find(Fd);
    if (file && NewFd >= 0 && NewFd < MaxFd) Put(NewFd, std::move(file));
}

std::shared_ptr<FakeFile> FakeFiles::Forget(int Fd) {
    if (!IsFake(Fd)) return nullptr;
    std::lock_guard lock(mutex_);
    fakeMarks[Fd].store(false, std::memory_order_release);
    auto it = files_.find(Fd);
    if (it == files_.end()) return nullptr;
    auto file = std::move(it->second);
    files_.erase(it);
    return file;
}

void FakeFiles::ReleaseClaims() {
    std::vector<std::shared_ptr<FakeFile>> held;
    {
        std::lock_guard lock(mutex_);
        for (auto& [fd, file] : files_) held.push_back(file);
    }
    for (auto& file : held) {
        if (file->Owner != 0 && file->OwnerPid == getpid()) VirtualDrives::Instance().Release(file->Drive, file->Owner);
    }
}

void FakeFiles::AdoptInherited() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return;
    const std::string marker = "/memfd:" + std::string(MarkerPrefix);
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || fd < 0 || fd >= MaxFd || fd == dirfd(dir)) continue;
        char target[256];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = real::Readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        const std::string_view text(target, static_cast<size_t>(n));
        if (text.substr(0, marker.size()) != marker) continue;
        const int drive = std::atoi(std::string(text.substr(marker.size())).c_str());
        Put(static_cast<int>(fd), std::make_shared<FakeFile>(drive, O_RDWR, 0));
    }
    closedir(dir);
}

}  // namespace vdrive::sg
