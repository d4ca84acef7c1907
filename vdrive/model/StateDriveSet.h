#pragma once
// The drives of one state folder: drive0, drive1, ... as sub-folders. On
// first use the folder receives the two standard drives. The control tool
// and tests use this class directly for what the doors need not see.
#include <memory>
#include <string>
#include <vector>

#include "model/Drive.h"
#include "model/DriveSet.h"

namespace vdrive {

class StateDriveSet : public DriveSet {
public:
    explicit StateDriveSet(std::string StateDir);

    int Count() const override { return static_cast<int>(drives_.size()); }
    std::string DriveName(int Drive) const override;
    CommandReply Execute(int Drive, const uint8_t* Cdb, size_t CdbLen, uint8_t* Data, size_t DataLen,
                         Direction Dir) override;
    bool Claim(int Drive, uint64_t Owner) override;
    void Release(int Drive, uint64_t Owner) override;
    bool HasScsiAddress(int Drive) override;

    vdrive::Drive& At(int Drive);  // throws std::out_of_range
    // Adds a drive with the given model and an empty tray; returns its index.
    int AddDrive(const DriveModel& Model);
    // Removes every drive and creates the two standard ones again.
    void Reset();
    const std::string& Dir() const { return dir_; }

private:
    void OpenDrives();
    void CreateDefaults();
    std::string DriveFolder(int Index) const;
    std::string dir_;
    std::vector<std::unique_ptr<vdrive::Drive>> drives_;
};

}  // namespace vdrive
