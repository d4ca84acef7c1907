#pragma once
// The virtual recorder's front to its drives: the set of emulated MMC
// drives that live in one state folder. Both doors (the ASPI-style library
// and the SG_IO interposer) and the control tool reach the drives only
// through this class.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vdrive {

enum class Direction { None, In, Out };

// The outcome of one CDB, as a SCSI target reports it.
struct CommandReply {
    uint8_t status = 0;        // 00h GOOD, 02h CHECK CONDITION, 08h BUSY
    uint8_t sense[18] = {};    // fixed-format sense data (70h), valid with 02h
    uint32_t transferred = 0;  // bytes moved to or from the data buffer
    uint32_t delayMs = 0;      // knob: how late the door should report completion
};

class DriveSet {
public:
    virtual ~DriveSet() = default;

    // KESTREL_VDRIVE_DIR, else $XDG_DATA_HOME/kestrel/vdrive, else
    // ~/.local/share/kestrel/vdrive.
    static std::string DefaultStateDir();
    // Opens (and on first use creates) the state folder. The first use
    // creates drive 0, a DVD writer with every capability holding a blank
    // DVD+RW, and drive 1, a CD writer holding a blank CD-R. Throws
    // std::runtime_error with a clear text when the folder cannot be used.
    static std::unique_ptr<DriveSet> Open(const std::string& StateDir);

    virtual int Count() const = 0;
    // "vdrive0", "vdrive1", ...
    virtual std::string DriveName(int Drive) const = 0;

    // Executes one CDB on a drive. Thread-safe: commands to one drive are
    // serialised, and the drive's persistent state is locked against other
    // processes while the command runs. DataLen is the size of Data, the
    // allocation the caller offers (data in) or the bytes it sends (data out).
    virtual CommandReply Execute(int Drive, const uint8_t* Cdb, size_t CdbLen,
                                 uint8_t* Data, size_t DataLen, Direction Dir) = 0;

    // Exclusive holders (O_EXCL opens through the interposer): true when the
    // drive was free or already held by Owner. Held across processes.
    virtual bool Claim(int Drive, uint64_t Owner) = 0;
    virtual void Release(int Drive, uint64_t Owner) = 0;

    // Whether the drive reports a SCSI address (host, channel, target, LUN).
    // Some drive models have none, as drives behind simple bridges do.
    virtual bool HasScsiAddress(int /*Drive*/) { return true; }
};

}  // namespace vdrive
