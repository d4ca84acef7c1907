// Holding the drive against other programs for the whole write, through the
// pass-through layer on the recorder's SG_IO interposer (the program is
// registered to run under it; without it every case fails before it sends
// anything).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "DriveSharing.h"
#include "kestrel/mmc.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

constexpr const char* kNode = "/dev/sr0";

// Another process that opens the node with O_EXCL and keeps it until this
// object goes away.
class TOtherHolder {
public:
    explicit TOtherHolder(const char* Node) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(Node, O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
            const char state = fd >= 0 ? '1' : '0';
            (void)!::write(ready[1], &state, 1);
            char ignored;
            (void)!::read(release[0], &ignored, 1);  // returns at EOF: the test let go
            if (fd >= 0) ::close(fd);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char state = '0';
        held_ = pid_ > 0 && ::read(ready[0], &state, 1) == 1 && state == '1';
        ::close(ready[0]);
    }
    ~TOtherHolder() {
        if (release_ >= 0) ::close(release_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    bool Held() const { return held_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool held_ = false;
};

// True when this process can take the node exclusively right now.
bool CanHoldExclusively(const char* Node) {
    const int fd = ::open(Node, O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

struct PassThroughDriveHold : ::testing::Test {
    TBurnRig rig;
    std::string source = rig.files / "src";
    void SetUp() override {
        ASSERT_TRUE(InterposerLoaded()) << "runs only under the SG_IO interposer";
        MakeSourceTree(source);
        rig.Insert(MediaKind::DvdPlusR);
    }
};

TEST_F(PassThroughDriveHold, BurnWhileAnotherProcessHoldsTheDriveIsRefusedBeforeAnyWrite) {
    TOtherHolder other(kNode);
    ASSERT_TRUE(other.Held());
    rig.OpenThroughPassThrough();
    rig.Fill(source);
    rig.ClearTrace();

    const std::string error = rig.Burn();
    EXPECT_NE(error.find("IS IN USE BY ANOTHER PROGRAM"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(mmc::op::kWrite10).empty());
    EXPECT_TRUE(rig.Commands(mmc::op::kCloseTrackSession).empty());
    EXPECT_FALSE(rig.burner.Writing());
}

TEST_F(PassThroughDriveHold, ImageBurnWhileAnotherProcessHoldsTheDriveIsRefused) {
    const std::string image = rig.files / "image.iso";
    WriteFile(image, std::string(64 * 2048, 'k'));
    TOtherHolder other(kNode);
    ASSERT_TRUE(other.Held());
    rig.OpenThroughPassThrough();
    rig.ClearTrace();

    const std::string error = rig.BurnImage(image);
    EXPECT_NE(error.find("IS IN USE BY ANOTHER PROGRAM"), std::string::npos) << error;
    EXPECT_TRUE(rig.Commands(mmc::op::kWrite10).empty());
}

TEST_F(PassThroughDriveHold, BurnHoldsTheDriveUntilTheWriteEndsAndThenLetsGo) {
    rig.OpenThroughPassThrough();
    rig.Fill(source);
    // The hold is checked on the write thread after the data went out.
    std::atomic<int> checks{0};
    std::atomic<bool> othersKeptOff{true};
    rig.burner.OnFinalizingTrack = [&](TKestrelBurner*) {
        ++checks;
        if (CanHoldExclusively(kNode)) othersKeptOff = false;
    };

    ASSERT_EQ(rig.Burn(), "");
    EXPECT_FALSE(rig.Commands(mmc::op::kWrite10).empty());
    EXPECT_GT(checks.load(), 0);
    EXPECT_TRUE(othersKeptOff);
    // Released before OnWriteDone: another program may take the drive now.
    EXPECT_TRUE(CanHoldExclusively(kNode));
    TOtherHolder after(kNode);
    EXPECT_TRUE(after.Held());
}

TEST_F(PassThroughDriveHold, RefusedBurnLeavesTheDriveFreeForTheNextOne) {
    rig.OpenThroughPassThrough();
    rig.Fill(source);
    {
        TOtherHolder other(kNode);
        ASSERT_TRUE(other.Held());
        EXPECT_NE(rig.Burn(), "");
    }
    ASSERT_EQ(rig.Burn(), "");
    EXPECT_FALSE(rig.Commands(mmc::op::kWrite10).empty());
}

TEST_F(PassThroughDriveHold, EraseWhileAnotherProcessHoldsTheDriveIsRefusedBeforeTheDiscIsTouched) {
    rig.Insert(MediaKind::CdRw);
    TOtherHolder other(kNode);
    ASSERT_TRUE(other.Held());
    rig.OpenThroughPassThrough();
    rig.ClearTrace();

    EXPECT_FALSE(rig.burner.EraseDisc(true));
    EXPECT_FALSE(rig.burner.Erasing());
    EXPECT_TRUE(rig.Commands(mmc::op::kBlank).empty());
}

TEST_F(PassThroughDriveHold, EraseHoldsTheDriveUntilItEnds) {
    rig.Insert(MediaKind::CdRw);
    rig.SetKnob("time-scale", "100");  // the blank lasts until a new disc goes in
    rig.OpenThroughPassThrough();
    const std::string other = rig.files / "other";
    WriteFile(other + "/second.txt", "x");

    ASSERT_TRUE(rig.burner.EraseDisc(true));
    ASSERT_TRUE(rig.burner.Erasing());
    EXPECT_FALSE(CanHoldExclusively(kNode));
    ExpectRefusedAsInUse(RunSecondProgram(TProgramLayer::Library, "burn " + Quote(other + "/")),
                         TProgramLayer::Library);
    EXPECT_TRUE(rig.Commands(mmc::op::kWrite10).empty());

    rig.SetKnob("time-scale", "0");
    rig.Insert(MediaKind::CdRw);  // ends the blank
    rig.burner.WaitForEraseEnd();
    ASSERT_FALSE(rig.burner.Erasing());
    EXPECT_FALSE(rig.Commands(mmc::op::kBlank).empty());
    EXPECT_TRUE(CanHoldExclusively(kNode));
    // The next burn may take the drive again.
    rig.Fill(source);
    EXPECT_EQ(rig.Burn(), "");
}

// The burn holds /dev/sr0; a second program on the recorder's library (or
// on the node) is refused just the same, and the burn's files stay whole.
TEST_F(PassThroughDriveHold, ASecondBurnOrEraseOnEitherLayerIsRefusedDuringTheBurn) {
    rig.Insert(MediaKind::CdRw);
    rig.OpenThroughPassThrough();
    const std::string other = rig.files / "other";
    WriteFile(other + "/second.txt", "x");
    rig.Fill(source);
    rig.ClearTrace();
    std::vector<std::pair<TProgramLayer, TCommandResult>> seconds;
    TCommandResult unused;
    const std::string error = BurnWhile(
        rig,
        [&] {
            for (auto layer : {TProgramLayer::Library, TProgramLayer::PassThrough}) {
                seconds.emplace_back(layer, RunSecondProgram(layer, "erase --quick"));
                seconds.emplace_back(layer, RunSecondProgram(layer, "burn " + Quote(other + "/")));
            }
            return TCommandResult{};
        },
        unused);
    ASSERT_EQ(error, "");
    ASSERT_EQ(seconds.size(), 4u);
    for (const auto& [layer, result] : seconds) ExpectRefusedAsInUse(result, layer);
    EXPECT_TRUE(rig.Commands(mmc::op::kBlank).empty());
    ExpectDiscHolds(rig, source, rig.files / "out");
}

}  // namespace
}  // namespace kestrel
