// The unfinished session of a failed burn, closed through the pass-through
// layer on the recorder's SG_IO interposer, and the disc read back by a peer
// through the same interposer. Without the interposer loaded the test skips;
// ctest runs it under it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "BurnRig.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

constexpr const char* kNode = "/dev/sr0";

TEST(UnfinishedSessionPassThrough, IsRefusedThenClosedOnRequestAndThePeerReadsTheNewSession) {
    if (!InterposerLoaded()) GTEST_SKIP() << "needs the SG_IO interposer";
    TBurnRig rig;
    const std::string failed = rig.files / "failed", second = rig.files / "second", out = rig.files / "out";
    MakeSourceTree(failed);
    WriteFile(second + "/added.txt", "behind the closed session\n");
    rig.Insert(MediaKind::CdR);
    ASSERT_NO_FATAL_FAILURE(rig.OpenThroughPassThrough());

    rig.SetKnob("fail-write-lba", "60");
    rig.Fill(failed);
    ASSERT_NE(rig.Burn().find("WRITER ERROR"), std::string::npos);
    rig.Fill(second);
    EXPECT_NE(rig.Burn().find("UNFINISHED"), std::string::npos);
    rig.burner.CloseUnfinishedSession = true;
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_FALSE(rig.burner.HoldsUnfinishedSession());

    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    int status = -1;
    const std::string toc = RunCommand("xorriso -indev " + std::string(kNode) + " -toc 2>&1", &status);
    ASSERT_EQ(status, 0) << toc;
    int sessions = 0;
    for (size_t at = 0; (at = toc.find("ISO session", at)) != std::string::npos; ++at) ++sessions;
    EXPECT_EQ(sessions, 2) << toc;
    RunCommand("xorriso -osirrox on -indev " + std::string(kNode) + " -extract / " + Quote(out) + " 2>&1", &status);
    ASSERT_EQ(status, 0);
    EXPECT_TRUE(SameTree(second, out));
}

}  // namespace
}  // namespace kestrel
