#include <gtest/gtest.h>

#include <condition_variable>

#include "VirtualRecorder.h"

namespace kestrel::test {
namespace {

using vdrive::MediaKind;

// Counts OnEraseDone and remembers the highest progress seen while erasing.
class TEraseWatch {
public:
    explicit TEraseWatch(TSCSIDevice& Device) : device_(Device) {
        Device.OnEraseDone = [this](TSCSIDevice* Sender, bool WithError) {
            EXPECT_EQ(Sender, &device_);
            EXPECT_FALSE(device_.Erasing()) << "Erasing ends before the event";
            EXPECT_EQ(device_.GetEraseProgress(), 0u);
            finalProgress_ = device_.FinalEraseProgress();
            std::lock_guard lock(lock_);
            ++events_;
            withError_ = WithError;
            done_.notify_all();
        };
    }
    // Polls the progress until the event came; False on time-out.
    bool Wait(double Seconds = 120) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(Seconds);
        for (;;) {
            maxProgress_ = std::max(maxProgress_, device_.GetEraseProgress());
            {
                std::lock_guard lock(lock_);
                if (events_ > 0) break;
            }
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        // Once the erase thread has ended no second event can come.
        device_.WaitForEraseEnd();
        return true;
    }
    int Events() {
        std::lock_guard lock(lock_);
        return events_;
    }
    bool WithError() {
        std::lock_guard lock(lock_);
        return withError_;
    }
    uint32_t MaxProgress() const { return maxProgress_; }
    uint32_t FinalProgress() const { return finalProgress_; }

private:
    TSCSIDevice& device_;
    std::mutex lock_;
    std::condition_variable done_;
    int events_ = 0;
    bool withError_ = false;
    uint32_t maxProgress_ = 0;
    std::atomic<uint32_t> finalProgress_{0};
};

struct TEraseCase {
    MediaKind Kind;
    bool Quick;
    const char* Name;
};

void PrintTo(const TEraseCase& Case, std::ostream* Out) { *Out << Case.Name; }

class DriveErase : public ::testing::TestWithParam<TEraseCase> {};

TEST_P(DriveErase, LeavesAnEmptyDiscAndReportsOnce) {
    const auto& c = GetParam();
    TVirtualRecorder recorder;
    recorder.InsertRecorded(0, c.Kind, 2000, true);
    auto device = OpenDevice(0);
    TEraseWatch watch(*device);
    ASSERT_TRUE(device->DiscIsErasable());
    ASSERT_TRUE(device->EraseDisc(c.Quick)) << device->LastError;
    EXPECT_EQ(device->EraseMode(), c.Quick ? 1 : 0);
    ASSERT_TRUE(watch.Wait());
    EXPECT_EQ(watch.Events(), 1);
    EXPECT_FALSE(watch.WithError()) << device->LastError;
    EXPECT_LE(watch.MaxProgress(), 100u);
    EXPECT_EQ(watch.FinalProgress(), 100u);
    EXPECT_EQ(device->GetEraseProgress(), 0u);
    EXPECT_TRUE(device->TestUnitReady(5000)) << device->LastError;
    bool logged = false;
    for (const auto& line : device->Log())
        logged |= line.Type == mtInfo && line.Text.starts_with(">>> STARTING ERASE PROCESS ON ");
    EXPECT_TRUE(logged);
    if (c.Kind == MediaKind::CdRw || c.Kind == MediaKind::DvdRwSequential) {
        EXPECT_EQ(device->GetDiscStatus(), 0) << "blank again";
        EXPECT_EQ(device->GetSessionCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(DriveErase, DriveErase,
                         ::testing::Values(TEraseCase{MediaKind::CdRw, true, "QuickCDRW"},
                                           TEraseCase{MediaKind::CdRw, false, "CompleteCDRW"},
                                           TEraseCase{MediaKind::DvdRwSequential, false, "CompleteDVDRW"},
                                           TEraseCase{MediaKind::DvdPlusRw, true, "QuickDVDPlusRW"},
                                           TEraseCase{MediaKind::DvdRam, true, "QuickDVDRAM"}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(DriveEraseFailures, SlowReadyDrivesFinishToo) {
    TVirtualRecorder recorder;
    recorder.AddDrive("cd-writer", {{"vendor", "TDK"}});
    recorder.InsertRecorded(2, MediaKind::CdRw, 2000, true);
    auto device = OpenDevice(2);
    ASSERT_TRUE(device->Quirks().SlowReadyDrive);
    TEraseWatch watch(*device);
    ASSERT_TRUE(device->EraseDisc(true));
    ASSERT_TRUE(watch.Wait());
    EXPECT_EQ(watch.Events(), 1);
    EXPECT_FALSE(watch.WithError());
    EXPECT_EQ(device->GetDiscStatus(), 0);
}

TEST(DriveEraseFailures, ReleasingTheComponentMidEraseNeitherHangsNorReports) {
    TVirtualRecorder recorder;
    recorder.InsertRecorded(0, MediaKind::CdRw, 2000, true);
    int events = 0;
    const auto start = std::chrono::steady_clock::now();
    {
        auto device = OpenDevice(0);
        device->OnEraseDone = [&](TSCSIDevice*, bool) { ++events; };
        ASSERT_TRUE(device->EraseDisc(false));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(events, 0);
}

TEST(DriveEraseFailures, RejectedBlankReportsAtOnce) {
    TVirtualRecorder recorder;
    recorder.InsertRecorded(1, MediaKind::CdR, 500, false);
    auto device = OpenDevice(1);
    TEraseWatch watch(*device);
    EXPECT_FALSE(device->DiscIsErasable());
    EXPECT_FALSE(device->EraseDisc(true));
    EXPECT_EQ(watch.Events(), 1) << "raised before EraseDisc returns";
    EXPECT_TRUE(watch.WithError());
    EXPECT_FALSE(device->Erasing());
    EXPECT_FALSE(device->LastError.empty());
}

TEST(DriveEraseFailures, NoDiscMeansNoStartAndNoEvent) {
    TVirtualRecorder recorder;
    recorder.Drive(1).Eject();
    auto device = OpenDevice(1);
    TEraseWatch watch(*device);
    EXPECT_FALSE(device->EraseDisc(true));
    EXPECT_EQ(watch.Events(), 0);
    EXPECT_FALSE(device->Erasing());
}

TEST(DriveEraseFailures, FailedZeroWritesAreReportedAsError) {
    TVirtualRecorder recorder;
    recorder.InsertRecorded(0, MediaKind::DvdPlusRw, 2000, true);
    auto knobs = recorder.Drive(0).CurrentKnobs();
    knobs.Set("fail-write-lba", "200");
    knobs.Set("fail-write-count", "-1");
    recorder.Drive(0).SetKnobs(knobs);
    auto device = OpenDevice(0);
    TEraseWatch watch(*device);
    ASSERT_TRUE(device->EraseDisc(true));
    ASSERT_TRUE(watch.Wait());
    EXPECT_EQ(watch.Events(), 1);
    EXPECT_TRUE(watch.WithError());
}

TEST(DriveEraseFailures, OtherCommandsWaitTheirTurnWhileErasing) {
    TVirtualRecorder recorder;
    recorder.InsertRecorded(0, MediaKind::CdRw, 2000, true);
    auto device = OpenDevice(0);
    TEraseWatch watch(*device);
    ASSERT_TRUE(device->EraseDisc(false));
    EXPECT_TRUE(device->Erasing());
    EXPECT_FALSE(device->TestUnitReady(5000));
    EXPECT_EQ(device->LastError, "THE DRIVE IS BUSY ERASING A DISC");
    EXPECT_FALSE(device->EraseDisc(true)) << "one erase at a time";
    ASSERT_TRUE(watch.Wait());
    EXPECT_EQ(watch.Events(), 1);
    EXPECT_TRUE(device->TestUnitReady(5000));
}

// What a front end polling the erase sees: the phase, the fraction the
// drive (or the zero writes) report, the percent.
struct TEraseSample {
    TErasePhase Phase;
    std::optional<double> Fraction;
    uint32_t Percent;
};

std::vector<TEraseSample> SampleUntilDone(TSCSIDevice& Device, TEraseWatch& Watch) {
    std::vector<TEraseSample> samples;
    while (Watch.Events() == 0) {
        samples.push_back({Device.ErasePhase(), Device.EraseProgressFraction(), Device.GetEraseProgress()});
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return samples;
}

void SlowDown(TVirtualRecorder& Recorder, int Drive, const std::vector<std::pair<std::string, std::string>>& Knobs) {
    auto knobs = Recorder.Drive(Drive).CurrentKnobs();
    for (const auto& [key, value] : Knobs) knobs.Set(key, value);
    Recorder.Drive(Drive).SetKnobs(knobs);
}

// A complete CD-RW blank is estimated at 4,500 s; this recorder blanks it in
// 3 s. A figure made from the time waited stays in single digits; the
// drive's own report runs to the end.
TEST(DriveEraseProgress, ComesFromTheDrivesOwnReport) {
    TVirtualRecorder recorder;
    recorder.InsertRecorded(0, MediaKind::CdRw, 2000, true);
    SlowDown(recorder, 0, {{"time-scale", "0.05"}});
    auto device = OpenDevice(0);
    TEraseWatch watch(*device);
    ASSERT_TRUE(device->EraseDisc(false));
    const auto samples = SampleUntilDone(*device, watch);
    EXPECT_FALSE(watch.WithError());
    double highest = 0, last = 0;
    uint32_t highestPercent = 0;
    for (const auto& sample : samples) {
        if (sample.Phase != TErasePhase::Blanking) continue;
        highestPercent = std::max(highestPercent, sample.Percent);
        if (!sample.Fraction) continue;
        EXPECT_GE(*sample.Fraction, last) << "the drive's figure only grows";
        last = *sample.Fraction;
        highest = std::max(highest, last);
    }
    EXPECT_GE(highest, 0.5);
    EXPECT_GE(highestPercent, 50u);
    EXPECT_EQ(device->ErasePhase(), TErasePhase::Idle);
    EXPECT_EQ(device->EraseProgressFraction(), std::nullopt);
}

// A DVD+RW is formatted by the drive, then zeros go over its start: each
// step is named, the first with the drive's figure, the second with the
// writes done.
TEST(DriveEraseProgress, DVDPlusRWIsFormattedThenZeroed) {
    TVirtualRecorder recorder;
    recorder.InsertRecorded(0, MediaKind::DvdPlusRw, 2000, true);
    SlowDown(recorder, 0, {{"time-scale", "0.2"}, {"delay-opcode", "2A"}, {"delay-ms", "5"}});
    auto device = OpenDevice(0);
    TEraseWatch watch(*device);
    ASSERT_TRUE(device->EraseDisc(true));
    const auto samples = SampleUntilDone(*device, watch);
    EXPECT_FALSE(watch.WithError());
    std::vector<TErasePhase> phases;
    bool formatReported = false;
    double zeros = 0;
    for (const auto& sample : samples) {
        if (phases.empty() || phases.back() != sample.Phase) phases.push_back(sample.Phase);
        if (sample.Phase == TErasePhase::Formatting) formatReported |= sample.Fraction.has_value();
        if (sample.Phase == TErasePhase::WritingZeros) {
            ASSERT_TRUE(sample.Fraction.has_value());
            EXPECT_GE(*sample.Fraction, zeros);
            EXPECT_LE(*sample.Fraction, 1.0);
            zeros = *sample.Fraction;
        }
    }
    ASSERT_GE(phases.size(), 2u);
    EXPECT_EQ(phases[0], TErasePhase::Formatting);
    EXPECT_EQ(phases[1], TErasePhase::WritingZeros);
    for (size_t i = 2; i < phases.size(); ++i)
        EXPECT_TRUE(phases[i] == TErasePhase::Finishing || phases[i] == TErasePhase::Idle) << int(phases[i]);
    EXPECT_TRUE(formatReported);
    EXPECT_GT(zeros, 0.0);
}

}  // namespace
}  // namespace kestrel::test
