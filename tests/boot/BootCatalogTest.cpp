// The El Torito boot catalog for each combination of entries, checked field
// by field against the catalog's layout and read back by xorriso and
// isoinfo; where the boot files go in the image.
#include <gtest/gtest.h>

#include <tuple>

#include "BootTestSupport.h"
#include "burner/iso/BootCatalogFields.h"

namespace kestrel::test {

namespace {

using namespace iso::eltorito;

// A FAT12 file system of TotalSectors 512-byte sectors: boot sector only,
// enough for the image checks (an EFI image must be a FAT file system).
std::string FatImage(uint32_t TotalSectors) {
    std::string image(size_t(TotalSectors) * 512, '\0');
    auto put16 = [&](size_t At, uint16_t V) { image[At] = char(V & 0xFF), image[At + 1] = char(V >> 8); };
    image[0] = char(0xEB), image[1] = char(0x3C), image[2] = char(0x90);
    put16(11, 512);  // bytes per sector
    image[13] = 1;   // sectors per cluster
    put16(14, 1);    // reserved sectors
    image[16] = 2;   // FATs
    put16(17, 224);  // root entries
    put16(19, uint16_t(TotalSectors));
    image[21] = char(0xF0);
    put16(22, 9);  // sectors per FAT
    image[510] = char(0x55), image[511] = char(0xAA);
    return image;
}

std::string Entry(const std::string& Catalog, int Index) { return Catalog.substr(size_t(Index) * EntrySize, EntrySize); }

// The validation entry's sixteen little-endian words sum to 0.
bool ChecksumHolds(const std::string& Validation) {
    uint16_t sum = 0;
    for (size_t i = 0; i < EntrySize; i += 2) sum = uint16_t(sum + LE16(Validation, i));
    return sum == 0;
}

}  // namespace

class BootCatalog : public ::testing::Test {
protected:
    void Loader(size_t Bytes) {
        WriteFile(loader, BootProgram() + std::string(Bytes - BootProgram().size(), 'L'));
        image.Bootable = true;
        image.BootNoEmulation = true;
        image.BootImageFile = loader;
    }
    void Efi(uint32_t Sectors) {
        WriteFile(efi, FatImage(Sectors));
        image.EfiBootable = true;
        image.EfiBootImageFile = efi;
    }
    std::string Catalog() {
        image.BuildLayout(true, nullptr);
        image.BuildImageHead(true, nullptr);
        return Sector(image.HeadStream, image.BootCatalogLBA);
    }
    void ExpectValidation(const std::string& Catalog, TPlatform Platform) {
        const std::string v = Entry(Catalog, 0);
        EXPECT_EQ(v[validation::HeaderId], 1);
        EXPECT_EQ(uint8_t(v[validation::Platform]), Platform);
        EXPECT_EQ(v.substr(validation::IdString, 24), "Kestrel CD/DVD Burner" + std::string(3, '\0'));
        EXPECT_EQ(uint8_t(v[validation::Key55]), 0x55);
        EXPECT_EQ(uint8_t(v[validation::KeyAA]), 0xAA);
        EXPECT_TRUE(ChecksumHolds(v));
    }
    // A bootable entry without emulation, loaded at the default segment.
    void ExpectNoEmulationEntry(const std::string& E, uint16_t Units, int32_t Lba) {
        EXPECT_EQ(uint8_t(E[entry::Indicator]), 0x88);
        EXPECT_EQ(E[entry::Media], bmNoEmulation);
        EXPECT_EQ(LE16(E, entry::LoadSegment), 0);  // stands for 07C0h
        EXPECT_EQ(E[entry::SystemType], 0);
        EXPECT_EQ(LE16(E, entry::SectorCount), Units);
        EXPECT_EQ(LE32(E, entry::LoadRba), uint32_t(Lba));
    }

    TTempDir dir;
    const std::string loader = dir / "loader.bin";
    const std::string efi = dir / "efi.img";
    TTestImage image;
};

TEST_F(BootCatalog, NoEmulationLoadsFourUnitsOrTheWholeSmallerFileOrWhatIsAsked) {
    Loader(10000);
    std::string c = Catalog();
    ExpectValidation(c, ptX86);
    ExpectNoEmulationEntry(Entry(c, 1), 4, image.BootImageLBA);
    EXPECT_EQ(c.substr(2 * EntrySize), std::string(2048 - 2 * EntrySize, '\0'));  // no further section
    // Catalog after the directories, the loader right after it.
    EXPECT_EQ(image.BootCatalogLBA, 26);
    EXPECT_EQ(image.BootImageLBA, 27);
    EXPECT_EQ(image.BootImageSectors, 5);

    image.BootLoadSize = 20;  // all of the file's 19.5 units
    EXPECT_EQ(LE16(Entry(Catalog(), 1), entry::SectorCount), 20);
    image.BootLoadSize = 0;
    Loader(1000);
    EXPECT_EQ(LE16(Entry(Catalog(), 1), entry::SectorCount), 2);
}

TEST_F(BootCatalog, UefiOnlyImageMakesTheEfiImageTheDefaultEntry) {
    Efi(2881);  // 1,475,072 bytes: 720.25 sectors
    const std::string c = Catalog();
    ExpectValidation(c, ptEfi);
    ExpectNoEmulationEntry(Entry(c, 1), 2881, image.EfiImageLBA);
    EXPECT_EQ(c.substr(2 * EntrySize), std::string(2048 - 2 * EntrySize, '\0'));
    EXPECT_EQ(image.EfiImageLBA, image.BootCatalogLBA + 1);
    EXPECT_EQ(image.EfiImageSectors, 721);  // padded to whole sectors
    EXPECT_EQ(image.FirstFileLBA, image.EfiImageLBA + 721);
}

TEST_F(BootCatalog, BiosAndUefiEntriesGetAFinalEfiSection) {
    Loader(3000);
    Efi(2880);
    const std::string c = Catalog();
    ExpectValidation(c, ptX86);
    ExpectNoEmulationEntry(Entry(c, 1), 4, image.BootImageLBA);
    const std::string header = Entry(c, 2);
    EXPECT_EQ(uint8_t(header[section::Indicator]), 0x91);
    EXPECT_EQ(uint8_t(header[section::Platform]), ptEfi);
    EXPECT_EQ(LE16(header, section::EntryCount), 1);
    ExpectNoEmulationEntry(Entry(c, 3), 2880, image.EfiImageLBA);
    EXPECT_EQ(c.substr(4 * EntrySize), std::string(2048 - 4 * EntrySize, '\0'));
    // Catalog, BIOS loader, EFI image, then the files.
    EXPECT_EQ(image.BootImageLBA, image.BootCatalogLBA + 1);
    EXPECT_EQ(image.EfiImageLBA, image.BootImageLBA + 2);
    EXPECT_EQ(image.FirstFileLBA, image.EfiImageLBA + 720);
    EXPECT_EQ(image.HeadStream.size(), size_t(image.BootCatalogLBA + 1) * 2048);
}

TEST_F(BootCatalog, EmulatedDisksWithUefiSection) {
    Efi(2880);
    for (const auto& [disk, media] : {std::pair{BootDiskette(), bmDiskette144}, std::pair{BootHardDisk(), bmHardDisk}}) {
        SCOPED_TRACE(int(media));
        WriteFile(loader, disk);
        image.Bootable = true;
        image.BootImageFile = loader;
        const std::string c = Catalog();
        ExpectValidation(c, ptX86);
        const std::string bios = Entry(c, 1);
        EXPECT_EQ(uint8_t(bios[entry::Indicator]), 0x88);
        EXPECT_EQ(bios[entry::Media], media);
        EXPECT_EQ(LE16(bios, entry::LoadSegment), 0);
        EXPECT_EQ(LE16(bios, entry::SectorCount), 1);  // the emulated disk's boot sector
        EXPECT_EQ(LE32(bios, entry::LoadRba), uint32_t(image.BootImageLBA));
        const std::string header = Entry(c, 2);
        EXPECT_EQ(uint8_t(header[section::Indicator]), 0x91);
        EXPECT_EQ(uint8_t(header[section::Platform]), ptEfi);
        EXPECT_EQ(LE16(header, section::EntryCount), 1);
        ExpectNoEmulationEntry(Entry(c, 3), 2880, image.EfiImageLBA);
        EXPECT_EQ(image.EfiImageLBA, image.BootImageLBA + int32_t(disk.size() / 2048));
        EXPECT_EQ(c.substr(4 * EntrySize), std::string(2048 - 4 * EntrySize, '\0'));
    }
}

TEST_F(BootCatalog, BootFilesOfTheCompilationArePointedAtNotCopied) {
    Loader(5000);
    Efi(2880);
    image.Source(image.RootDir, "a.txt", (WriteFile(dir / "a.txt", "a"), dir / "a.txt"));
    image.Source(image.RootDir, "loader.bin", loader);
    image.Source(image.RootDir, "efi.img", efi);
    const std::string c = Catalog();
    // No sectors besides the files' own: the files start where they would
    // without boot files.
    EXPECT_EQ(image.FirstFileLBA, 150);
    EXPECT_EQ(image.HeadStream.size(), size_t(150) * 2048);
    EXPECT_EQ(image.BootImageLBA, image.FirstFileLBA + 1);
    EXPECT_EQ(image.EfiImageLBA, image.FirstFileLBA + 1 + 3);
    ExpectNoEmulationEntry(Entry(c, 1), 4, image.BootImageLBA);
    ExpectNoEmulationEntry(Entry(c, 3), 2880, image.EfiImageLBA);

    // Found by the file, whatever path names it.
    std::filesystem::create_symlink(loader, dir / "link.bin");
    image.BootImageFile = dir / "link.bin";
    Catalog();
    EXPECT_EQ(image.BootImageLBA, image.FirstFileLBA + 1);
}

TEST_F(BootCatalog, PeersReadEveryCombination) {
    for (const char* tool : {"xorriso", "isoinfo"})
        if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    const std::string iso = dir / "boot.iso";
    const auto report = [&] {
        image.QuickSaveToISOFile(iso);
        return RunTool("xorriso -indev " + Quote(iso) + " -report_el_torito plain").Output;
    };
    // "El Torito boot img :   1  BIOS  y   none  0x0000  0x00      4          27"
    Loader(10000);
    image.BootLoadSize = 8;
    std::string r = report();
    std::string bios = LineWith(r, "El Torito boot img :   1");
    EXPECT_NE(bios.find("BIOS  y   none  0x0000  0x00      8"), std::string::npos) << r;
    EXPECT_TRUE(bios.ends_with(" " + std::to_string(image.BootImageLBA))) << r;
    std::string info = RunTool("isoinfo -d -i " + Quote(iso)).Output;
    EXPECT_NE(info.find("Arch 0 (x86)"), std::string::npos) << info;
    EXPECT_NE(info.find("Boot media 0 (No Emulation Boot)"), std::string::npos) << info;
    EXPECT_NE(info.find("Nsect 8"), std::string::npos) << info;

    Efi(2880);
    r = report();
    bios = LineWith(r, "El Torito boot img :   1");
    const std::string uefi = LineWith(r, "El Torito boot img :   2");
    EXPECT_NE(bios.find("BIOS  y   none"), std::string::npos) << r;
    EXPECT_NE(uefi.find("UEFI  y   none  0x0000  0x00   2880"), std::string::npos) << r;
    EXPECT_TRUE(uefi.ends_with(" " + std::to_string(image.EfiImageLBA))) << r;

    // Emulated disks before the UEFI entry; isoinfo shows the default entry.
    for (const auto& [disk, xorrisoEmulation, isoinfoMedia] :
         {std::tuple{BootDiskette(), "BIOS  y  fd1.4", "Boot media 2 (1.44MB Floppy)"},
          std::tuple{BootHardDisk(), "BIOS  y     hd", "Boot media 4 (Hard Disk Emulation)"}}) {
        WriteFile(loader, disk);
        image.BootNoEmulation = false;
        image.BootLoadSize = 0;
        r = report();
        bios = LineWith(r, "El Torito boot img :   1");
        EXPECT_NE(bios.find(std::string(xorrisoEmulation) + "  0x0000  0x00      1"), std::string::npos) << r;
        EXPECT_TRUE(bios.ends_with(" " + std::to_string(image.BootImageLBA))) << r;
        EXPECT_NE(LineWith(r, "El Torito boot img :   2").find("UEFI  y   none"), std::string::npos) << r;
        info = RunTool("isoinfo -d -i " + Quote(iso)).Output;
        EXPECT_NE(info.find("Arch 0 (x86)"), std::string::npos) << info;
        EXPECT_NE(info.find(isoinfoMedia), std::string::npos) << info;
        EXPECT_NE(info.find("Nsect 1\n"), std::string::npos) << info;
    }

    image.Bootable = false;
    r = report();
    EXPECT_NE(LineWith(r, "El Torito boot img :   1").find("UEFI  y   none"), std::string::npos) << r;
    EXPECT_EQ(LineWith(r, "El Torito boot img :   2"), "") << r;
    info = RunTool("isoinfo -d -i " + Quote(iso)).Output;
    EXPECT_NE(info.find("Arch 239"), std::string::npos) << info;
    EXPECT_NE(info.find("Boot media 0 (No Emulation Boot)"), std::string::npos) << info;
    EXPECT_NE(info.find("Nsect B40"), std::string::npos) << info;  // 2880, printed in hex
}

}  // namespace kestrel::test
