#include <gtest/gtest.h>

#include <cstring>

#include "VirtualRecorder.h"

namespace kestrel::test {
namespace {

using vdrive::MediaKind;

constexpr int kDVDDrive = 0, kCDDrive = 1;
constexpr uint32_t kCDBlocks = 359847, kDVDBlocks = 2295104;

// An image whose primary volume descriptor gives Blocks as its size.
std::string IsoImage(const TTempDir& Dir, uint32_t Blocks) {
    std::string image(size_t(Blocks) * 2048, '\0');
    char* pvd = image.data() + 16 * 2048;
    pvd[0] = 1;
    std::memcpy(pvd + 1, "CD001", 5);
    for (int i = 0; i < 4; ++i) pvd[80 + i] = char((Blocks >> (8 * i)) & 0xFF);
    const std::string path = Dir / "volume.iso";
    WriteFile(path, image);
    return path;
}

TEST(DriveMedia, TypeCodesOfEveryMedium) {
    TVirtualRecorder recorder;
    struct TCase { MediaKind Kind; uint8_t Type; const char* Name; };
    const TCase cases[] = {
        {MediaKind::CdR, 2, "CD-R"}, {MediaKind::CdRw, 3, "CD-RW"}, {MediaKind::DvdR, 5, "DVD-R"},
        {MediaKind::DvdRam, 6, "DVD-RAM"}, {MediaKind::DvdRwRestricted, 8, "DVD-RW Restricted Overwrite"},
        {MediaKind::DvdRwSequential, 9, "DVD-RW Sequential Recording"}, {MediaKind::DvdPlusRw, 10, "DVD+RW"},
        {MediaKind::DvdPlusR, 11, "DVD+R"}, {MediaKind::DvdPlusRDl, 12, "???????"},
    };
    auto device = OpenDevice(kDVDDrive);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        recorder.Insert(kDVDDrive, c.Kind);
        EXPECT_EQ(device->GetDiscType(), c.Type);
        TDisc disc;
        device->GetDiscInformation(disc);
        EXPECT_TRUE(disc.Ready);
        EXPECT_EQ(disc.MediumName, c.Name);
        EXPECT_EQ(disc.Profile, vdrive::TraitsOf(c.Kind).profile);
    }
    recorder.InsertRecorded(kDVDDrive, MediaKind::CdRom, 500, false);
    EXPECT_EQ(device->GetDiscType(), 1);
    recorder.InsertRecorded(kDVDDrive, MediaKind::DvdRom, 500, false);
    EXPECT_EQ(device->GetDiscType(), 4);
    recorder.Drive(kDVDDrive).Eject();
    EXPECT_EQ(device->GetDiscType(), 0);
}

TEST(DriveMedia, BlankCDRecordable) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(kCDDrive);
    EXPECT_EQ(device->GetSessionCount(), 0);
    EXPECT_EQ(device->GetDiscStatus(), 0);
    EXPECT_FALSE(device->DiscIsErasable());
    EXPECT_EQ(device->GetUsedBlocks(), 0u);
    const uint32_t capacity = device->GetDiscCapacity();
    EXPECT_GE(capacity, kCDBlocks);
    EXPECT_LE(capacity, kCDBlocks + 150);
    EXPECT_GE(device->GetFreeBlocks(), kCDBlocks - 150);
    TDisc disc;
    device->GetDiscInformation(disc);
    EXPECT_TRUE(disc.Ready);
    EXPECT_EQ(disc.MediumName, "CD-R");
    EXPECT_EQ(disc.DiscStatus, 0);
    EXPECT_FALSE(disc.Erasable);
    EXPECT_GE(disc.Capacity, kCDBlocks - 150);
}

TEST(DriveMedia, AppendableAndClosedCDs) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(kCDDrive);
    recorder.InsertRecorded(kCDDrive, MediaKind::CdRw, 1000, true);
    EXPECT_EQ(device->GetSessionCount(), 1);
    EXPECT_EQ(device->GetDiscStatus(), 1);
    EXPECT_TRUE(device->DiscIsErasable());
    const uint32_t used = device->GetUsedBlocks();
    EXPECT_GE(used, 1000u) << "the next session starts behind the first";
    EXPECT_LT(used, 1000u + 11400 + 1);
    const uint32_t free = device->GetFreeBlocks();
    EXPECT_GT(free, 0u);
    EXPECT_LE(free, kCDBlocks - 1000);

    recorder.InsertRecorded(kCDDrive, MediaKind::CdR, 1000, false);
    EXPECT_EQ(device->GetSessionCount(), 1);
    EXPECT_EQ(device->GetDiscStatus(), 2);
    EXPECT_EQ(device->GetFreeBlocks(), 0u);
    EXPECT_GE(device->GetUsedBlocks(), 999u);
    TDisc disc;
    device->GetDiscInformation(disc);
    EXPECT_EQ(disc.DiscStatus, 2);
    EXPECT_EQ(disc.FirstSession, 1);
    EXPECT_EQ(disc.LastSession, 1);
}

// Writes Blocks (a multiple of 32) as one track at the track's next
// writable address and closes the track.
void WriteTrack(TSCSIDevice& Device, uint32_t Track, uint32_t Blocks) {
    ASSERT_TRUE(Device.ReadTrackInformation(Track)) << Device.LastError;
    const uint32_t start = Device.TrackInformation.NextWritableAddress;
    std::vector<uint8_t> data(32 * 2048, 0x5A);
    for (uint32_t done = 0; done < Blocks; done += 32)
        ASSERT_TRUE(Device.Write10(start + done, 32, SRB_FLAGS_OUT, data.data(), uint32_t(data.size())))
            << Device.LastError;
    ASSERT_TRUE(Device.SynchronizeCache(false, 30000));
    ASSERT_TRUE(Device.CloseTrackSessionEx(false, 1, 0, 0, uint8_t(Track))) << Device.LastError;
}

TEST(DriveMedia, SessionsWithSeveralTracksAreReadByTheirTracks) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(kCDDrive);
    ASSERT_TRUE(device->SetWriteParameters(false, true, false, mtCDR));
    WriteTrack(*device, 1, 320);
    WriteTrack(*device, 2, 320);
    ASSERT_TRUE(device->CloseTrackSessionEx(false, 2, 0, 0, 0)) << device->LastError;
    ASSERT_TRUE(device->WaitForReady(10000, 500));

    EXPECT_EQ(device->GetSessionCount(), 1);
    ASSERT_TRUE(device->ReadDiscInformation());
    const uint16_t nextTrack = device->DiscInformation.LastTrackInLastSession();
    ASSERT_EQ(nextTrack, 3) << "two written tracks, then the open one";
    ASSERT_TRUE(device->ReadTrackInformation(nextTrack));
    const uint32_t nextStart = device->TrackInformation.NextWritableAddress;
    EXPECT_GE(nextStart, 640u + 11400u - 150u);
    EXPECT_EQ(device->GetUsedBlocks(), nextStart) << "track 2 is not where the next session goes";
    EXPECT_GT(device->GetFreeBlocks(), 0u);
    EXPECT_LE(device->GetFreeBlocks(), kCDBlocks - nextStart);
}

TEST(DriveMedia, OverwritableDVDUsesTheVolumeSize) {
    TVirtualRecorder recorder;
    TTempDir images;
    recorder.InsertRecorded(kDVDDrive, MediaKind::DvdPlusRw, 400, true, IsoImage(images, 400));
    auto device = OpenDevice(kDVDDrive);
    EXPECT_EQ(device->GetDiscType(), 10);
    EXPECT_EQ(device->GetISOVolumeSize(), 400u);
    EXPECT_EQ(device->GetUsedBlocks(), 400u);
    const uint32_t capacity = device->GetDiscCapacity();
    EXPECT_EQ(capacity, kDVDBlocks);
    EXPECT_EQ(device->GetFreeBlocks(), capacity - 400);
    TDisc disc;
    device->GetDiscInformation(disc);
    EXPECT_TRUE(disc.Erasable);
    EXPECT_EQ(disc.BlockSize, 2048u);
    EXPECT_GE(disc.Capacity, disc.Blocks);
}

// A formatted overwritable disc reads as complete with one session whether
// or not anything was written: only its first volume descriptor tells.
TEST(DriveMedia, OverwritableDiscWithoutAFileSystemIsToldApartFromOneWithAVolume) {
    TVirtualRecorder recorder;
    TTempDir images;
    auto device = OpenDevice(kDVDDrive);
    EXPECT_FALSE(device->HoldsNoFileSystem()) << "an unformatted disc is reported empty by the drive";
    for (const auto kind : {MediaKind::DvdPlusRw, MediaKind::DvdRam, MediaKind::DvdRwRestricted}) {
        SCOPED_TRACE(vdrive::TraitsOf(kind).name);
        recorder.InsertRecorded(kDVDDrive, kind, 0, false);
        EXPECT_EQ(device->GetDiscStatus(), 2);
        EXPECT_TRUE(device->HoldsNoFileSystem());
        recorder.InsertRecorded(kDVDDrive, kind, 64, false, IsoImage(images, 64));
        EXPECT_FALSE(device->HoldsNoFileSystem());
    }
    EXPECT_FALSE(OpenDevice(kCDDrive)->HoldsNoFileSystem()) << "a blank CD-R says so itself";
}

TEST(DriveMedia, BlankSequentialDVD) {
    TVirtualRecorder recorder;
    recorder.Insert(kDVDDrive, MediaKind::DvdPlusR);
    auto device = OpenDevice(kDVDDrive);
    EXPECT_EQ(device->GetSessionCount(), 0);
    EXPECT_EQ(device->GetUsedBlocks(), 0u);
    EXPECT_EQ(device->GetFreeBlocks(), kDVDBlocks);
    EXPECT_EQ(device->GetDiscCapacity(), kDVDBlocks);
}

TEST(DriveMedia, NotReadyLeavesTheCallersRecordAlone) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(kCDDrive);
    ASSERT_TRUE(device->LoadEject(true));
    TDisc disc;
    disc.MediumName = "untouched";
    disc.Capacity = 7;
    device->GetDiscInformation(disc);
    EXPECT_EQ(disc.MediumName, "untouched");
    EXPECT_EQ(disc.Capacity, 7u);
    EXPECT_EQ(device->GetDiscStatus(), -1);
    EXPECT_EQ(device->GetSessionCount(), 0);
    EXPECT_EQ(device->GetUsedBlocks(), 0u);
    EXPECT_EQ(device->GetDiscCapacity(), 0u);
}

}  // namespace
}  // namespace kestrel::test
