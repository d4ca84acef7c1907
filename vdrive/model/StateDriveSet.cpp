#include "model/StateDriveSet.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace vdrive {
namespace fs = std::filesystem;

namespace {

// Serialises first-use creation and resets of the whole folder.
class FolderLock {
public:
    explicit FolderLock(const std::string& Dir) {
        fd_ = ::open((Dir + "/set.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) throw std::runtime_error("cannot use the virtual drive folder " + Dir);
        while (::flock(fd_, LOCK_EX) != 0)
            if (errno != EINTR) throw std::runtime_error("cannot lock the virtual drive folder " + Dir);
    }
    ~FolderLock() { ::close(fd_); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

std::string DriveSet::DefaultStateDir() {
    if (const char* dir = std::getenv("KESTREL_VDRIVE_DIR"); dir && *dir) return dir;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return std::string(data) + "/kestrel/vdrive";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.local/share/kestrel/vdrive";
}

std::unique_ptr<DriveSet> DriveSet::Open(const std::string& StateDir) {
    return std::make_unique<StateDriveSet>(StateDir);
}

StateDriveSet::StateDriveSet(std::string StateDir) : dir_(std::move(StateDir)) {
    if (dir_.empty()) throw std::runtime_error("no folder given for the virtual drives");
    std::error_code ec;
    fs::create_directories(dir_, ec);
    if (!fs::is_directory(dir_)) throw std::runtime_error("cannot create the virtual drive folder " + dir_);
    FolderLock lock(dir_);
    if (!fs::exists(DriveFolder(0))) CreateDefaults();
    OpenDrives();
}

std::string StateDriveSet::DriveFolder(int Index) const { return dir_ + "/drive" + std::to_string(Index); }

void StateDriveSet::CreateDefaults() {
    vdrive::Drive(DriveFolder(0), 0, DriveModel::Preset("dvd-writer"), Medium::Blank(MediaKind::DvdPlusRw));
    vdrive::Drive(DriveFolder(1), 1, DriveModel::Preset("cd-writer"), Medium::Blank(MediaKind::CdR));
}

void StateDriveSet::OpenDrives() {
    drives_.clear();
    for (int i = 0; fs::is_directory(DriveFolder(i)); ++i)
        drives_.push_back(std::make_unique<vdrive::Drive>(DriveFolder(i), i));
}

std::string StateDriveSet::DriveName(int Drive) const { return "vdrive" + std::to_string(Drive); }

vdrive::Drive& StateDriveSet::At(int Drive) {
    if (Drive < 0 || Drive >= Count())
        throw std::out_of_range("there is no virtual drive " + std::to_string(Drive) + " (there are " +
                                std::to_string(Count()) + ")");
    return *drives_[static_cast<size_t>(Drive)];
}

CommandReply StateDriveSet::Execute(int Drive, const uint8_t* Cdb, size_t CdbLen, uint8_t* Data, size_t DataLen,
                                    Direction Dir) {
    if (Drive < 0 || Drive >= Count()) {
        CommandReply r;
        r.status = 0x02;
        r.sense[0] = 0x70;
        r.sense[2] = 0x05;
        r.sense[7] = 10;
        r.sense[12] = 0x25;  // logical unit not supported
        return r;
    }
    return drives_[static_cast<size_t>(Drive)]->Execute(Cdb, CdbLen, Data, DataLen, Dir);
}

bool StateDriveSet::Claim(int Drive, uint64_t Owner) { return At(Drive).Claim(Owner); }

void StateDriveSet::Release(int Drive, uint64_t Owner) {
    if (Drive >= 0 && Drive < Count()) At(Drive).Release(Owner);
}

bool StateDriveSet::HasScsiAddress(int Drive) {
    return Drive >= 0 && Drive < Count() && At(Drive).Model().scsiAddress;
}

int StateDriveSet::AddDrive(const DriveModel& Model) {
    FolderLock lock(dir_);
    int index = 0;
    while (fs::exists(DriveFolder(index))) ++index;
    vdrive::Drive(DriveFolder(index), index, Model, std::nullopt);
    OpenDrives();
    return index;
}

void StateDriveSet::Reset() {
    FolderLock lock(dir_);
    drives_.clear();
    for (int i = 0; fs::exists(DriveFolder(i)); ++i) fs::remove_all(DriveFolder(i));
    CreateDefaults();
    OpenDrives();
}

}  // namespace vdrive
