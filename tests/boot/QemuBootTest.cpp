// Real boots: images built here started in QEMU. The BIOS boots a small
// program that writes a line to the serial port from an emulated diskette,
// an emulated hard disk and a loader without emulation (with its boot
// information table); the UEFI firmware starts a packaged EFI boot loader
// from the image's EFI system partition. Each run ends as soon as the
// awaited text shows on the serial console.
#include <gtest/gtest.h>

#include "BootTestSupport.h"

namespace kestrel::test {

namespace {

// Bounds for a boot that never shows its line; a good boot ends at once
// (about a second with the BIOS, twenty with UEFI firmware without KVM).
constexpr int BiosBudgetSeconds = 30;
constexpr int UefiBudgetSeconds = 90;

// The UEFI firmware and the packaged EFI boot loader (its menu is the
// banner looked for).
const char* const UefiFirmware = "/usr/share/ovmf/OVMF.fd";
const char* const EfiLoader = "/usr/lib/systemd/boot/efi/systemd-bootx64.efi";
const char* const EfiMenuTitle = "Kestrel UEFI boot check";

}  // namespace

class QemuBoot : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveQemu()) GTEST_SKIP() << "qemu-system-x86_64 is not installed";
        WriteFile(dir / "src/readme.txt", "a file beside the boot files");
        image.Source(image.RootDir, "readme.txt", dir / "src/readme.txt");
    }

    TQemuRun BootBios() {
        image.QuickSaveToISOFile(iso);
        return BootInQemu({"-drive", "file=" + iso + ",media=cdrom,format=raw,readonly=on", "-boot", "d"},
                          BootProgramLine, BiosBudgetSeconds);
    }

    TTempDir dir;
    const std::string iso = dir / "boot.iso";
    TTestImage image;
};

TEST_F(QemuBoot, BiosBootsAnEmulatedDiskette) {
    WriteFile(dir / "floppy.img", BootDiskette());
    image.Bootable = true;
    image.BootImageFile = dir / "floppy.img";
    const TQemuRun run = BootBios();
    ASSERT_TRUE(run.Started);
    EXPECT_TRUE(run.Seen) << run.Output;
}

TEST_F(QemuBoot, BiosBootsAnEmulatedHardDisk) {
    WriteFile(dir / "disk.img", BootHardDisk());
    image.Bootable = true;
    image.BootImageFile = dir / "disk.img";
    const TQemuRun run = BootBios();
    ASSERT_TRUE(run.Started);
    EXPECT_TRUE(run.Seen) << run.Output;
}

TEST_F(QemuBoot, BiosBootsALoaderWithoutEmulation) {
    WriteFile(dir / "loader.bin", BootProgram());
    image.Bootable = image.BootNoEmulation = image.BootInfoTable = true;
    image.BootImageFile = dir / "loader.bin";
    const TQemuRun run = BootBios();
    ASSERT_TRUE(run.Started);
    EXPECT_TRUE(run.Seen) << run.Output;
}

TEST_F(QemuBoot, UefiStartsThePackagedLoaderFromTheEfiSystemPartition) {
    for (const char* needed : {UefiFirmware, EfiLoader})
        if (!std::filesystem::exists(needed)) GTEST_SKIP() << needed << " is missing: run scripts/setup-deps.sh";
    for (const char* tool : {"mkfs.fat", "mmd", "mcopy"})
        if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is missing: run scripts/setup-deps.sh";
    WriteFile(dir / "loader.conf", "timeout menu-force\n");
    // The menu lists no entry that starts the loader itself: the entry
    // names a copy.
    WriteFile(dir / "kestrel.conf", std::string("title ") + EfiMenuTitle + "\nefi /EFI/kestrel/check.efi\n");
    std::string why;
    ASSERT_TRUE(MakeEfiPartition(dir / "efi.img", 1440,
                                 {{"/EFI/BOOT/BOOTX64.EFI", EfiLoader},
                                  {"/EFI/kestrel/check.efi", EfiLoader},
                                  {"/loader/loader.conf", dir / "loader.conf"},
                                  {"/loader/entries/kestrel.conf", dir / "kestrel.conf"}},
                                 why))
        << why;
    // A BIOS entry beside it, as on a disc that boots both ways.
    WriteFile(dir / "loader.bin", BootProgram());
    image.Bootable = image.BootNoEmulation = true;
    image.BootImageFile = dir / "loader.bin";
    image.EfiBootable = true;
    image.EfiBootImageFile = dir / "efi.img";
    image.QuickSaveToISOFile(iso);
    const TQemuRun run = BootInQemu({"-bios", UefiFirmware, "-drive", "file=" + iso + ",media=cdrom,format=raw,readonly=on"},
                                    EfiMenuTitle, UefiBudgetSeconds);
    ASSERT_TRUE(run.Started);
    EXPECT_TRUE(run.Seen) << run.Output;
}

}  // namespace kestrel::test
