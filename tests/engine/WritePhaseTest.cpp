// What a running write says it is doing: the phases a polling front end
// sees, the figures that go with them, and the finalizing event that only a
// write really closing its track raises.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "BurnRig.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
using vdrive::MediaKind;

// One look at the burner, as a front end's timer takes it.
struct TSample {
    TWritePhase Phase;
    std::optional<double> Progress;
    int64_t Total;
    int64_t Written;
};

// Polls the burner until OnWriteDone came; the samples in the order seen.
class TPhaseObserver {
public:
    explicit TPhaseObserver(TKestrelBurner& Burner) : burner_(Burner), watch_(Burner) {}

    std::string Run(const std::function<bool()>& Start) {
        if (!Start()) return "<not started>";
        while (watch_.Count() == 0) {
            samples_.push_back({burner_.WritePhase(), burner_.WritePhaseProgress(), burner_.WriteTotalBytes(),
                                burner_.BytesWritten()});
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return watch_.Wait();
    }
    // The phases seen, each change once.
    std::vector<TWritePhase> Phases() const {
        std::vector<TWritePhase> phases;
        for (const auto& sample : samples_)
            if (phases.empty() || phases.back() != sample.Phase) phases.push_back(sample.Phase);
        return phases;
    }
    std::vector<TSample> In(TWritePhase Phase) const {
        std::vector<TSample> found;
        for (const auto& sample : samples_)
            if (sample.Phase == Phase) found.push_back(sample);
        return found;
    }

private:
    TKestrelBurner& burner_;
    TWriteDoneWatch watch_;
    std::vector<TSample> samples_;
};

// True when Seen follows the order of Order (phases may be left out).
bool InOrder(const std::vector<TWritePhase>& Seen, const std::vector<TWritePhase>& Order) {
    size_t at = 0;
    for (TWritePhase phase : Seen) {
        while (at < Order.size() && Order[at] != phase) ++at;
        if (at == Order.size()) return false;
        ++at;
    }
    return true;
}

bool Contains(const std::vector<TWritePhase>& Seen, TWritePhase Phase) {
    return std::find(Seen.begin(), Seen.end(), Phase) != Seen.end();
}

struct WritePhases : ::testing::Test {
    TBurnRig rig;
    std::string source = rig.files / "src";
    void SetUp() override {
        MakeSourceTree(source);
        ASSERT_TRUE(rig.Open());
    }
};

// A blank DVD-RW is formatted, written and closed; the recorder takes a
// fifth of real time for its format and close and 20 ms per write, so each
// long step lasts long enough for the observer to see it.
TEST_F(WritePhases, BurnOfABlankDVDRWGoesThroughEachStepWithItsFigures) {
    rig.Insert(MediaKind::DvdRwSequential);
    rig.Fill(source);
    rig.SetKnob("time-scale", "0.2");
    rig.SetKnob("delay-opcode", "2A");
    rig.SetKnob("delay-ms", "20");
    TPhaseObserver observer(rig.burner);
    ASSERT_EQ(observer.Run([&] { return rig.burner.BurnCD(); }), "");
    EXPECT_EQ(rig.burner.WritePhase(), TWritePhase::Idle);
    EXPECT_EQ(rig.burner.WritePhaseProgress(), std::nullopt);

    const auto phases = observer.Phases();
    std::string seen;
    for (TWritePhase phase : phases) seen += std::to_string(int(phase)) + " ";
    EXPECT_TRUE(InOrder(phases, {TWritePhase::Preparing, TWritePhase::Formatting, TWritePhase::Preparing,
                                 TWritePhase::Writing, TWritePhase::Flushing, TWritePhase::Closing,
                                 TWritePhase::Idle}))
        << seen;
    for (TWritePhase phase : {TWritePhase::Formatting, TWritePhase::Writing, TWritePhase::Closing})
        EXPECT_TRUE(Contains(phases, phase)) << int(phase) << " missing from " << seen;

    // The total is known before the first byte, and the figure runs up to it.
    const int64_t total = rig.burner.ImageSectors() * 2048;
    double last = 0;
    for (const auto& sample : observer.In(TWritePhase::Writing)) {
        EXPECT_EQ(sample.Total, total);
        ASSERT_TRUE(sample.Progress.has_value());
        EXPECT_DOUBLE_EQ(*sample.Progress, double(sample.Written) / double(total));
        EXPECT_GE(*sample.Progress, last);
        last = *sample.Progress;
    }
    // Formatting and closing show the drive's own report once it gave one.
    for (TWritePhase phase : {TWritePhase::Formatting, TWritePhase::Closing}) {
        bool reported = false;
        for (const auto& sample : observer.In(phase)) {
            if (!sample.Progress) continue;
            reported = true;
            EXPECT_GE(*sample.Progress, 0.0);
            EXPECT_LT(*sample.Progress, 1.0);
        }
        EXPECT_TRUE(reported) << "no progress from the drive while in phase " << int(phase);
    }
}

TEST_F(WritePhases, AnImageFileIsPreparedAndWritten) {
    rig.Fill(source);
    TPhaseObserver observer(rig.burner);
    const std::string image = rig.files / "out.iso";
    ASSERT_EQ(observer.Run([&] { return rig.burner.SaveToISOFile(image, false) == -1; }), "");
    EXPECT_TRUE(InOrder(observer.Phases(), {TWritePhase::Preparing, TWritePhase::Writing, TWritePhase::Idle}));
    for (const auto& sample : observer.In(TWritePhase::Writing))
        EXPECT_EQ(sample.Total, int64_t(std::filesystem::file_size(image)));
    EXPECT_EQ(rig.burner.WritePhase(), TWritePhase::Idle);
}

// ">>> FINALIZING TRACK" comes from this event: a write that leaves its
// track open must not raise it.
TEST_F(WritePhases, OnlyAWriteThatClosesItsTrackSaysItIsFinalizing) {
    std::atomic<int> finalizing{0};
    std::atomic<bool> closingPhase{false};
    rig.burner.OnFinalizingTrack = [&](TKestrelBurner* Sender) {
        ++finalizing;
        closingPhase = Sender->WritePhase() == TWritePhase::Closing;
    };

    rig.Insert(MediaKind::CdR);
    rig.Fill(source);
    rig.SetKnob("fail-write-lba", "20");
    EXPECT_NE(rig.Burn().find("WRITER ERROR"), std::string::npos);
    EXPECT_EQ(finalizing, 0) << "a failed write";
    EXPECT_TRUE(rig.Commands(0x5B).empty());

    rig.SetKnob("fail-write-lba", "-1");
    rig.Insert(MediaKind::CdR);
    rig.burner.TestWrite = true;
    EXPECT_EQ(rig.Burn(), "");
    EXPECT_EQ(finalizing, 0) << "a test write";

    rig.Insert(MediaKind::CdR);
    rig.burner.TestWrite = false;
    rig.SetKnob("delay-opcode", "2A");
    rig.SetKnob("delay-ms", "20");
    TWriteDoneWatch watch(rig.burner);
    ASSERT_TRUE(rig.burner.BurnCD());
    while (rig.burner.BytesWritten() == 0 && watch.Count() == 0) std::this_thread::yield();
    rig.burner.AbortWrite();
    EXPECT_EQ(watch.Wait(), "OPERATION ABORTED BY USER");
    EXPECT_EQ(finalizing, 0) << "an aborted write";

    rig.SetKnob("delay-ms", "0");
    rig.Insert(MediaKind::CdR);
    EXPECT_EQ(rig.Burn(), "");
    EXPECT_EQ(finalizing, 1) << "a write that closes its session";
    EXPECT_TRUE(closingPhase);
    EXPECT_FALSE(rig.Commands(0x5B).empty());
}

}  // namespace
}  // namespace kestrel
