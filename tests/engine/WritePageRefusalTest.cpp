// Drives that refuse the write parameters page (05h) on media that do not
// use it: there the burn goes on and the disc is closed; on media that do
// use it the refusal stops the burn before any data is written.
#include "BurnRig.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

// The recorder's drive refuses MODE SELECT of page 05h on Media.
void RefuseWritePageOn(TBurnRig& Rig, const std::string& Media) {
    auto model = Rig.Drive().Model();
    model.Set("refuses-write-page", Media);
    Rig.Drive().SetModel(model);
}

size_t RefusedModeSelects(TBurnRig& Rig) {
    size_t refused = 0;
    for (const auto& command : Rig.Commands(mmc::op::kModeSelect10)) refused += command.Status != 0;
    return refused;
}

struct TMediumCase {
    MediaKind Kind;
    const char* Name;
};

void PrintTo(const TMediumCase& Case, std::ostream* Out) { *Out << Case.Name; }

class WritePageRefusal : public ::testing::TestWithParam<TMediumCase> {
protected:
    TBurnRig rig;
    std::string source = rig.files / "src";
    void SetUp() override {
        MakeSourceTree(source);
        rig.Insert(GetParam().Kind);
        ASSERT_TRUE(rig.Open());
        rig.Fill(source);
        rig.ClearTrace();
    }
};

using WritePageRefusedWhereUnused = WritePageRefusal;
using WritePageRefusedWhereNeeded = WritePageRefusal;

TEST_P(WritePageRefusedWhereUnused, TheBurnGoesOnAndClosesTheDisc) {
    RefuseWritePageOn(rig, "dvd+r,dvd+rw,dvd+r-dl,dvd-ram");
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_GE(RefusedModeSelects(rig), 2u) << "refused before the data and at closing";
    EXPECT_TRUE(rig.Logged("THE DRIVE REFUSED THE WRITE PARAMETERS"));
    const auto closes = rig.Commands(mmc::op::kCloseTrackSession);
    ASSERT_FALSE(closes.empty());
    for (const auto& close : closes) EXPECT_EQ(close.Status, 0);
    const auto medium = rig.Drive().State().medium;
    ASSERT_TRUE(medium);
    if (GetParam().Kind != MediaKind::DvdPlusRw) {
        EXPECT_EQ(medium->closedSessions, 1u);
    }
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    const std::string out = rig.files / "out";
    ASSERT_EQ(ExtractWithXorriso(rig.Dump(), out), 0);
    EXPECT_TRUE(SameTree(source, out));
}

TEST_P(WritePageRefusedWhereNeeded, TheBurnFailsBeforeAnyDataIsWritten) {
    RefuseWritePageOn(rig, "cd-r,dvd-r");
    const std::string error = rig.Burn();
    EXPECT_NE(error.find("CAN'T SET THE WRITE PARAMETERS"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(mmc::op::kWrite10).empty());
    EXPECT_TRUE(rig.Commands(mmc::op::kCloseTrackSession).empty());
}

auto CaseName = [](const auto& Info) { return std::string(Info.param.Name); };

INSTANTIATE_TEST_SUITE_P(Media, WritePageRefusedWhereUnused,
                         ::testing::Values(TMediumCase{MediaKind::DvdPlusR, "DvdPlusR"},
                                           TMediumCase{MediaKind::DvdPlusRw, "DvdPlusRw"},
                                           TMediumCase{MediaKind::DvdPlusRDl, "DvdPlusRDl"}),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Media, WritePageRefusedWhereNeeded,
                         ::testing::Values(TMediumCase{MediaKind::CdR, "CdR"}, TMediumCase{MediaKind::DvdR, "DvdR"}),
                         CaseName);

}  // namespace
}  // namespace kestrel
