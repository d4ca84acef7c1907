// First contact with a fresh state folder: the two standard drives and the
// basic commands a door needs.
#include "DriveHarness.h"

namespace vdrive::test {

TEST_F(DriveTest, FirstUseCreatesTheTwoStandardDrives) {
    ASSERT_EQ(set_->Count(), 2);
    EXPECT_EQ(set_->DriveName(1), "vdrive1");
    EXPECT_EQ(D(0).State().medium->kind, MediaKind::DvdPlusRw);
    EXPECT_EQ(D(1).State().medium->kind, MediaKind::CdR);
    auto inq = In({0x12, 0, 0, 0, 96, 0}, 96);
    EXPECT_GOOD(inq);
    ASSERT_EQ(inq.data.size(), 96u);
    EXPECT_EQ(inq.data[0], 0x05);
    EXPECT_EQ(std::string(inq.data.begin() + 8, inq.data.begin() + 36), "KESTREL VIRTUAL DVD-RW  1.00");
}

TEST_F(DriveTest, PressedDiscReadsBackItsImage) {
    std::string image = folder_.Path() + "/image.iso";
    {
        std::vector<uint8_t> bytes(2048 * 40);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i / 2048 + 1);
        FILE* f = fopen(image.c_str(), "wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    D(1).Insert(Medium::WithImage(MediaKind::CdRom, 40, false), image);
    EXPECT_GOOD(None({0, 0, 0, 0, 0, 0}, 1));
    auto cap = In({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8, 1);
    EXPECT_GOOD(cap);
    EXPECT_EQ(cap.U32(0), 39u);
    EXPECT_EQ(cap.U32(4), 2048u);
    auto r = Read10(39, 1, 1);
    EXPECT_GOOD(r);
    EXPECT_EQ(r.data[0], 40);
    EXPECT_SENSE(Read10(40, 1, 1), 5, 0x64, 0);
    EXPECT_SENSE(Write10(40, 1, 0, 1), 5, 0x30, 0x05);
}

}  // namespace vdrive::test
