// Keeping a drive to one write: mounted discs and claims within the process.
#include <gtest/gtest.h>

#include "burner/device/MountTable.h"
#include "burner/engine/DriveClaim.h"
#include "support/TestSupport.h"

namespace kestrel {
namespace {

using test::TTempDir;
using test::WriteFile;

TEST(DriveClaim, MountedNodeIsFoundByItsNameOrByALinkToIt) {
    TTempDir dir;
    const std::string node = dir / "sr0", link = dir / "cdrom", mounts = dir / "mounts";
    WriteFile(node, "");
    ASSERT_EQ(symlink(node.c_str(), link.c_str()), 0);
    WriteFile(mounts, "proc /proc proc rw 0 0\n" + link + " /media/my\\040disc iso9660 ro 0 0\n");
    EXPECT_TRUE(IsDeviceMounted(node, mounts));
    EXPECT_FALSE(IsDeviceMounted(dir / "sr1", mounts));
    // The library's drives have names, not nodes: never mounted.
    EXPECT_FALSE(IsDeviceMounted("vdrive0", mounts));
}

TEST(DriveClaim, MountSourcesWithEscapedBlanksCompareUnescaped) {
    TTempDir dir;
    const std::string node = dir / "my drive", mounts = dir / "mounts";
    WriteFile(node, "");
    std::string escaped = node;
    escaped.replace(escaped.find(' '), 1, "\\040");
    WriteFile(mounts, escaped + " /mnt iso9660 ro 0 0\n");
    EXPECT_TRUE(IsDeviceMounted(node, mounts));
}

TEST(DriveClaim, RefusalNamesTheFolderTheDiscIsMountedOnAndTheCommandThatFreesIt) {
    TTempDir dir;
    const std::string node = dir / "sr0", mounts = dir / "mounts";
    WriteFile(node, "");
    WriteFile(mounts, "proc /proc proc rw 0 0\n" + node + " /media/me/My\\040Disc iso9660 ro 0 0\n");
    const auto mountPoint = FindMountPoint(node, mounts);
    ASSERT_TRUE(mountPoint.has_value());
    EXPECT_EQ(*mountPoint, "/media/me/My Disc");
    EXPECT_EQ(MountedDiscText(node, *mountPoint), "THE DISC IN " + node +
                                                      " IS MOUNTED ON /media/me/My Disc: UNMOUNT IT BEFORE WRITING "
                                                      "(umount '/media/me/My Disc')");
    EXPECT_EQ(MountedDiscText("/dev/sr0", "/media/cd"),
              "THE DISC IN /dev/sr0 IS MOUNTED ON /media/cd: UNMOUNT IT BEFORE WRITING (umount /media/cd)");
    EXPECT_FALSE(FindMountPoint(dir / "sr1", mounts).has_value());
    EXPECT_FALSE(FindMountPoint("vdrive0", mounts).has_value());
}

TEST(DriveClaim, ADriveIsClaimedByOneWriteAtATime) {
    EXPECT_TRUE(ClaimDrive("drive-a"));
    EXPECT_FALSE(ClaimDrive("drive-a"));
    EXPECT_TRUE(ClaimDrive("drive-b"));
    ReleaseDriveClaim("drive-a");
    EXPECT_TRUE(ClaimDrive("drive-a"));
    ReleaseDriveClaim("drive-a");
    ReleaseDriveClaim("drive-b");
}

}  // namespace
}  // namespace kestrel
