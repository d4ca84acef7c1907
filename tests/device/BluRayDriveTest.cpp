// Blu-ray through the device layer, on the recorder's BD writer: medium
// types and names, capabilities from the BD features, sessions and space of
// BD-R and BD-RE, and erasing a BD-RE by formatting it again.
#include <gtest/gtest.h>

#include <cstring>

#include "VirtualRecorder.h"
#include "kestrel/mmc.h"

namespace kestrel::test {
namespace {

using vdrive::MediaKind;

constexpr uint32_t kLayer = 12219392, kUsualFormat = 11826176;

// The BD writer added after the two standard drives, with its disc.
struct TBdRecorder {
    TVirtualRecorder recorder;
    int drive = recorder.AddDrive("bd-writer");
    std::unique_ptr<TLoggedDevice> Open(MediaKind Kind) {
        recorder.Insert(drive, Kind);
        return OpenDevice(drive);
    }
    // A BD-RE formatted as the drive does it unasked, holding a volume of Blocks.
    std::unique_ptr<TLoggedDevice> OpenRecordedBdRe(uint32_t Blocks) {
        std::string image(size_t(Blocks) * 2048, '\0');
        char* pvd = image.data() + 16 * 2048;
        pvd[0] = 1;
        std::memcpy(pvd + 1, "CD001", 5);
        for (int i = 0; i < 4; ++i) pvd[80 + i] = char((Blocks >> (8 * i)) & 0xFF);
        const std::string path = dir / "volume.iso";
        WriteFile(path, image);
        recorder.InsertRecorded(drive, MediaKind::BdRe, Blocks, false, path);
        return OpenDevice(drive);
    }
    TTempDir dir;
};

TEST(DriveBluRay, TypeCodesNamesAndSpeedOfEveryBdMedium) {
    TBdRecorder bd;
    struct TCase { MediaKind Kind; uint8_t Type; const char* Name; uint32_t Capacity; };
    const TCase cases[] = {
        {MediaKind::BdR, mtBDR, "BD-R Sequential Recording", kLayer},
        {MediaKind::BdRDl, mtBDR, "BD-R Sequential Recording", 2 * kLayer},
        {MediaKind::BdRe, mtBDRE, "BD-RE", kUsualFormat},
        {MediaKind::BdReDl, mtBDRE, "BD-RE", 2 * kUsualFormat},
    };
    auto device = bd.Open(MediaKind::BdR);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        bd.recorder.Insert(bd.drive, c.Kind);
        EXPECT_EQ(device->GetDiscType(), c.Type);
        EXPECT_EQ(device->GetDiscCapacity(), c.Capacity);
        EXPECT_EQ(device->GetSessionCount(), 0);
        TDisc disc;
        device->GetDiscInformation(disc);
        EXPECT_TRUE(disc.Ready);
        EXPECT_EQ(disc.MediumName, c.Name);
        EXPECT_EQ(disc.Erasable, c.Type == mtBDRE);
        EXPECT_EQ(device->GetMaxWriteSpeed(), 53946);
        EXPECT_EQ(SpeedText(c.Type, device->GetMaxWriteSpeed()), "12.0X (53,946 KB/s)");
    }
    bd.recorder.InsertRecorded(bd.drive, MediaKind::BdRom, 500, false);
    EXPECT_EQ(device->GetDiscType(), mtBDROM);
    EXPECT_EQ(MediumTypeName(device->GetDiscType()), "BD-ROM");
}

TEST(DriveBluRay, CapabilitiesComeFromTheBdFeatures) {
    TBdRecorder bd;
    auto writer = bd.Open(MediaKind::BdR);
    const uint32_t bdFlags = cap::ReadBD | cap::ReadBDR | cap::ReadBDRE | cap::WriteBDR | cap::WriteBDRE;
    EXPECT_EQ(writer->Capabilities() & bdFlags, bdFlags);
    EXPECT_TRUE(writer->Capabilities() & cap::WriteDVDPRW) << "a BD writer writes DVD too";
    EXPECT_TRUE(writer->Capabilities() & cap::WriteCDR) << "and CD";
    EXPECT_EQ(writer->DeviceMaxWriteSpeed(), 53946);

    // The standard DVD writer knows nothing of BD.
    auto dvd = OpenDevice(0);
    EXPECT_EQ(dvd->Capabilities() & bdFlags, 0u);
    EXPECT_EQ(dvd->DeviceMaxWriteSpeed(), 22160);
}

TEST(DriveBluRay, BdRSessionsAndSpaceFollowEachClosedSession) {
    TBdRecorder bd;
    auto device = bd.Open(MediaKind::BdR);
    EXPECT_EQ(device->GetUsedBlocks(), 0u);
    EXPECT_EQ(device->GetFreeBlocks(), kLayer);
    EXPECT_FALSE(device->DiscIsErasable());

    // 1,000 blocks: the drive pads the last cluster, 1,024 are used.
    std::vector<uint8_t> data(1000 * 2048, 0x5A);
    ASSERT_TRUE(device->Write10(0, 1000, SRB_FLAGS_OUT, data.data(), uint32_t(data.size())));
    ASSERT_TRUE(device->CloseTrackSessionEx(false, mmc::close::kTrack, 0, 0, 1));
    ASSERT_TRUE(device->CloseTrackSessionEx(false, mmc::close::kSession, 0, 0, 0));
    EXPECT_EQ(device->GetSessionCount(), 1);
    EXPECT_EQ(device->GetDiscStatus(), 1) << "appendable";
    EXPECT_EQ(device->GetUsedBlocks(), 1024u);
    EXPECT_EQ(device->GetFreeBlocks(), kLayer - 1024);
    EXPECT_EQ(device->GetDiscCapacity(), kLayer);

    ASSERT_TRUE(device->Write10(1024, 32, SRB_FLAGS_OUT, data.data(), 32 * 2048));
    ASSERT_TRUE(device->CloseTrackSessionEx(false, mmc::close::kTrack, 0, 0, 2));
    ASSERT_TRUE(device->CloseTrackSessionEx(false, mmc::close::kFinalize, 0, 0, 0));
    EXPECT_EQ(device->GetSessionCount(), 2);
    EXPECT_EQ(device->GetDiscStatus(), 2) << "finalized";
    EXPECT_EQ(device->GetFreeBlocks(), 0u);
}

TEST(DriveBluRay, BdReSpaceIsItsFormatLessItsVolume) {
    TBdRecorder bd;
    auto blank = bd.Open(MediaKind::BdRe);
    EXPECT_EQ(blank->GetFreeBlocks(), kUsualFormat) << "unformatted: what the drive's format will hold";
    uint32_t blocks = 0, length = 0;
    ASSERT_TRUE(blank->ReadFormatCapacities(blocks, length));
    EXPECT_EQ(blank->CurrentCapacityType, mmc::format::kUnformattedMedium);
    blank.reset();

    auto device = bd.OpenRecordedBdRe(3000);
    EXPECT_EQ(device->GetUsedBlocks(), 3000u);
    EXPECT_EQ(device->GetFreeBlocks(), kUsualFormat - 3000);
    EXPECT_EQ(device->GetDiscCapacity(), kUsualFormat);
    ASSERT_TRUE(device->ReadFormatCapacities(blocks, length));
    EXPECT_EQ(device->CurrentCapacityType, mmc::format::kFormattedMedium);
    EXPECT_TRUE(device->DiscIsErasable());

    // BD media take no write parameters page: nothing is sent.
    bd.recorder.Drive(bd.drive).ClearTrace();
    EXPECT_TRUE(device->SetWriteParameters(false, true, true, mtBDRE));
    EXPECT_TRUE(device->SetWriteParameters(false, true, false, mtBDR));
    EXPECT_TRUE(bd.recorder.Drive(bd.drive).Trace().empty());
}

// Erasing a BD-RE formats it again; the volume is gone, the format stays.
// One recorder for both: the interposer keeps the state folder it found
// first in a process.
TEST(DriveBluRay, ErasingABdReFormatsItAgain) {
    TBdRecorder bd;
    for (const bool quick : {true, false}) {
        SCOPED_TRACE(quick ? "quick" : "complete");
        auto device = bd.OpenRecordedBdRe(3000);
        std::atomic<int> events{0};
        std::atomic<bool> withError{true};
        device->OnEraseDone = [&](TSCSIDevice*, bool Error) {
            withError = Error;
            ++events;
        };
        bd.recorder.Drive(bd.drive).ClearTrace();
        ASSERT_TRUE(device->EraseDisc(quick)) << device->LastError;
        ASSERT_TRUE(WaitUntil([&] { return events.load() > 0; }, 120));
        EXPECT_FALSE(withError.load()) << device->LastError;
        bool formatted = false, blanked = false;
        for (const auto& entry : bd.recorder.Drive(bd.drive).Trace()) {
            formatted |= entry.cdb[0] == mmc::op::kFormatUnit && entry.status == 0;
            blanked |= entry.cdb[0] == mmc::op::kBlank;
        }
        EXPECT_TRUE(formatted);
        EXPECT_FALSE(blanked) << "a BD-RE has no blanking";
        EXPECT_EQ(device->GetISOVolumeSize(), 0u);
        EXPECT_EQ(device->GetDiscCapacity(), kUsualFormat);
        const auto medium = bd.recorder.Drive(bd.drive).State().medium;
        ASSERT_TRUE(medium);
        EXPECT_TRUE(medium->formatted);
        EXPECT_EQ(medium->RecordedEnd(), 0u);
    }
}

}  // namespace
}  // namespace kestrel::test
