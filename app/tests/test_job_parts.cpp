// The parts behind the window's jobs: the progress line (phases, percent,
// times, measured speed), the verdicts on the disc before a write, and the
// drive worker that keeps drive commands off the GUI thread.
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>

#include "app/DiscCheck.h"
#include "app/DriveWorker.h"
#include "app/JobProgress.h"
#include "burner/device/Capabilities.h"
#include "burner/device/MediumTables.h"

using namespace kestrel;
using namespace kestrel::app;

namespace {

constexpr int64_t kMB = 1048576;

TDiscSpace Disc(TDiscSpace::TState State, uint8_t Type, int64_t Free, int64_t Capacity, bool Erasable = false,
                uint16_t Sessions = 0) {
    TDiscSpace disc;
    disc.State = State;
    disc.Type = Type;
    disc.FreeBytes = Free;
    disc.CapacityBytes = Capacity;
    disc.Erasable = Erasable;
    disc.Sessions = Sessions;
    return disc;
}

TProgressSample Writing(int64_t Ms, int64_t Bytes, int64_t Total) {
    TProgressSample sample;
    sample.ElapsedMs = Ms;
    sample.Phase = TJobPhase::Writing;
    sample.Bytes = Bytes;
    sample.TotalBytes = Total;
    return sample;
}

constexpr uint32_t kCDWriter = cap::WriteCDR | cap::WriteCDRW;
constexpr uint32_t kDVDWriter = kCDWriter | cap::WriteDVDR | cap::WriteDVDRW | cap::WriteDVDPR | cap::WriteDVDPRW |
                                cap::WriteDVDRAM | cap::WriteDVDPRDL;

}  // namespace

class TJobPartsTest : public QObject {
    Q_OBJECT
private slots:
    void phasesAndDurationsInWords();
    void speedPercentAndTimeLeftFromSamples();
    void phasesWithoutByteCountsUseTheDrivesProgress();
    void discVerdictsSayWhatToDo();
    void driveWorkerKeepsOrderOffTheGuiThread();
    void stoppedWorkerRunsNoDoneAndTakesNoMoreCommands();
};

void TJobPartsTest::phasesAndDurationsInWords() {
    QCOMPARE(PhaseOfWrite(TWritePhase::Preparing, false), TJobPhase::Preparing);
    QCOMPARE(PhaseOfWrite(TWritePhase::Formatting, false), TJobPhase::Formatting);
    QCOMPARE(PhaseOfWrite(TWritePhase::Writing, true), TJobPhase::Writing);
    QCOMPARE(PhaseOfWrite(TWritePhase::Flushing, false), TJobPhase::Flushing);
    // Closing the disc is not closing a session.
    QCOMPARE(PhaseOfWrite(TWritePhase::Closing, false), TJobPhase::Closing);
    QCOMPARE(PhaseOfWrite(TWritePhase::Closing, true), TJobPhase::Finalizing);
    QCOMPARE(PhaseOfWrite(TWritePhase::Idle, false), TJobPhase::Idle);
    QCOMPARE(PhaseOfWrite(TWritePhase::Verifying, false), TJobPhase::Verifying);
    QCOMPARE(PhaseName(TJobPhase::Finalizing), QString("Finalizing the disc"));
    QCOMPARE(PhaseName(TJobPhase::Erasing), QString("Erasing"));
    QCOMPARE(PhaseName(TJobPhase::Verifying), QString("Verifying"));
    QVERIFY(PhaseName(TJobPhase::Idle).isEmpty());

    QCOMPARE(DurationText(0), QString("0:00"));
    QCOMPARE(DurationText(7999), QString("0:07"));
    QCOMPARE(DurationText(754000), QString("12:34"));
    QCOMPARE(DurationText(3723000), QString("1:02:03"));
    QCOMPARE(DurationText(-5), QString("0:00"));
}

void TJobPartsTest::speedPercentAndTimeLeftFromSamples() {
    TJobProgress progress;
    progress.Start(mtDVDPlusRW, false);
    QVERIFY(progress.Line().isEmpty());
    const int64_t total = 100 * kMB;
    // 2.77 MB/s (2x DVD) for four seconds, sampled every 500 ms.
    constexpr double rate = 2 * 1385000.0;
    for (int64_t ms = 1000; ms <= 5000; ms += 500)
        progress.Add(Writing(ms, int64_t((ms - 1000) / 1000.0 * rate), total));
    QVERIFY(progress.BytesPerSecond().has_value());
    QVERIFY(qAbs(*progress.BytesPerSecond() - rate) < rate * 0.01);
    const int64_t written = int64_t(4 * rate);
    QCOMPARE(progress.Percent(), int(written * 100 / total));
    const int64_t left = int64_t((total - written) * 1000 / rate);
    QVERIFY(progress.RemainingMs().has_value());
    QVERIFY2(qAbs(*progress.RemainingMs() - left) < 100, qPrintable(QString::number(*progress.RemainingMs())));
    const QString line = progress.Line();
    QVERIFY2(line.startsWith(QStringLiteral("Writing: %1% \u00b7 0:05 elapsed \u00b7 about ").arg(progress.Percent())),
             qPrintable(line));
    QVERIFY2(line.endsWith(" left \u00b7 2.0x (2.64 MB/s)"), qPrintable(line));

    // The speed is that of the last seconds: a drive slowing down shows at once.
    for (int64_t ms = 5500; ms <= 10000; ms += 500)
        progress.Add(Writing(ms, written + int64_t((ms - 5000) / 1000.0 * rate / 2), total));
    QVERIFY(qAbs(*progress.BytesPerSecond() - rate / 2) < rate * 0.01);

    // On CD media 1x is 75 sectors a second; into a file only MB/s are told.
    QCOMPARE(WriteSpeedText(16 * 153600.0, mtCDR, false), QString("16.0x (2.34 MB/s)"));
    QCOMPARE(WriteSpeedText(10 * kMB, mtUnknown, true), QString("10.00 MB/s"));
    QCOMPARE(WriteSpeedText(6 * 4495500.0, mtBDR, false), QString("6.0x (25.72 MB/s)"));

    // Less than a second of samples gives no speed and no time left, and a
    // new phase starts its measurement again.
    TJobProgress fresh;
    fresh.Start(mtCDR, false);
    fresh.Add(Writing(0, 0, total));
    fresh.Add(Writing(500, kMB, total));
    QVERIFY(!fresh.BytesPerSecond());
    QVERIFY(!fresh.RemainingMs());
    QCOMPARE(fresh.Line(), QString("Writing: 1% \u00b7 0:00 elapsed"));
}

void TJobPartsTest::phasesWithoutByteCountsUseTheDrivesProgress() {
    TJobProgress progress;
    progress.Start(mtDVDPlusRW, false);
    TProgressSample sample;
    sample.Phase = TJobPhase::Preparing;
    sample.ElapsedMs = 1200;
    progress.Add(sample);
    QCOMPARE(progress.Percent(), -1);
    QCOMPARE(progress.Line(), QString("Preparing \u00b7 0:01 elapsed"));
    // The drive tells a quarter of the formatting done after 10 s: 30 s are left.
    sample.Phase = TJobPhase::Formatting;
    sample.ElapsedMs = 2000;
    sample.Fraction = 0.0;
    progress.Add(sample);
    sample.ElapsedMs = 12000;
    sample.Fraction = 0.25;
    progress.Add(sample);
    QCOMPARE(progress.Percent(), 25);
    QCOMPARE(progress.RemainingMs(), std::optional<int64_t>(30000));
    QCOMPARE(progress.Line(), QString("Formatting the disc: 25% \u00b7 0:12 elapsed \u00b7 about 0:30 left"));
    // Where the drive has told nothing yet, nothing is made up.
    sample.Phase = TJobPhase::Closing;
    sample.Fraction.reset();
    progress.Add(sample);
    QCOMPARE(progress.Line(), QString("Closing the session \u00b7 0:12 elapsed"));
    progress.Reset();
    QVERIFY(progress.Line().isEmpty());
}

void TJobPartsTest::discVerdictsSayWhatToDo() {
    using TState = TDiscSpace::TState;
    const int64_t cd = 359847LL * 2048, dvd = 2295104LL * 2048;
    // No disc: wait for one the drive can write.
    TDiscVerdict v = JudgeDisc(Disc(TState::NoDisc, 0, 0, 0), kCDWriter, TWriteKind::Burn);
    QCOMPARE(v.Problem, TDiscProblem::NoDisc);
    QVERIFY2(v.Text.contains("no disc") && v.Text.contains("CD-R, CD-RW"), qPrintable(v.Text));
    // A pressed disc.
    v = JudgeDisc(Disc(TState::Closed, mtDVDROM, 0, dvd), kDVDWriter, TWriteKind::Burn);
    QCOMPARE(v.Problem, TDiscProblem::NotWritable);
    QVERIFY2(v.Text.contains("DVD-ROM, which cannot be written"), qPrintable(v.Text));
    // A DVD in a CD writer.
    v = JudgeDisc(Disc(TState::Blank, mtDVDPlusRW, dvd, dvd, true), kCDWriter, TWriteKind::Burn);
    QCOMPARE(v.Problem, TDiscProblem::WrongMedium);
    QCOMPARE(v.Text, QString("This drive cannot write DVD+RW discs.\n\nInsert a disc it can write: CD-R, CD-RW."));
    // Closed: a CD-RW can be erased, a CD-R cannot.
    v = JudgeDisc(Disc(TState::Closed, mtCDRW, 0, cd, true), kCDWriter, TWriteKind::Burn);
    QCOMPARE(v.Problem, TDiscProblem::Closed);
    QVERIFY2(v.Text.contains("closed (finalized)") && v.Text.contains("erase this one"), qPrintable(v.Text));
    v = JudgeDisc(Disc(TState::Closed, mtCDR, 0, cd), kCDWriter, TWriteKind::Burn);
    QVERIFY2(!v.Text.contains("erase"), qPrintable(v.Text));
    // An appendable disc takes a burn, not an image; nor one without space.
    const TDiscSpace appendable = Disc(TState::Appendable, mtCDR, 300 * kMB, cd, false, 2);
    QCOMPARE(JudgeDisc(appendable, kCDWriter, TWriteKind::Burn).Problem, TDiscProblem::None);
    v = JudgeDisc(appendable, kCDWriter, TWriteKind::ImageBurn);
    QCOMPARE(v.Problem, TDiscProblem::NotBlank);
    QVERIFY2(v.Text.contains("already holds 2 sessions"), qPrintable(v.Text));
    QCOMPARE(JudgeDisc(Disc(TState::Appendable, mtCDR, 0, cd, false, 1), kCDWriter, TWriteKind::Burn).Problem,
             TDiscProblem::Full);
    // An image larger than the disc.
    v = JudgeDisc(Disc(TState::Blank, mtCDR, cd, cd), kCDWriter, TWriteKind::ImageBurn, cd + kMB);
    QCOMPARE(v.Problem, TDiscProblem::Full);
    QVERIFY2(v.Text.contains("The image needs"), qPrintable(v.Text));
    QCOMPARE(JudgeDisc(Disc(TState::Blank, mtCDR, cd, cd), kCDWriter, TWriteKind::ImageBurn, cd).Problem,
             TDiscProblem::None);
    // A DVD+RW holding data can be written (the questions about its files come later).
    QCOMPARE(JudgeDisc(Disc(TState::HoldsData, mtDVDPlusRW, dvd / 2, dvd, true), kDVDWriter, TWriteKind::Burn).Problem,
             TDiscProblem::None);
    QVERIFY(DriveWritesMedium(kCDWriter, mtCDRW));
    QVERIFY(!DriveWritesMedium(kCDWriter, mtDVDR));
}

void TJobPartsTest::driveWorkerKeepsOrderOffTheGuiThread() {
    TDriveWorker worker;
    QSignalSpy busy(&worker, &TDriveWorker::BusyChanged);
    std::atomic<int> offGui{0};
    QList<int> done;
    QThread* gui = QThread::currentThread();
    for (int i = 0; i < 20; ++i)
        worker.Run(
            [i, gui, &offGui] {
                if (QThread::currentThread() != gui) ++offGui;
                return i * i;
            },
            [&done, gui](int square) {
                QCOMPARE(QThread::currentThread(), gui);
                done << square;
            });
    bool voidDone = false;
    worker.Run([] {}, [&voidDone] { voidDone = true; });
    QVERIFY(worker.Busy());
    QTRY_VERIFY(!worker.Busy());
    QCOMPARE(offGui.load(), 20);
    QList<int> expected;
    for (int i = 0; i < 20; ++i) expected << i * i;
    QCOMPARE(done, expected);
    QVERIFY(voidDone);
    // Busy once for the whole batch.
    QCOMPARE(busy.size(), 2);
    QCOMPARE(busy[0][0].toBool(), true);
    QCOMPARE(busy[1][0].toBool(), false);

    // A command given by a Done keeps the worker busy throughout.
    busy.clear();
    bool second = false;
    worker.Run([] {}, [&] { worker.Run([] {}, [&] { second = true; }); });
    QTRY_VERIFY(second);
    QTRY_VERIFY(!worker.Busy());
    QCOMPARE(busy.size(), 2);
}

void TJobPartsTest::stoppedWorkerRunsNoDoneAndTakesNoMoreCommands() {
    TDriveWorker worker;
    std::atomic<int> ran{0};
    int doneCount = 0;
    for (int i = 0; i < 5; ++i) worker.Run([&] { ++ran; }, [&] { ++doneCount; });
    // The owner stops the worker before what the commands use goes away:
    // whatever ran, no Done comes afterwards, and nothing new runs.
    worker.Stop();
    const int ranBefore = ran;
    QCoreApplication::processEvents();
    QCOMPARE(doneCount, 0);
    worker.Run([&] { ++ran; }, [&] { ++doneCount; });
    QCoreApplication::processEvents();
    QCOMPARE(ran.load(), ranBefore);
    QCOMPARE(doneCount, 0);
    worker.Stop();  // a second Stop is harmless
}

QTEST_MAIN(TJobPartsTest)
#include "test_job_parts.moc"
