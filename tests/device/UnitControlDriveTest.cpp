#include <gtest/gtest.h>

#include "VirtualRecorder.h"

namespace kestrel::test {
namespace {

TEST(DriveUnit, LoadEjectAndReadiness) {
    TVirtualRecorder recorder;
    auto device = OpenDevice(1);
    EXPECT_TRUE(device->TestUnitReady(5000));
    EXPECT_TRUE(device->WaitForReady(3000, 500));

    ASSERT_TRUE(device->LoadEject(true));
    EXPECT_FALSE(device->TestUnitReady(5000));
    EXPECT_NE(device->LastError.find("NOT READY"), std::string::npos) << device->LastError;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device->WaitForReady(3000, 500)) << "an open tray never gets ready";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));

    ASSERT_TRUE(device->LoadEject(false));
    EXPECT_TRUE(device->WaitForReady(3000, 500));
    EXPECT_TRUE(device->TestUnitReady(5000));
}

TEST(DriveUnit, EmptyDriveIsNotReady) {
    TVirtualRecorder recorder;
    recorder.Drive(0).Eject();
    auto device = OpenDevice(0);
    EXPECT_FALSE(device->TestUnitReady(5000));
    EXPECT_EQ(device->LastASC(), 0x3A);
    EXPECT_FALSE(device->WaitForReady(2000, 500));
}

TEST(DriveUnit, SlowDrivesWaitWithinTheBudgetToo) {
    TVirtualRecorder recorder;
    recorder.AddDrive("cd-writer", {{"product", "UJDA750"}});
    recorder.Drive(2).Eject();
    auto device = OpenDevice(2);
    ASSERT_TRUE(device->Quirks().SlowReadyDrive);
    EXPECT_FALSE(device->WaitForReady(4000, 500));
    recorder.Insert(2, vdrive::MediaKind::CdR);
    EXPECT_TRUE(device->WaitForReady(4000, 500));
}

}  // namespace
}  // namespace kestrel::test
