// The boot options of kestrel-cli build-iso through the real binary: the
// entries they make, read back by xorriso, their contradictions, and the
// refusals that leave no image behind.
#include <gtest/gtest.h>

#include "BootTestSupport.h"

namespace kestrel::test {

class BootCli : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir / "src/readme.txt", "readme");
        WriteFile(loader, BootProgram() + std::string(3000, 'L'));
        WriteFile(floppy, BootDiskette());
    }
    TRunResult Cli(const std::string& Args) {
        return RunTool(std::string(KESTREL_BIN_DIR) + "/kestrel-cli build-iso -o " + Quote(iso) + " " + Args + " " +
                       Quote(dir / "src"));
    }
    std::string Report() { return RunTool("xorriso -indev " + Quote(iso) + " -report_el_torito plain").Output; }
    // A FAT file system made by mkfs.fat, when it is installed.
    bool MakeFat() {
        std::string why;
        return MakeEfiPartition(efi, 1440, {}, why);
    }

    TTempDir dir;
    const std::string iso = dir / "out.iso";
    const std::string loader = dir / "loader.bin";
    const std::string floppy = dir / "floppy.img";
    const std::string efi = dir / "efi.img";
};

TEST_F(BootCli, EveryCombinationOfOneBiosEntryAndAUefiEntry) {
    if (!HaveProgram("xorriso") || !HaveProgram("mkfs.fat")) GTEST_SKIP() << "xorriso or mkfs.fat is missing";
    ASSERT_TRUE(MakeFat());
    TRunResult r = Cli("--quick --boot-no-emulation " + Quote(loader) + " --boot-load-size 6 --boot-info-table");
    ASSERT_EQ(r.Status, 0) << r.Output;
    std::string report = Report();
    EXPECT_NE(LineWith(report, "boot img :   1").find("BIOS  y   none  0x0000  0x00      6"), std::string::npos)
        << report;
    EXPECT_EQ(LineWith(report, "boot img :   2"), "") << report;
    // The table went into the copy: the file length sits at byte 16.
    const std::string lba = LineWith(report, "boot img :   1").substr(LineWith(report, "boot img :   1").rfind(' ') + 1);
    EXPECT_EQ(LE32(ReadBytes(iso, std::stoll(lba) * 2048, 64), 16), BootProgram().size() + 3000);

    r = Cli("--boot " + Quote(floppy) + " --efi-boot " + Quote(efi));
    ASSERT_EQ(r.Status, 0) << r.Output;
    report = Report();
    EXPECT_NE(LineWith(report, "boot img :   1").find("BIOS  y  fd1.4"), std::string::npos) << report;
    EXPECT_NE(LineWith(report, "boot img :   2").find("UEFI  y   none"), std::string::npos) << report;

    r = Cli("--quick --boot-no-emulation " + Quote(loader) + " --efi-boot " + Quote(efi));
    ASSERT_EQ(r.Status, 0) << r.Output;
    report = Report();
    EXPECT_NE(LineWith(report, "boot img :   1").find("BIOS  y   none  0x0000  0x00      4"), std::string::npos)
        << report;
    EXPECT_NE(LineWith(report, "boot img :   2").find("UEFI  y   none"), std::string::npos) << report;

    r = Cli("--efi-boot " + Quote(efi));
    ASSERT_EQ(r.Status, 0) << r.Output;
    report = Report();
    EXPECT_NE(LineWith(report, "boot img :   1").find("UEFI  y   none"), std::string::npos) << report;
}

TEST_F(BootCli, ContradictingOptionsAreUsageErrors) {
    const auto usage = [&](const std::string& Args, const std::string& Expected) {
        const TRunResult r = Cli(Args);
        EXPECT_NE(r.Status, 0) << Args;
        EXPECT_NE(r.Output.find(Expected), std::string::npos) << r.Output;
        EXPECT_NE(r.Output.find("Usage: kestrel-cli build-iso"), std::string::npos) << r.Output;
        EXPECT_FALSE(std::filesystem::exists(iso)) << Args;
    };
    usage("--boot " + Quote(floppy) + " --boot-no-emulation " + Quote(loader), "choose one");
    usage("--boot " + Quote(floppy) + " --boot-info-table", "--boot-info-table belongs to --boot-no-emulation");
    usage("--boot-load-size 4", "--boot-load-size belongs to --boot-no-emulation");
    usage("--boot-no-emulation " + Quote(loader) + " --boot-load-size 0", "takes 1..65535");
    usage("--boot-no-emulation " + Quote(loader) + " --boot-load-size 65536", "takes 1..65535");
    usage("--boot-no-emulation " + Quote(loader) + " --boot-load-size four", "takes a whole number");
}

TEST_F(BootCli, RefusedBootFilesWriteNoImage) {
    const auto refused = [&](const std::string& Args, const std::string& Expected) {
        for (const char* way : {"--quick ", ""}) {
            const TRunResult r = Cli(way + Args);
            EXPECT_EQ(r.Status, 1) << Args;
            EXPECT_NE(r.Output.find(Expected), std::string::npos) << r.Output;
            EXPECT_FALSE(std::filesystem::exists(iso)) << way << Args;
        }
    };
    refused("--boot-no-emulation " + Quote(loader) + " --boot-load-size 8", "IS LARGER THAN THE BOOT FILE");
    WriteFile(dir / "short.bin", std::string(40, 'x'));
    refused("--boot-no-emulation " + Quote(dir / "short.bin") + " --boot-info-table",
            "TOO SHORT FOR A BOOT INFORMATION TABLE");
    refused("--efi-boot " + Quote(floppy), "IS NOT A FAT FILE SYSTEM");  // a boot sector, but no FAT
    refused("--efi-boot " + Quote(dir / "none.img"), "is not a readable file");
}

}  // namespace kestrel::test
