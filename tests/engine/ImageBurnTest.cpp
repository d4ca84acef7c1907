// Burning an existing image file: what reaches the disc is the image,
// sector for sector, and what cannot work is refused before any write.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "BurnRig.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

struct ImageBurn : ::testing::Test {
    TBurnRig rig;
    void SetUp() override { ASSERT_TRUE(rig.Open()); }

    std::string PeerImage() {
        const std::string source = rig.files / "src";
        MakeSourceTree(source);
        const std::string image = rig.files / "peer.iso";
        int status = -1;
        RunCommand("xorriso -as mkisofs -J -quiet -o " + Quote(image) + " " + Quote(source) + " 2>&1", &status);
        EXPECT_EQ(status, 0);
        return image;
    }
};

TEST_F(ImageBurn, PeerImageReadsBackIdenticalFromADVDPlusR) {
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string image = PeerImage();
    rig.Insert(MediaKind::DvdPlusR);
    ASSERT_EQ(rig.BurnImage(image), "");
    const std::string original = ReadFile(image);
    const std::string disc = ReadFile(rig.Dump());
    ASSERT_GE(disc.size(), original.size());
    EXPECT_TRUE(disc.compare(0, original.size(), original) == 0);
    EXPECT_EQ(rig.Commands(0x2A).front().Lba(), 0u);
}

TEST_F(ImageBurn, ImageWithAPartialLastSectorIsWrittenWithZerosAfterIt) {
    const std::string image = rig.files / "odd.img";
    std::string bytes(1000000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(1 + i % 200);
    WriteFile(image, bytes);
    rig.Insert(MediaKind::CdR);
    ASSERT_EQ(rig.BurnImage(image), "");
    EXPECT_EQ(rig.burner.ImageSectors(), 489);
    const std::string disc = ReadFile(rig.Dump());
    ASSERT_GE(disc.size(), size_t(489 * 2048));
    EXPECT_EQ(disc.substr(0, bytes.size()), bytes);
    EXPECT_EQ(disc.substr(bytes.size(), 489 * 2048 - bytes.size()), std::string(489 * 2048 - bytes.size(), '\0'));
    for (const auto& write : rig.Commands(0x2A)) EXPECT_LE(write.Blocks(), 27);
}

TEST_F(ImageBurn, ImageLargerThanTheDiscIsRefusedBeforeAnyWrite) {
    const std::string image = rig.files / "huge.img";
    { std::ofstream(image).close(); }
    ASSERT_EQ(truncate(image.c_str(), 800LL << 20), 0);
    rig.Insert(MediaKind::CdR);
    const std::string error = rig.BurnImage(image);
    EXPECT_NE(error.find("DOES NOT FIT"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(0x2A).empty());
}

TEST_F(ImageBurn, WriteOnceDiscThatIsNotBlankIsRefused) {
    const std::string image = rig.files / "small.img";
    WriteFile(image, std::string(100 * 2048, 'x'));
    rig.InsertImage(MediaKind::CdR, image, true);
    const std::string error = rig.BurnImage(image);
    EXPECT_NE(error.find("NOT BLANK"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(0x2A).empty());
}

TEST_F(ImageBurn, MissingImageIsReportedAtOnceWithoutTouchingTheDrive) {
    rig.Insert(MediaKind::CdR);
    rig.ClearTrace();
    const std::string missing = rig.files / "missing.iso";
    EXPECT_EQ(rig.BurnImage(missing), "CAN'T OPEN FILE \"" + missing + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_TRUE(rig.Trace().empty());
}

TEST_F(ImageBurn, EmptyImageOrOneThatIsNoFileIsRefusedWithoutTouchingTheDrive) {
    rig.Insert(MediaKind::CdR);
    rig.ClearTrace();
    const std::string empty = rig.files / "empty.iso";
    WriteFile(empty, "");
    EXPECT_EQ(rig.BurnImage(empty), "THE IMAGE FILE \"" + empty + "\" IS EMPTY: NOTHING TO WRITE");

    const std::string folder = rig.files.Path().string();
    EXPECT_EQ(rig.BurnImage(folder), "CAN'T OPEN FILE \"" + folder + "\": IT IS A DIRECTORY");

    // Opening a FIFO for reading would wait for a writer forever.
    const std::string fifo = rig.files / "image.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(rig.BurnImage(fifo), "CAN'T OPEN FILE \"" + fifo + "\": IT IS A FIFO");
    EXPECT_TRUE(rig.Trace().empty());
    EXPECT_EQ(rig.Drive().State().medium->Status(), vdrive::DiscStatus::Empty);
}

TEST_F(ImageBurn, UnformattedDVDPlusRWIsFormattedBeforeTheImage) {
    const std::string image = rig.files / "small.img";
    WriteFile(image, std::string(300 * 2048, 'y'));
    rig.Insert(MediaKind::DvdPlusRw);
    ASSERT_EQ(rig.BurnImage(image), "");
    EXPECT_EQ(ReadFile(rig.Dump()).substr(0, 300 * 2048), std::string(300 * 2048, 'y'));
}

}  // namespace
}  // namespace kestrel
