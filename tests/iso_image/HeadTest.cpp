// The image head: volume descriptors, the copy for the write thread and the
// El Torito boot record and catalog.
#include <gtest/gtest.h>

#include "ImageTestSupport.h"

namespace kestrel::test {

namespace {

std::string Utf16(const std::string& Ascii) {
    std::string out;
    for (char c : Ascii) out += std::string(1, '\0') + c;
    return out;
}

std::string Spaces16(size_t Units) {
    std::string out;
    for (size_t i = 0; i < Units; ++i) out += std::string("\0 ", 2);
    return out;
}

}  // namespace

TEST(ImageHead, DescriptorsOfAnEmptyImage) {
    TScopedZone utc("UTC0");
    TTestImage image;
    image.BuildLayout(true, nullptr);
    EXPECT_FALSE(image.DoDebug);  // the layout switches the log off ...
    image.BuildImageHead(true, nullptr);
    EXPECT_TRUE(image.DoDebug);  // ... and the head build on again
    ASSERT_EQ(image.HeadStream.size(), 150u * 2048);
    EXPECT_EQ(std::string(image.HeadStream.begin(), image.HeadStream.begin() + 16 * 2048),
              std::string(16 * 2048, '\0'));

    const std::string pvd = Sector(image.HeadStream, 16);
    EXPECT_EQ(pvd.substr(0, 7), std::string("\1CD001\1", 7));
    EXPECT_EQ(pvd.substr(8, 64), std::string(64, ' '));
    EXPECT_EQ(LE32(pvd, 80), 150u);
    EXPECT_EQ(BE32(pvd, 84), 150u);
    EXPECT_EQ(pvd.substr(88, 3), std::string(3, '\0'));  // the escape is the SVD's alone
    EXPECT_EQ(Sector(image.HeadStream, 17).substr(88, 3), "%/@");
    EXPECT_EQ(LE16(pvd, 128), 2048);
    EXPECT_EQ(LE32(pvd, 132), 10u);
    EXPECT_EQ(LE32(pvd, 140), 19u);
    EXPECT_EQ(BE32(pvd, 148), 20u);
    EXPECT_EQ(uint8_t(pvd[156]), 34);
    EXPECT_EQ(LE32(pvd, 156 + 2), 23u);
    EXPECT_EQ(LE32(pvd, 156 + 10), 2048u);
    EXPECT_EQ(pvd.substr(156 + 18, 7), std::string(7, '\0'));
    EXPECT_EQ(pvd.substr(847, 17), std::string("0000000000000000\0", 17));
    EXPECT_EQ(pvd[881], 1);
    EXPECT_EQ(pvd.substr(1024, 8), "        ");

    const std::string svd = Sector(image.HeadStream, 17);
    EXPECT_EQ(svd.substr(0, 7), std::string("\2CD001\1", 7));
    EXPECT_EQ(svd.substr(8, 64), Spaces16(32));
    EXPECT_EQ(LE32(svd, 140), 21u);
    EXPECT_EQ(LE32(svd, 156 + 2), 24u);
    // DateCreation never set: 30 December 1899, midnight.
    EXPECT_EQ(svd.substr(813, 17), std::string("1899123000000000\0", 17));
    EXPECT_EQ(Sector(image.HeadStream, 18).substr(0, 7), std::string("\xff" "CD001\1", 7));

    // The write thread's copy: system area and descriptors, then FFh.
    EXPECT_EQ(image.HeadLength, 19 * 2048);
    ASSERT_EQ(image.HeadBuffer.size(), 65537u);
    EXPECT_TRUE(std::equal(image.HeadStream.begin(), image.HeadStream.begin() + 19 * 2048, image.HeadBuffer.begin()));
    EXPECT_EQ(image.HeadBuffer[19 * 2048], 0xFF);
    EXPECT_EQ(image.HeadBuffer.back(), 0xFF);
}

TEST(ImageHead, TextFieldsArePaddedAndCut) {
    TTestImage image;
    image.IdVolume = "my disc";
    image.IdSystem = std::string(40, 's');
    image.FileCopyright = std::string(40, 'c');
    image.DateCreation = 45000.5;  // 15 March 2023, noon
    image.BuildLayout(true, nullptr);
    image.BuildImageHead(true, nullptr);
    const std::string pvd = Sector(image.HeadStream, 16);
    const std::string svd = Sector(image.HeadStream, 17);
    EXPECT_EQ(pvd.substr(40, 32), "MY DISC" + std::string(25, ' '));
    EXPECT_EQ(svd.substr(40, 32), Utf16("my disc") + Spaces16(9));
    EXPECT_EQ(pvd.substr(8, 32), std::string(32, 'S'));
    EXPECT_EQ(svd.substr(8, 32), Utf16(std::string(16, 's')));
    EXPECT_EQ(pvd.substr(702, 37), std::string(37, 'C'));
    EXPECT_EQ(svd.substr(702, 37), Utf16(std::string(18, 'c')) + std::string(1, '\0'));
    EXPECT_EQ(svd.substr(813, 16), "2023031512000000");
}

TEST(ImageHead, WithoutJolietTheTerminatorFollowsThePrimaryDescriptor) {
    TTestImage image;
    image.JolietFileSystem = false;
    image.BuildLayout(true, nullptr);
    image.BuildImageHead(true, nullptr);
    const std::string pvd = Sector(image.HeadStream, 16);
    EXPECT_EQ(pvd.substr(88, 3), std::string(3, '\0'));
    EXPECT_EQ(uint8_t(Sector(image.HeadStream, 17)[0]), 0xFF);
    EXPECT_EQ(image.HeadLength, 18 * 2048);
}

TEST(ImageHead, RecordDatesCarryTheZoneOffset) {
    TTestImage image;
    image.GMTOffset = -14;  // UTC-3:30
    TFEntry* f = image.File(image.RootDir, "f", 1);
    f->DateTime = 45000.75;  // 15 March 2023, 18:00
    image.BuildLayout(true, nullptr);
    image.BuildImageHead(true, nullptr);
    const std::string root = Sector(image.HeadStream, image.ISODirArea);
    EXPECT_EQ(root.substr(68 + 18, 7), std::string("\x7b\x03\x0f\x12\x00\x00\xf2", 7));
}

// Descriptor dates are local times; their 17th byte tells readers the
// zone's offset from UTC in 15-minute units, for each date its own.
TEST(ImageHead, DescriptorDatesCarryTheOffsetOfAHalfHourZone) {
    TScopedZone kolkata("IST-5:30");
    TTestImage image;
    image.DateCreation = 45000.5;       // 15 March 2023, noon
    image.DateModification = 45000.75;  // 15 March 2023, 18:00
    image.BuildLayout(true, nullptr);
    image.BuildImageHead(true, nullptr);
    const std::string pvd = Sector(image.HeadStream, 16);
    const std::string svd = Sector(image.HeadStream, 17);
    EXPECT_EQ(int8_t(pvd[829]), 22);
    EXPECT_EQ(int8_t(pvd[846]), 22);
    EXPECT_EQ(svd.substr(813, 17), "2023031512000000" + std::string(1, '\x16'));
    EXPECT_EQ(svd.substr(830, 17), "2023031518000000" + std::string(1, '\x16'));
    // The unused dates stay without an offset.
    EXPECT_EQ(pvd.substr(847, 34), std::string("0000000000000000\0" "0000000000000000\0", 34));
}

TEST(ImageHead, DescriptorDatesCarryTheOffsetOfTheirOwnSeason) {
    TScopedZone newYork("EST5EDT,M3.2.0,M11.1.0");
    TTestImage image;
    image.DateCreation = 45000.5;      // 15 March 2023: summer time, UTC-4
    image.DateModification = 44941.5;  // 15 January 2023: UTC-5
    image.BuildLayout(true, nullptr);
    image.BuildImageHead(true, nullptr);
    const std::string svd = Sector(image.HeadStream, 17);
    EXPECT_EQ(int8_t(svd[829]), -16);
    EXPECT_EQ(int8_t(svd[846]), -20);
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(int8_t(Sector(image.HeadStream, 16)[829]), local.tm_gmtoff / 900) << "the build time, now";
}

class BootImageHead : public ::testing::Test {
protected:
    TTempDir dir;
    TTestImage image;

    void Boot(size_t Bytes) {
        WriteFile(dir / "boot.img", std::string(Bytes, 'b'));
        image.Bootable = true;
        image.BootImageFile = dir / "boot.img";
        image.BuildLayout(true, nullptr);
        image.BuildImageHead(true, nullptr);
    }
    std::string Catalog() const { return Sector(image.HeadStream, image.BootCatalogLBA); }
};

TEST_F(BootImageHead, DisketteImageGetsItsMediaTypeAndTheCatalogChecksum) {
    Boot(1474560);
    EXPECT_EQ(image.BootImageSectors, 720);
    const std::string record = Sector(image.HeadStream, 17);
    EXPECT_EQ(record.substr(0, 7), std::string("\0CD001\1", 7));
    EXPECT_EQ(record.substr(7, 32), "EL TORITO SPECIFICATION" + std::string(9, '\0'));
    EXPECT_EQ(LE32(record, 71), uint32_t(image.BootCatalogLBA));
    EXPECT_EQ(uint8_t(Sector(image.HeadStream, 18)[0]), 2);  // Joliet after the boot record
    // Catalog and boot image follow the directories; the files follow at 150
    // only when the head is short enough, here they come straight after.
    EXPECT_EQ(image.BootCatalogLBA, 26);
    EXPECT_EQ(image.BootImageLBA, 27);
    EXPECT_EQ(image.FirstFileLBA, 27 + 720);
    EXPECT_EQ(image.HeadStream.size(), size_t(27) * 2048);

    const std::string c = Catalog();
    EXPECT_EQ(c.substr(0, 4), std::string("\1\0\0\0", 4));
    EXPECT_EQ(c.substr(4, 24), "Kestrel CD/DVD Burner" + std::string(3, '\0'));
    EXPECT_EQ(uint8_t(c[28]), 0xD1);
    EXPECT_EQ(uint8_t(c[29]), 0x0E);
    EXPECT_EQ(uint8_t(c[30]), 0x55);
    EXPECT_EQ(uint8_t(c[31]), 0xAA);
    EXPECT_EQ(uint8_t(c[32]), 0x88);
    EXPECT_EQ(c[33], 2);
    EXPECT_EQ(LE16(c, 38), 1);
    EXPECT_EQ(LE32(c, 40), 27u);
}

TEST_F(BootImageHead, OtherSizesEmulateAHardDisk) {
    Boot(4096);
    EXPECT_EQ(image.BootImageSectors, 2);
    EXPECT_EQ(Catalog()[33], 4);
    EXPECT_EQ(image.FirstFileLBA, 150);
    EXPECT_EQ(image.HeadStream.size(), size_t(150 - 2) * 2048);
}

TEST_F(BootImageHead, OtherDisketteSizes) {
    Boot(600 * 2048);
    EXPECT_EQ(Catalog()[33], 1);
    Boot(1440 * 2048);
    EXPECT_EQ(Catalog()[33], 3);
}

}  // namespace kestrel::test
