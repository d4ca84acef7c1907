// The boot information table in a loader's copy on the image (never in its
// source), and the boot files the image refuses.
#include <gtest/gtest.h>

#include "BootTestSupport.h"
#include "burner/iso/BootCatalogFields.h"

namespace kestrel::test {

namespace {

using namespace iso::eltorito;

// Bytes that differ from sector to sector, so a misplaced copy shows.
std::string Pattern(size_t Bytes) {
    std::string s(Bytes, '\0');
    for (size_t i = 0; i < Bytes; ++i) s[i] = char((i * 7 + i / 2048) & 0xFF);
    return s;
}

// The boot information table's checksum, computed here on its own terms:
// the sum of the file's little-endian 32-bit words from byte 64.
uint32_t WordSum(std::string File) {
    File.resize((File.size() + 3) / 4 * 4, '\0');
    uint32_t sum = 0;
    for (size_t i = infotable::ChecksumFrom; i < File.size(); i += 4) sum += LE32(File, i);
    return sum;
}

// A FAT boot sector of the given geometry in an image of TotalSectors.
std::string FatBootSector(uint16_t SectorBytes, uint8_t PerCluster, uint16_t RootEntries, uint32_t TotalSectors,
                          uint32_t FatSectors) {
    std::string s(512, '\0');
    const auto put16 = [&](size_t At, uint32_t V) { s[At] = char(V & 0xFF), s[At + 1] = char((V >> 8) & 0xFF); };
    const auto put32 = [&](size_t At, uint32_t V) { put16(At, V & 0xFFFF), put16(At + 2, V >> 16); };
    put16(11, SectorBytes);
    s[13] = char(PerCluster);
    put16(14, RootEntries ? 1 : 32);
    s[16] = 2;
    put16(17, RootEntries);
    if (TotalSectors < 65536) put16(19, TotalSectors);
    else put32(32, TotalSectors);
    if (RootEntries) put16(22, FatSectors);
    else put32(36, FatSectors);
    s[510] = char(0x55), s[511] = char(0xAA);
    return s;
}

}  // namespace

class BootFiles : public ::testing::Test {
protected:
    void Loader(const std::string& Bytes) {
        WriteFile(loader, Bytes);
        image.Bootable = true;
        image.BootNoEmulation = true;
        image.BootInfoTable = true;
        image.BootImageFile = loader;
    }
    std::string CopyAt(int32_t Lba, size_t Bytes) { return ReadBytes(iso, int64_t(Lba) * 2048, Bytes); }

    void ExpectTable(const std::string& Copy, const std::string& Source, int32_t Lba) {
        EXPECT_EQ(LE32(Copy, infotable::PrimaryVolumeLba), 16u);
        EXPECT_EQ(LE32(Copy, infotable::FileLba), uint32_t(Lba));
        EXPECT_EQ(LE32(Copy, infotable::FileLength), uint32_t(Source.size()));
        EXPECT_EQ(LE32(Copy, infotable::Checksum), WordSum(Source));
        EXPECT_EQ(Copy.substr(24, 40), std::string(40, '\0'));
        // Everything else is the source's.
        EXPECT_EQ(Copy.substr(0, 8), Source.substr(0, 8));
        EXPECT_EQ(Copy.substr(64), Source.substr(64));
    }

    TTempDir dir;
    const std::string loader = dir / "loader.bin";
    const std::string iso = dir / "boot.iso";
    TTestImage image;
};

TEST_F(BootFiles, InfoTableGoesIntoTheCopyNeverIntoTheSource) {
    const std::string source = Pattern(5003);  // a length that ends inside a word
    Loader(source);
    image.QuickSaveToISOFile(iso);
    ExpectTable(CopyAt(image.BootImageLBA, source.size()), source, image.BootImageLBA);
    EXPECT_EQ(CopyAt(image.BootImageLBA, 3 * 2048).substr(source.size()), std::string(3 * 2048 - 5003, '\0'));
    EXPECT_EQ(ReadFile(loader), source);

    // Without the table the copy is the source's bytes.
    image.BootInfoTable = false;
    image.QuickSaveToISOFile(iso);
    EXPECT_EQ(CopyAt(image.BootImageLBA, source.size()), source);
}

TEST_F(BootFiles, InfoTableOfALoaderThatIsAFileOfTheCompilation) {
    const std::string source = Pattern(70000);  // more than one copy buffer of the writer
    Loader(source);
    image.Source(image.RootDir, "first.txt", (WriteFile(dir / "first.txt", "first"), dir / "first.txt"));
    image.Source(image.RootDir, "loader.bin", loader);
    image.QuickSaveToISOFile(iso);
    ASSERT_EQ(image.BootImageLBA, image.FirstFileLBA + 1);
    ExpectTable(CopyAt(image.BootImageLBA, source.size()), source, image.BootImageLBA);
    EXPECT_EQ(ReadFile(loader), source);
    if (!HaveProgram("xorriso")) return;
    // The file in the tree is that same patched copy.
    RunTool("xorriso -osirrox on -joliet on -indev " + Quote(iso) + " -extract /loader.bin " + Quote(dir / "out.bin"));
    EXPECT_EQ(ReadFile(dir / "out.bin"), CopyAt(image.BootImageLBA, source.size()));
}

TEST_F(BootFiles, InfoTableOfALaterSessionNamesThatSessionsVolume) {
    // A session that starts at sector 1000 of a disc.
    struct TLaterSession : TTestImage {
        bool LayoutDiscStart(TDEntry*) override {
            ImageStartLBA = 1000;
            return true;
        }
    } session;
    WriteFile(loader, Pattern(2048));
    session.Bootable = session.BootNoEmulation = session.BootInfoTable = true;
    session.BootImageFile = loader;
    session.BuildLayout(false, nullptr);
    ASSERT_EQ(session.BootFiles().size(), 1u);
    const TBytePatch& table = session.BootFiles()[0].Patch;
    ASSERT_EQ(table.Offset, 8);
    ASSERT_EQ(table.Bytes.size(), 56u);
    const std::string bytes(table.Bytes.begin(), table.Bytes.end());
    EXPECT_EQ(LE32(bytes, 0), 1016u);
    EXPECT_EQ(LE32(bytes, 4), uint32_t(session.BootImageLBA));
    EXPECT_EQ(session.BootImageLBA, 1027);
}

TEST_F(BootFiles, RefusedBootFilesLeaveNoImage) {
    const auto refused = [&](const std::string& Expected) {
        std::string what;
        try {
            image.QuickSaveToISOFile(iso);
        } catch (const TBootRefusal& e) {
            what = e.what();
        }
        EXPECT_NE(what.find(Expected), std::string::npos) << what;
        EXPECT_FALSE(std::filesystem::exists(iso)) << Expected;
    };
    // A load size past the file's last 512 bytes.
    Loader(Pattern(1000));
    image.BootInfoTable = false;
    image.BootLoadSize = 3;
    refused("THE BOOT LOAD SIZE OF 3 SECTORS (1536 BYTES) IS LARGER THAN THE BOOT FILE");
    image.BootLoadSize = 2;
    EXPECT_NO_THROW(image.BuildLayout(true, nullptr));
    image.BootLoadSize = 0;

    // A table on a file that cannot hold it.
    Loader(Pattern(63));
    refused("IS TOO SHORT FOR A BOOT INFORMATION TABLE");
    Loader(Pattern(64));
    EXPECT_NO_THROW(image.BuildLayout(true, nullptr));
    image.Bootable = false;

    // UEFI images that are no FAT file system.
    const std::string efi = dir / "efi.img";
    image.EfiBootable = true;
    image.EfiBootImageFile = efi;
    WriteFile(efi, std::string(1474560, '\0'));
    refused("IS NOT A FAT FILE SYSTEM: its boot sector lacks the 55AA signature");
    std::string noBpb(1474560, '\0');
    noBpb[510] = char(0x55), noBpb[511] = char(0xAA);
    WriteFile(efi, noBpb);
    refused("IS NOT A FAT FILE SYSTEM: its boot sector holds no valid FAT parameter block");
    WriteFile(efi, FatBootSector(512, 1, 224, 2880, 9) + std::string(1000 * 512, '\0'));
    refused("IS NOT A FAT FILE SYSTEM: the file is shorter than the file system");
    WriteFile(efi, "tiny");
    refused("IS NOT A FAT FILE SYSTEM: it is shorter than a boot sector");
}

TEST_F(BootFiles, FatTypeFollowsTheClusterCount) {
    std::string why;
    const auto type = [&](const std::string& Sector, uint32_t Sectors) {
        return FatTypeOf(reinterpret_cast<const uint8_t*>(Sector.data()), int64_t(Sectors) * 512, why);
    };
    EXPECT_EQ(type(FatBootSector(512, 1, 224, 2880, 9), 2880), 12);      // a 1.44 MB diskette
    EXPECT_EQ(type(FatBootSector(512, 4, 512, 65536, 64), 65536), 16);   // 32 MiB
    EXPECT_EQ(type(FatBootSector(512, 1, 0, 140000, 1100), 140000), 32);
    // The same parameters with clusters just below and at the FAT16 limit.
    EXPECT_EQ(type(FatBootSector(512, 1, 512, 1 + 2 * 20 + 32 + 4084, 20), 5000), 12);
    EXPECT_EQ(type(FatBootSector(512, 1, 512, 1 + 2 * 20 + 32 + 4085, 20), 5000), 16);
    EXPECT_EQ(type(FatBootSector(500, 1, 224, 2880, 9), 2880), 0);  // no power of two
    EXPECT_NE(why.find("no valid FAT parameter block"), std::string::npos);
}

TEST_F(BootFiles, MissingUefiImageIsLoggedAndLeftOut) {
    image.EfiBootable = true;
    image.EfiBootImageFile = dir / "gone.img";
    image.BuildLayout(true, nullptr);
    EXPECT_FALSE(image.HasBootRecord());
    EXPECT_TRUE(image.Logged("UEFI BOOT IMAGE NOT FOUND")) << image.Log.size();
}

}  // namespace kestrel::test
