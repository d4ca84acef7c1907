// Reading a burnt session back through the pass-through layer on the
// recorder's SG_IO interposer: the same READ (10) blocks reach the drive
// node, and a block the drive recorded wrongly is named by its file.
// Without the interposer loaded the test skips; ctest runs it under it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "BurnRig.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

TEST(VerifyPassThrough, ReadsTheSessionBackAndNamesTheFileTheDriveRecordedWrongly) {
    if (!InterposerLoaded()) GTEST_SKIP() << "needs the SG_IO interposer";
    TBurnRig rig;
    const std::string source = rig.files / "src";
    MakeSourceTree(source);
    rig.Insert(MediaKind::DvdPlusR);
    ASSERT_NO_FATAL_FAILURE(rig.OpenThroughPassThrough());
    rig.burner.VerifyAfterWrite = true;
    rig.Fill(source);
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_EQ(rig.burner.LastVerification().Outcome, TVerifyOutcome::Verified);

    rig.Insert(MediaKind::DvdPlusR);
    rig.Fill(source);
    rig.burner.BuildLayout(true, nullptr);
    int64_t bad = -1;
    for (const auto& entry : rig.burner.FileTable)
        if (entry->SourcePath == source + "/data/blob.bin") bad = rig.burner.FirstFileLBA + entry->ISOExtent + 9;
    ASSERT_GT(bad, 0);
    rig.SetKnob("corrupt-write-lba", std::to_string(bad));
    rig.ClearTrace();
    EXPECT_EQ(rig.Burn(), "VERIFICATION FAILED, THE DISC DOES NOT HOLD WHAT WAS WRITTEN: \"" + source +
                              "/data/blob.bin\" differs (sector " + std::to_string(bad) + ")");
    EXPECT_GE(rig.Commands(mmc::op::kRead10).size(), size_t(rig.burner.ImageSectors() / 32));
}

}  // namespace
}  // namespace kestrel
