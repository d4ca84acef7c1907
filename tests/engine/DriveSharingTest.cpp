// Two programs on one drive, the burn on the recorder's library: another
// program's burn or erase, through the library or through the pass-through
// layer, is refused while the burn holds the drive, and the burn's files
// stay whole.
#include "DriveSharing.h"

#include "kestrel/mmc.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

struct DriveSharing : ::testing::TestWithParam<TProgramLayer> {
    TBurnRig rig;
    std::string source = rig.files / "src";
    std::string other = rig.files / "other";
    void SetUp() override {
        MakeSourceTree(source);
        WriteFile(other + "/second.txt", "the second program's file\n");
        ASSERT_TRUE(rig.Open());
        ASSERT_EQ(rig.burner.AccessLayerName(), DEFAULT_ACCESS_LIBRARY);
    }
};

TEST_P(DriveSharing, ASecondBurnIsRefusedAndTheFirstBurnsFilesAreWhole) {
    rig.Insert(MediaKind::DvdPlusR);
    rig.Fill(source);
    TCommandResult second;
    const std::string error =
        BurnWhile(rig, [&] { return RunSecondProgram(GetParam(), "burn " + Quote(other + "/")); }, second);
    ASSERT_EQ(error, "");
    ExpectRefusedAsInUse(second, GetParam());
    ExpectDiscHolds(rig, source, rig.files / "out");
}

TEST_P(DriveSharing, AnEraseDuringTheBurnIsRefusedBeforeTheDiscIsTouched) {
    rig.Insert(MediaKind::CdRw);
    rig.Fill(source);
    rig.ClearTrace();
    TCommandResult second;
    ASSERT_EQ(BurnWhile(rig, [&] { return RunSecondProgram(GetParam(), "erase --quick"); }, second), "");
    ExpectRefusedAsInUse(second, GetParam());
    EXPECT_TRUE(rig.Commands(mmc::op::kBlank).empty());
    ExpectDiscHolds(rig, source, rig.files / "out");
}

TEST_P(DriveSharing, TheDriveIsFreeForTheOtherProgramOnceTheBurnEnded) {
    rig.Insert(MediaKind::CdRw);
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    const TCommandResult erase = RunSecondProgram(GetParam(), "erase --quick");
    EXPECT_EQ(erase.ExitCode, 0) << erase.Output;
}

INSTANTIATE_TEST_SUITE_P(SecondProgram, DriveSharing,
                         ::testing::Values(TProgramLayer::Library, TProgramLayer::PassThrough),
                         [](const auto& Info) { return LayerName(Info.param); });

// An erase holds the drive as a burn does: a burn started meanwhile by
// another program is refused and the erase goes on.
using DriveSharingDuringErase = DriveSharing;

TEST_P(DriveSharingDuringErase, ABurnIsRefused) {
    rig.Drive().Insert(vdrive::Medium::WithImage(MediaKind::CdRw, 2000, true));
    rig.SetKnob("time-scale", "100");  // the blank lasts until a new disc goes in
    ASSERT_TRUE(rig.burner.EraseDisc(false));
    ASSERT_TRUE(rig.burner.Erasing());
    ExpectRefusedAsInUse(RunSecondProgram(GetParam(), "burn " + Quote(other + "/")), GetParam());
    EXPECT_TRUE(rig.Commands(mmc::op::kWrite10).empty());
    rig.SetKnob("time-scale", "0");
    rig.Insert(MediaKind::CdRw);  // ends the blank
    rig.burner.WaitForEraseEnd();
    EXPECT_FALSE(rig.burner.Erasing());
}

INSTANTIATE_TEST_SUITE_P(SecondProgram, DriveSharingDuringErase,
                         ::testing::Values(TProgramLayer::Library, TProgramLayer::PassThrough),
                         [](const auto& Info) { return LayerName(Info.param); });

}  // namespace
}  // namespace kestrel
