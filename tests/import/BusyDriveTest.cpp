// A drive busy with a long operation (another program's write) while a
// session is imported: short spells are waited out, and a drive that stays
// busy is reported busy, never read as a disc without sessions or volume.
#include <gtest/gtest.h>

#include "DiscBuilder.h"
#include "ImportRig.h"
#include "burner/common/Clock.h"

namespace kestrel::test {
namespace {

constexpr const char* kLongWrite = "THE DRIVE IS BUSY: LOGICAL UNIT NOT READY, LONG WRITE IN PROGRESS";

class BusyDrive : public ::testing::Test {
protected:
    TImportRig rig;
    const double scale_ = TimeScale();

    void SetUp() override {
        SetTimeScale(0.001);  // the waits between attempts, not what the test waits for
        TDiscBuilder disc = TDiscBuilder::Primary({FileRec("A.TXT;1", 40, 5)});
        disc.Data(40, "hello");
        disc.Save(rig.work / "disc.iso");
        rig.Insert(TImportRig::kCdDrive, vdrive::MediaKind::CdR, rig.work / "disc.iso", true);
        ASSERT_TRUE(rig.Open(TImportRig::kCdDrive));
    }
    void TearDown() override { SetTimeScale(scale_); }

    bool ImportLast() {
        rig.burner.ClearAll(65535, 8191);
        return rig.burner.ImportDiscSession(-1, nullptr);
    }
    void Knob(const std::string& Key, const std::string& Value) { rig.SetKnob(TImportRig::kCdDrive, Key, Value); }
};

TEST_F(BusyDrive, ShortBusySpellsAreWaitedOutInTheImportAndTheCopy) {
    for (const char* knob : {"busy-count", "long-write-count"}) {
        Knob(knob, "5");
        EXPECT_TRUE(ImportLast()) << knob << "\n" << rig.LogText();
        EXPECT_NE(rig.Find("/A.TXT"), nullptr) << knob;
    }
    Knob("busy-opcode", "28");  // READ (10) only
    Knob("long-write-count", "4");
    EXPECT_TRUE(ImportLast()) << rig.LogText();
    Knob("long-write-count", "4");
    const std::string copy = rig.work / "a.txt";
    EXPECT_TRUE(rig.burner.ExtractFile(rig.Find("/A.TXT"), copy)) << rig.LogText();
    EXPECT_EQ(ReadFile(copy), "hello");
}

TEST_F(BusyDrive, ADriveThatStaysBusyIsReportedBusyNotEmpty) {
    Knob("long-write-count", "100000");
    EXPECT_FALSE(ImportLast());
    EXPECT_TRUE(rig.Logged(std::string(">>> ERROR IMPORTING THE LAST SESSION (") + kLongWrite + ")")) << rig.LogText();
    EXPECT_FALSE(rig.Logged("NO SESSION ON THE DISC"));
}

TEST_F(BusyDrive, ReadsThatStayBusyAreReportedBusyNotAsAMissingVolume) {
    Knob("busy-opcode", "28");
    Knob("busy-count", "100000");
    EXPECT_FALSE(ImportLast());
    EXPECT_TRUE(rig.Logged(">>> ERROR IMPORTING SESSION # 1 (THE DRIVE IS BUSY: TARGET BUSY)")) << rig.LogText();
    EXPECT_FALSE(rig.Logged("ISO IMAGE NOT FOUND"));

    // A copy that meets a drive staying busy fails, saying why.
    Knob("busy-count", "0");
    rig.ClearLog();
    ASSERT_TRUE(ImportLast()) << rig.LogText();
    Knob("long-write-count", "100000");
    EXPECT_FALSE(rig.burner.ExtractFile(rig.Find("/A.TXT"), rig.work / "a.txt"));
    EXPECT_TRUE(rig.Logged(std::string(">>> ERROR EXTRACTING FILE A.TXT: ") + kLongWrite)) << rig.LogText();
}

// The last session asked of a blank disc is named as such, not as "# -1".
TEST_F(BusyDrive, AskingABlankDiscForItsLastSessionSaysSo) {
    TDiscBuilder(1).Save(rig.work / "blank.iso");
    rig.Drive(TImportRig::kCdDrive).Insert(vdrive::Medium::Blank(vdrive::MediaKind::CdR), rig.work / "blank.iso");
    EXPECT_FALSE(ImportLast());
    EXPECT_TRUE(rig.Logged(">>> ERROR IMPORTING THE LAST SESSION (NO SESSION ON THE DISC)")) << rig.LogText();
    EXPECT_FALSE(rig.Logged("-1"));
}

}  // namespace
}  // namespace kestrel::test
