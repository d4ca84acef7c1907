// Boot files through the read-ahead cache: the boot information table is
// laid over the loader's copy in the block, never written to its source,
// for the normal image build and for a burn straight onto a disc; boot
// files the image cannot use end the write before anything is written.
#include <gtest/gtest.h>

#include <filesystem>

#include "BurnRig.h"

namespace kestrel {
namespace {

using namespace kestrel::test;

std::string Pattern(size_t Bytes) {
    std::string s(Bytes, '\0');
    for (size_t i = 0; i < Bytes; ++i) s[i] = char((i * 13 + i / 4096) & 0xFF);
    return s;
}

uint32_t Le32(const std::string& B, size_t At) {
    return uint32_t(uint8_t(B[At])) | uint32_t(uint8_t(B[At + 1])) << 8 | uint32_t(uint8_t(B[At + 2])) << 16 |
           uint32_t(uint8_t(B[At + 3])) << 24;
}

std::string BytesAt(const std::string& Image, int64_t Lba, size_t Count) {
    std::ifstream in(Image, std::ios::binary);
    in.seekg(Lba * 2048);
    std::string bytes(Count, '\0');
    in.read(bytes.data(), std::streamsize(Count));
    return bytes;
}

// The table's four fields and the untouched rest of the loader's copy.
void ExpectPatchedCopy(const std::string& Copy, const std::string& Source, uint32_t Pvd, int32_t Lba) {
    uint32_t sum = 0;
    for (size_t i = 64; i < Source.size(); i += 4) sum += Le32(Source + std::string(4, '\0'), i);
    EXPECT_EQ(Le32(Copy, 8), Pvd);
    EXPECT_EQ(Le32(Copy, 12), uint32_t(Lba));
    EXPECT_EQ(Le32(Copy, 16), uint32_t(Source.size()));
    EXPECT_EQ(Le32(Copy, 20), sum);
    EXPECT_EQ(Copy.substr(24, 40), std::string(40, '\0'));
    EXPECT_EQ(Copy.substr(0, 8), Source.substr(0, 8));
    EXPECT_EQ(Copy.substr(64), Source.substr(64));
}

struct BootStream : ::testing::Test {
    TBurnRig rig;
    const std::string source = rig.files / "src";
    const std::string loader = rig.files / "loader.bin";
    const std::string loaderBytes = Pattern(150000);  // more than two blocks of the cache

    void SetUp() override {
        MakeSourceTree(source);
        WriteFile(loader, loaderBytes);
        rig.burner.Bootable = rig.burner.BootNoEmulation = rig.burner.BootInfoTable = true;
        rig.burner.BootImageFile = loader;
    }
};

TEST_F(BootStream, NormalImageBuildPatchesTheCopyInTheBlock) {
    rig.Fill(source);
    const std::string image = rig.files / "normal.iso";
    TWriteDoneWatch watch(rig.burner);
    ASSERT_EQ(rig.burner.SaveToISOFile(image, false), -1);
    ASSERT_EQ(watch.Wait(120), "");
    ExpectPatchedCopy(BytesAt(image, rig.burner.BootImageLBA, loaderBytes.size()), loaderBytes, 16,
                      rig.burner.BootImageLBA);
    EXPECT_EQ(ReadFile(loader), loaderBytes);

    // The quick save lays the same table over its copy.
    const std::string quick = rig.files / "quick.iso";
    rig.burner.SaveToISOFile(quick, true);
    EXPECT_EQ(BytesAt(quick, rig.burner.BootImageLBA, loaderBytes.size()),
              BytesAt(image, rig.burner.BootImageLBA, loaderBytes.size()));
}

TEST_F(BootStream, BurnPatchesTheCopyOfALoaderThatIsAFileOfTheCompilation) {
    // The loader is one of the burnt files; the entry points at it.
    std::filesystem::rename(loader, source + "/loader.bin");
    rig.burner.BootImageFile = source + "/loader.bin";
    ASSERT_TRUE(rig.Open());
    rig.Insert(vdrive::MediaKind::CdR);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    const TBootFile* boot = rig.burner.BootFiles().empty() ? nullptr : &rig.burner.BootFiles()[0];
    ASSERT_TRUE(boot && boot->Entry);
    EXPECT_EQ(rig.burner.BootImageLBA, rig.burner.FirstFileLBA + boot->Entry->ISOExtent);
    const std::string disc = rig.Dump();
    ExpectPatchedCopy(BytesAt(disc, rig.burner.BootImageLBA, loaderBytes.size()), loaderBytes, 16,
                      rig.burner.BootImageLBA);
    EXPECT_EQ(ReadFile(source + "/loader.bin"), loaderBytes);
}

TEST_F(BootStream, RefusedUefiImageEndsTheBurnBeforeTheDiscIsTouched) {
    WriteFile(rig.files / "efi.img", std::string(65536, 'x'));
    rig.burner.EfiBootable = true;
    rig.burner.EfiBootImageFile = rig.files / "efi.img";
    ASSERT_TRUE(rig.Open());
    rig.Insert(vdrive::MediaKind::DvdRwSequential);
    rig.Fill(source);
    const std::string error = rig.Burn();
    EXPECT_NE(error.find("IS NOT A FAT FILE SYSTEM"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(0x2A).empty());  // no WRITE (10)
    EXPECT_TRUE(rig.Commands(0x04).empty());  // no FORMAT UNIT of the blank DVD-RW

    const std::string image = rig.files / "refused.iso";
    TWriteDoneWatch watch(rig.burner);
    rig.burner.SaveToISOFile(image, false);
    EXPECT_NE(watch.Wait(120).find("IS NOT A FAT FILE SYSTEM"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(image));
}

}  // namespace
}  // namespace kestrel
