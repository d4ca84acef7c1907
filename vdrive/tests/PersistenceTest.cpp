// The state folder shared by processes: what one process records another
// sees at its next command, the file lock keeps concurrent writers from
// corrupting a disc, claims are exclusive, and knobs rig the next commands.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "DriveHarness.h"

namespace vdrive::test {
namespace {

// Runs Body in a child process and returns its exit status.
template <class F>
int InChild(F&& Body) {
    pid_t pid = fork();
    if (pid == 0) {
        int rc = 1;
        try {
            rc = Body();
        } catch (...) {
        }
        _exit(rc);  // no destructors: like a process that dies
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

std::vector<uint8_t> WriteCdb(uint32_t Lba, uint16_t Count) {
    return {0x2A, 0, uint8_t(Lba >> 24), uint8_t(Lba >> 16), uint8_t(Lba >> 8), uint8_t(Lba), 0,
            uint8_t(Count >> 8), uint8_t(Count), 0};
}

}  // namespace

TEST_F(DriveTest, AnotherProcessSeesWritesWithoutASync) {
    Insert(MediaKind::DvdR);
    EXPECT_GOOD(Write10(0, 32, 0x01));
    int rc = InChild([&] {
        StateDriveSet other(folder_.Path());
        std::vector<uint8_t> data(64 * 2048, 0x02);
        auto cdb = WriteCdb(32, 64);
        return other.Execute(0, cdb.data(), cdb.size(), data.data(), data.size(), Direction::Out).status;
    });
    EXPECT_EQ(rc, 0);
    auto nwa = TrackInfo(1);
    EXPECT_EQ(nwa.U32(12), 96u) << "the child's blocks count in this process";
    EXPECT_EQ(Read10(95, 1).data[0], 0x02);
    EXPECT_SENSE(Write10(32, 1), 5, 0x21, 0x02);
    EXPECT_GOOD(Write10(96, 32, 0x03));

    // A process that starts later reads the same state from the folder.
    StateDriveSet later(folder_.Path());
    EXPECT_EQ(later.At(0).State().medium->tracks[0].recorded, 128u);
}

TEST_F(DriveTest, MediumChangedByTheToolIsSeenAtTheNextCommand) {
    EXPECT_EQ(In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, 8, 1).U16(6), 0x0009u);
    int rc = InChild([&] {
        StateDriveSet tool(folder_.Path());
        tool.At(1).Insert(Medium::Blank(MediaKind::CdRw));
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, 8, 1).U16(6), 0x000Au);
}

TEST_F(DriveTest, ConcurrentWritersNeverCorruptTheDisc) {
    Insert(MediaKind::DvdR);
    // Each child appends at whatever the next writable address is; writes
    // that lose the race are refused, none is half applied.
    auto appender = [&](uint8_t Fill) {
        return InChild([&, Fill] {
            StateDriveSet mine(folder_.Path());
            int good = 0;
            for (int i = 0; i < 60; ++i) {
                std::vector<uint8_t> info(48);
                uint8_t ti[10] = {0x52, 1, 0, 0, 0, 0xFF, 0, 0, 48, 0};
                mine.Execute(0, ti, 10, info.data(), info.size(), Direction::In);
                uint32_t nwa = uint32_t(info[12]) << 24 | info[13] << 16 | info[14] << 8 | info[15];
                std::vector<uint8_t> data(16 * 2048, Fill);
                auto cdb = WriteCdb(nwa, 16);
                if (mine.Execute(0, cdb.data(), cdb.size(), data.data(), data.size(), Direction::Out).status == 0)
                    ++good;
            }
            return good;
        });
    };
    pid_t first = fork();
    if (first == 0) _exit(appender(0xA1));
    int second = appender(0xB2);
    int status = 0;
    waitpid(first, &status, 0);
    int firstGood = WEXITSTATUS(status);
    uint32_t recorded = D(0).State().medium->tracks.at(0).recorded;
    EXPECT_EQ(recorded, uint32_t(firstGood + second) * 16);
    for (uint32_t lba = 0; lba < recorded; lba += 16) {
        auto r = Read10(lba, 16);
        ASSERT_GOOD(r);
        for (size_t i = 0; i < r.data.size(); i += 2048) ASSERT_EQ(r.data[i], r.data[0]) << "mixed packet at " << lba;
    }
}

TEST_F(DriveTest, ClaimsAreExclusiveAndDieWithTheirProcess) {
    EXPECT_TRUE(set_->Claim(0, 7));
    EXPECT_TRUE(set_->Claim(0, 7)) << "the holder may claim again";
    EXPECT_FALSE(set_->Claim(0, 8));
    EXPECT_EQ(InChild([&] { return StateDriveSet(folder_.Path()).Claim(0, 7) ? 1 : 0; }), 0)
        << "the same owner number from another process is another holder";
    set_->Release(0, 8);
    EXPECT_FALSE(set_->Claim(0, 8)) << "only the holder releases";
    set_->Release(0, 7);
    EXPECT_TRUE(set_->Claim(0, 8));
    EXPECT_EQ(InChild([&] { return StateDriveSet(folder_.Path()).Claim(1, 3) ? 0 : 1; }), 0);
    EXPECT_TRUE(set_->Claim(1, 4)) << "the child that held drive 1 is gone";
}

TEST_F(DriveTest, KnobsFailBusyDropAndDelay) {
    Insert(MediaKind::DvdR);
    Knobs k;
    k.Set("fail-write-lba", "40");
    k.Set("fail-write-sense", "3/0C/00");
    k.Set("busy-count", "2");
    k.Set("busy-opcode", "2A");
    D(0).SetKnobs(k);
    EXPECT_EQ(Write10(0, 32).reply.status, 0x08);
    EXPECT_GOOD(DiscInfo()) << "other opcodes are not busy";
    EXPECT_EQ(Write10(0, 32).reply.status, 0x08);
    EXPECT_GOOD(Write10(0, 32));
    EXPECT_SENSE(Write10(32, 32), 3, 0x0C, 0x00);
    EXPECT_EQ(TrackInfo(1).U32(12), 32u) << "a failed write records nothing";
    EXPECT_GOOD(Write10(32, 32)) << "the failure was for one write";

    k = Knobs{};
    k.Set("long-write-count", "1");
    k.Set("drop-medium-after", "40");
    k.Set("delay-ms", "250");
    D(0).SetKnobs(k);
    EXPECT_SENSE(Write10(64, 32), 2, 0x04, 0x08);
    auto ok = Write10(64, 32);
    EXPECT_GOOD(ok);
    EXPECT_EQ(ok.reply.delayMs, 250u);
    EXPECT_SENSE(Write10(96, 32), 2, 0x3A, 0x02) << "the medium dropped after 40 blocks";
    EXPECT_SENSE(None({0, 0, 0, 0, 0, 0}), 2, 0x3A, 0x02);
    EXPECT_EQ(D(0).CurrentKnobs().dropMediumAfter, -1);

    FrozenClock clock;
    None({0, 0, 0, 0, 0, 0}, 1);
    std::ofstream(D(1).Folder() + "/knobs.conf") << "bogus-knob=1\n";
    clock.Advance(200);  // hand edits are looked for every 200 ms
    EXPECT_SENSE(None({0, 0, 0, 0, 0, 0}, 1), 4, 0x44, 0x00) << "a broken knobs file is a drive fault, not a crash";
}

TEST_F(DriveTest, TraceKeepsOneLinePerCommand) {
    D(1).ClearTrace();
    None({0, 0, 0, 0, 0, 0}, 1);
    Read10(0, 1, 1);
    auto trace = D(1).Trace();
    ASSERT_EQ(trace.size(), 2u);
    std::string line = FormatTraceEntry(trace[1]);
    EXPECT_NE(line.find("28 00 00 00 00 00 00 00 01 00 -> 02 sense 5/64/00"), std::string::npos) << line;
    for (int i = 0; i < int(TraceRing::kEntries) + 10; ++i) None({0, 0, 0, 0, 0, 0}, 1);
    EXPECT_EQ(D(1).Trace().size(), TraceRing::kEntries) << "the trace is bounded";
}

}  // namespace vdrive::test

namespace vdrive::test {

TEST_F(DriveTest, DamagedStateIsAHardwareErrorUntilANewDiscIsInserted) {
    set_.reset();
    std::ofstream(folder_.Path() + "/drive1/state.conf") << "generation=99\nmedium=floppy\n";
    set_ = std::make_unique<StateDriveSet>(folder_.Path());
    EXPECT_SENSE(None({0, 0, 0, 0, 0, 0}, 1), 4, 0x44, 0x00);
    EXPECT_GOOD(None({0, 0, 0, 0, 0, 0}, 0)) << "the other drive is unaffected";
    D(1).Insert(Medium::Blank(MediaKind::CdRw));
    EXPECT_GOOD(None({0, 0, 0, 0, 0, 0}, 1));
    EXPECT_EQ(In({0x46, 0x02, 0, 0, 0, 0, 0, 0, 8, 0}, 8, 1).U16(6), 0x000Au);
}

TEST_F(DriveTest, ACommandWithoutImmediateWaitsWithoutHoldingOtherProcesses) {
    setenv("KESTREL_VDRIVE_TIME_SCALE", "0.1", 1);  // a quick blank takes a second
    Insert(MediaKind::CdRw, 1);
    pid_t child = fork();
    if (child == 0) {
        StateDriveSet other(folder_.Path());
        uint8_t blank[12] = {0xA1, 0x01};  // quick, not immediate
        _exit(other.Execute(1, blank, 12, nullptr, 0, Direction::None).status);
    }
    // Until the child's blank shows here; every look answers at once, as the
    // child's command holds no lock while it waits.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    Result ready;
    auto slowest = std::chrono::steady_clock::duration::zero();
    do {
        const auto start = std::chrono::steady_clock::now();
        ready = None({0, 0, 0, 0, 0, 0}, 1);
        slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
    } while (ready.Good() && std::chrono::steady_clock::now() < deadline);
    EXPECT_SENSE(ready, 2, 0x04, 0x07) << "seen as blanking from this process";
    EXPECT_LT(slowest, std::chrono::milliseconds(100));
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_GOOD(None({0, 0, 0, 0, 0, 0}, 1));
}

}  // namespace vdrive::test

namespace vdrive::test {

TEST_F(DriveTest, AClosingProcessDoesNotUndoAnotherProcessesInsert) {
    Insert(MediaKind::DvdR);
    EXPECT_GOOD(Write10(0, 32));  // recorded in the live record only
    int rc = InChild([&] {
        StateDriveSet tool(folder_.Path());
        tool.At(0).Insert(Medium::Blank(MediaKind::DvdPlusR));
        return 0;
    });
    EXPECT_EQ(rc, 0);
    set_.reset();  // this process ends with unsaved write progress
    StateDriveSet later(folder_.Path());
    Medium m = *later.At(0).State().medium;
    EXPECT_EQ(m.kind, MediaKind::DvdPlusR);
    EXPECT_TRUE(m.tracks.empty());
}

}  // namespace vdrive::test
