// Starting a burn: the checks that come before any byte reaches the drive,
// formatting where it is wanted, the layout for the disc, and the drive's
// preparation on the write thread.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <exception>

#include "burner/common/Clock.h"
#include "burner/device/AccessLayer.h"
#include "burner/device/MountTable.h"
#include "burner/engine/DriveClaim.h"
#include "burner/engine/EngineMessages.h"
#include "burner/engine/KestrelBurner.h"

namespace kestrel {
namespace {

constexpr int64_t kSector = 2048;
constexpr int32_t kCDBlockSize = 27 * 2048;
constexpr int32_t kDVDBlockSize = 32 * 2048;

bool IsDVDRW(unsigned Type) { return Type == mtDVDRWRestricted || Type == mtDVDRWSequential; }

// Media on which a write can be simulated (the test write bit).
bool CanSimulate(unsigned Type) {
    return Type == mtCDR || Type == mtCDRW || Type == mtDVDR || Type == mtDVDRWSequential || Type == mtDDCDR ||
           Type == mtDDCDRW;
}

// FORMAT UNIT parameter lists: a 4-byte header and one format descriptor.
using TFormatList = std::array<uint8_t, 12>;
constexpr TFormatList kFormatSequential = {0x00, 0xA2, 0x00, 0x08, 0x00, 0x00, 0x03, 0xE8, 0x15 << 2, 0, 0, 16};
constexpr TFormatList kFormatRestricted = {0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x13 << 2, 0, 0, 16};
constexpr TFormatList kFormatSecondTry = {0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x15 << 2, 0, 0, 16};
constexpr TFormatList kFormatPlusRW = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 0};

// The SET STREAMING performance descriptor sent for DVD-R.
constexpr std::array<uint8_t, 28> kDVDRStreaming = {
    0,    0,    0,    0,    0, 0, 0, 0,    0,    0x23, 0x12, 0x7F, 0, 0,
    0xAB, 0xBD, 0,    0,    0x03, 0xE8, 0, 0, 0x05, 0x8A, 0,    0,    0x03, 0xE8};

}  // namespace

bool TKestrelBurner::IsOverwritableMedium() const { return IsOverwritableType(mediumType_); }

bool TKestrelBurner::BurnCD() {
    if (writing_) return false;
    TJob job;
    job.Target = TWriteTarget::Disc;
    job.Verify = VerifyAfterWrite;
    job.Prepare = [this] { return PrepareCompilationBurn(); };
    return BeginJob(std::move(job));
}

bool TKestrelBurner::BurnISOImage(const std::string& FileName) {
    if (writing_) return false;
    // The image's size becomes the image size at once, for the progress display.
    int64_t size = 0;
    std::string error = ExamineImageFile(FileName, size);
    if (error.empty()) {
        ImageStartLBA = 0;
        ImageEndLBA = (size + kSector - 1) / kSector;
    }
    TJob job;
    job.Target = TWriteTarget::Disc;
    job.SourceIsImageFile = true;
    job.ImagePath = FileName;
    job.Verify = VerifyAfterWrite;
    job.Prepare = [this, error, FileName, size] { return error.empty() ? PrepareImageBurn(FileName, size) : error; };
    return BeginJob(std::move(job));
}

std::string TKestrelBurner::ExamineImageFile(const std::string& FileName, int64_t& Size) const {
    // The type is looked at before the open: opening a FIFO for reading
    // would wait for a writer.
    struct stat st{};
    if (::stat(FileName.c_str(), &st) != 0) return FormatMessage(msgCantOpenFile, FileName);
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return FormatNotAFile(FileName, st.st_mode);
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FormatMessage(msgCantOpenFile, FileName);
    std::string error;
    const off_t end = ::fstat(fd, &st) == 0 ? ::lseek(fd, 0, SEEK_END) : -1;
    if (end < 0) error = FormatWithReason(msgCantReadFile, FileName, errno);
    else if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) error = FormatNotAFile(FileName, st.st_mode);
    else if (end == 0) error = FormatMessage(msgEmptyImageFile, FileName);
    ::close(fd);
    Size = error.empty() ? end : 0;
    return error;
}

std::string TKestrelBurner::PrepareCompilationBurn() {
    if (IsEmpty() && SessionToImport == 0) return msgNothingToWrite;
    std::string error = CheckDriveFree();
    if (error.empty()) error = CheckDiscNotClosed();
    // Boot files are refused before a disc is formatted for them.
    try {
        if (error.empty()) CheckBootFiles();
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (error.empty()) error = FormatDVDRWIfNeeded();
    if (error.empty()) error = CheckUnfinishedSession(false);
    if (!error.empty()) return error;
    // Always a layout for a disc, from the disc's own start address.
    burnLayout_ = true;
    discStartError_.clear();
    try {
        BuildLayout(false, LastImportTarget);
        BuildImageHead(false, LastImportTarget);
    } catch (const std::exception& e) {
        error = e.what();
    }
    burnLayout_ = false;
    closedUnfinishedSession_ = 0;
    if (error.empty()) error = discStartError_;
    if (error.empty() && IsEmpty()) error = msgNothingToWrite;
    if (error.empty()) error = CheckImportedExtents();
    if (error.empty()) error = CheckWritableDisc(false, ImageSectors());
    if (error.empty()) error = CheckSources();
    if (error.empty()) error = FormatBlankBDRE();
    if (!error.empty()) return error;
    blockSize_ = (mediumType_ == mtCDR || mediumType_ == mtCDRW) ? kCDBlockSize : kDVDBlockSize;
    TCacheJob stream;
    error = BuildCompilationStream(blockSize_, stream);
    stream.KeepStamps = job_.Verify;
    return error.empty() ? StartCache(std::move(stream)) : error;
}

std::string TKestrelBurner::PrepareImageBurn(const std::string& Path, int64_t Size) {
    std::string error = CheckDriveFree();
    if (!error.empty()) return error;
    mediumType_ = GetDiscType();
    error = CheckUnfinishedSession(true);
    if (error.empty()) error = CheckWritableDisc(true, ImageSectors());
    if (error.empty()) error = FormatBlankBDRE();
    if (!error.empty()) return error;
    blockSize_ = (mediumType_ == mtCDR || mediumType_ == mtCDRW) ? kCDBlockSize : kDVDBlockSize;
    TCacheJob stream;
    stream.CacheSize = cacheSize_;
    stream.BlockSize = blockSize_;
    stream.ImageFileName = Path;
    stream.TotalBytes = (Size + kSector - 1) / kSector * kSector;
    stream.Files.clear();
    stream.KeepStamps = job_.Verify;
    return StartCache(std::move(stream));
}

std::string TKestrelBurner::CheckDriveFree() {
    if (HaId == NO_DEVICE_ID) return "NO DRIVE SELECTED";
    if (Erasing()) return "THE DRIVE IS ERASING A DISC";
    const std::string node = GetDriveLetter();
    if (const auto mountPoint = FindMountPoint(node)) return MountedDiscText(node, *mountPoint);
    claimedDrive_ = CurrentDevice().empty() ? node : CurrentDevice();
    if (!ClaimDrive(claimedDrive_)) {
        claimedDrive_.clear();
        return "THE DRIVE IS IN USE BY ANOTHER WRITE";
    }
    // Other programs stay off the drive until the write ends.
    const std::string held = TAccessLayer::Instance().HoldDriveExclusive(HaId, Target, Lun);
    if (!held.empty()) {
        ReleaseDrive();
        return held;
    }
    heldDrive_ = std::array<uint8_t, 3>{HaId, Target, Lun};
    return {};
}

std::string TKestrelBurner::DriveHeldByAnotherProgram() {
    if (HaId == NO_DEVICE_ID || heldDrive_) return {};
    const std::string held = TAccessLayer::Instance().HoldDriveExclusive(HaId, Target, Lun);
    if (held.empty()) TAccessLayer::Instance().ReleaseDriveExclusive(HaId, Target, Lun);
    return held;
}

void TKestrelBurner::ReleaseDrive() {
    if (heldDrive_) {
        const auto& [haId, target, lun] = *heldDrive_;
        TAccessLayer::Instance().ReleaseDriveExclusive(haId, target, lun);
        heldDrive_.reset();
    }
    if (claimedDrive_.empty()) return;
    ReleaseDriveClaim(claimedDrive_);
    claimedDrive_.clear();
}

std::string TKestrelBurner::CheckDiscNotClosed() {
    const unsigned type = GetDiscType();
    if (type == mtUnknown) return "NO WRITABLE DISC IN THE DRIVE";
    if (IsPressedType(type)) return "THE DISC IN THE DRIVE IS NOT WRITABLE (" + MediumTypeName(type) + ")";
    if (!IsOverwritableType(type) && GetDiscStatus() == 2) return "THE DISC IS CLOSED: NO FURTHER SESSION CAN BE WRITTEN";
    return {};
}

std::string TKestrelBurner::CheckWritableDisc(bool ForImage, int64_t Sectors) {
    const unsigned type = mediumType_;
    if (type == mtUnknown) return "NO WRITABLE DISC IN THE DRIVE";
    if (IsPressedType(type)) return "THE DISC IN THE DRIVE IS NOT WRITABLE (" + MediumTypeName(type) + ")";
    if (TestWrite && (!CanSimulate(type) || !(Capabilities() & cap::WriteTest)))
        return "A TEST WRITE CAN'T BE SIMULATED ON THIS DRIVE AND DISC (" + MediumTypeName(type) + ")";
    if (!IsOverwritableType(type)) {
        const int16_t status = GetDiscStatus();
        if (status < 0) return "CAN'T READ THE DISC INFORMATION [" + LastError + "]";
        if (status == 2) return "THE DISC IS CLOSED: NO FURTHER SESSION CAN BE WRITTEN";
        if (ForImage && status != 0) return "THE DISC IS NOT BLANK: AN IMAGE IS ONLY WRITTEN ONTO A BLANK DISC";
    }
    // DVD media are written in whole 32-sector units, BD always: an image
    // too ends on a whole cluster.
    const bool wholeUnits = !IsCDMedium(type) && (!ForImage || IsBDMedium(type));
    const int64_t needed = wholeUnits ? (Sectors + 31) / 32 * 32 : Sectors;
    int64_t capacity = GetDiscCapacity();
    uint32_t formattable = 0, blockLength = 0;
    // An overwritable disc that is not formatted yet has its formattable size.
    if (capacity <= 0 && IsOverwritableType(type) && ReadFormatCapacities(formattable, blockLength))
        capacity = formattable;
    if (capacity <= 0) return "CAN'T DETERMINE THE CAPACITY OF THE DISC";
    const int64_t start = ForImage ? 0 : ImageStartLBA;
    if (start + needed > capacity)
        return "THE IMAGE (" + std::to_string(Sectors) + " SECTORS FROM SECTOR " + std::to_string(start) +
               ") DOES NOT FIT ON THE DISC (" + std::to_string(capacity) + " SECTORS)";
    return {};
}

std::string TKestrelBurner::CheckImportedExtents() const {
    int64_t importedEnd = 0;
    for (const auto& entry : FileTable) {
        if (!entry->Imported || entry->Dir || entry->ISOSize <= 0) continue;
        if (entry->Extents.empty())
            importedEnd = std::max<int64_t>(importedEnd, int64_t(entry->ISOExtent) + (entry->ISOSize + kSector - 1) / kSector);
        for (const TFileExtent& extent : entry->Extents)
            importedEnd = std::max<int64_t>(importedEnd, int64_t(extent.Lba) + (int64_t(extent.Bytes) + kSector - 1) / kSector);
    }
    if (ImageStartLBA < importedEnd)
        return "THE NEW SESSION WOULD START AT SECTOR " + std::to_string(ImageStartLBA) +
               ", INSIDE THE IMPORTED SESSION (ENDING AT SECTOR " + std::to_string(importedEnd) + ")";
    return {};
}

std::string TKestrelBurner::CheckSources() const {
    const auto check = [](const std::string& Path) -> std::string {
        // Not blocking: a source that became a FIFO must not stop the burn here.
        const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0 && errno != EWOULDBLOCK) return FormatMessage(msgCantOpenFile, Path);
        struct stat st{};
        const bool examined = fd >= 0 ? ::fstat(fd, &st) == 0 : ::stat(Path.c_str(), &st) == 0;
        if (fd >= 0) ::close(fd);
        if (!examined) return FormatMessage(msgCantOpenFile, Path);
        return S_ISREG(st.st_mode) ? std::string() : FormatNotAFile(Path, st.st_mode);
    };
    for (const TBootFile& boot : BootFiles()) {
        if (!boot.InHead()) continue;
        if (std::string error = check(boot.Path); !error.empty()) return error;
    }
    for (const auto& entry : FileTable) {
        if (entry->Dir || entry->Imported || entry->ISOSize <= 0) continue;
        if (std::string error = check(entry->SourcePath); !error.empty()) return error;
    }
    return {};
}

bool TKestrelBurner::HasImportedEntries() const {
    for (const auto& entry : FileTable)
        if (entry->Imported) return true;
    return false;
}

std::string TKestrelBurner::FormatDVDRWIfNeeded() {
    const unsigned type = GetDiscType();
    if (!IsDVDRW(type)) return {};
    // Formatting destroys data: only a blank disc, or the user's explicit wish.
    const bool blank = GetDiscStatus() == 0;
    if (!blank && !FormatBeforeBurn) return {};
    if (TestWrite) return {};
    if (HasImportedEntries() || SessionToImport != 0)
        return "A DISC WHOSE SESSION IS IMPORTED IS NOT FORMATTED";
    const TFormatList& list = type == mtDVDRWSequential ? kFormatSequential : kFormatRestricted;
    SetWritePhase(TWritePhase::Formatting);
    std::string error;
    if (!FormatUnit(0x11, list.data(), list.size()) &&
        !FormatUnit(0x11, kFormatSecondTry.data(), kFormatSecondTry.size()))
        error = "CAN'T FORMAT THE DISC [" + LastError + "]";
    else
        error = WaitWhileFormatting(5000);
    SetWritePhase(TWritePhase::Preparing);
    return error;
}

std::string TKestrelBurner::FormatDVDPlusRW() {
    const TWritePhase resumed = writePhase_;
    SetWritePhase(TWritePhase::Formatting);
    std::string error;
    if (!FormatUnit(0x11, kFormatPlusRW.data(), kFormatPlusRW.size()))
        error = "CAN'T FORMAT THE DISC [" + LastError + "]";
    else
        error = WaitWhileFormatting(2000);
    SetWritePhase(resumed);
    return error;
}

std::string TKestrelBurner::WaitWhileFormatting(int64_t IntervalMs) {
    const auto deadline = DeadlineAfterMs(7200000);
    do {
        if (std::chrono::steady_clock::now() > deadline) return "THE DRIVE IS STILL FORMATTING THE DISC";
        SleepMs(IntervalMs);
    } while (!ReadDiscInformation() && LastASC() == 0x04);
    return {};
}

std::string TKestrelBurner::PrepareDrive() {
    bufferReported_ = ReadBufferCapacity();
    const uint16_t type = GetDiscType();
    mediumType_ = type;
    LoadEject(false);
    if (type != mtDVDPlusRW) RezeroUnit();
    SetCDSpeed(ReadSpeed, WriteSpeed());
    WaitForReady(10000, 1000);

    const bool finalize = FinalizeDisc;
    const uint16_t speed = GetCurrentWriteSpeed();
    // The data phase runs as for a closed session; the real choice is made
    // when the session is closed.
    FinalizeDisc = true;
    const bool parametersSet = SetWriteParameters(TestWrite, UnderrunProtection, true, type);
    FinalizeDisc = finalize;
    if (!parametersSet) {
        if (!WritesWithoutParametersPage(type)) return "CAN'T SET THE WRITE PARAMETERS [" + LastError + "]";
        LogInfo(">>> THE DRIVE REFUSED THE WRITE PARAMETERS [" + LastError + "]; " + MediumTypeName(type) +
                " IS WRITTEN WITHOUT THEM");
    }

    const uint32_t start = job_.SourceIsImageFile ? 0 : static_cast<uint32_t>(ImageStartLBA);
    const auto sectors = static_cast<uint32_t>(ImageSectors());
    if (type >= mtDVDR && type <= mtDVDPlusRDL && type != mtDVDRAM)
        SetStreamingSpeed(start, start + sectors, static_cast<uint32_t>(ReadSpeed / 1385.0 * 1440.25),
                          static_cast<uint32_t>(WriteSpeed() / 1385.0 * 1440.25), 1000, 1000);
    // BD drives take their speed from the streaming descriptor, in KB per second.
    if (IsBDMedium(type)) SetStreamingSpeed(start, start + sectors, ReadSpeed, WriteSpeed(), 1000, 1000);
    // The track being written, for closing it later.
    sessionNumber_ = static_cast<uint16_t>(GetSessionCount() + 1);
    trackNumber_ = sessionNumber_;
    if (ReadTrackInformation(start, TRACK_ADDRESS_LBA) && TrackInformation.TrackNumber() != 0)
        trackNumber_ = TrackInformation.TrackNumber();
    if (type == mtDVDR) {
        SetStreaming(kDVDRStreaming.data(), kDVDRStreaming.size());
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        SendDVDTimeStamp(local);
        ReserveTrack((sectors + 31) / 32 * 32);
        WaitForReady(10000, 1000);
    }
    if (type != mtDVDRAM && !TestWrite && PerformOPC) SendOPC();
    LogInfo(">>> " + FormatMessage(FormatMessage(msgStartingWrite, MediumTypeName(type)).c_str(), SpeedText(type, speed)));
    if (TestWrite) LogInfo(std::string(">>> ") + msgTestWrite);
    return {};
}

}  // namespace kestrel
