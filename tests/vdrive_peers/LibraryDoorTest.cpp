// The access library as the device layer uses it: loaded at run time, one
// adapter whose targets are the drives of the state folder, execute requests
// completed at once or later through the eventfd, and aborts.
#include <dlfcn.h>
#include <kestrel/aspi_srb.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "DoorSupport.h"
#include "model/StateDriveSet.h"
#include "support/TestSupport.h"

using namespace kestrel::test;

namespace {

class TLibrary {
public:
    TLibrary() {
        handle_ = dlopen(BinPath("libkestrel-vdrive.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) return;
        Info = reinterpret_cast<PFN_GetASPI32SupportInfo>(dlsym(handle_, "GetASPI32SupportInfo"));
        Send = reinterpret_cast<PFN_SendASPI32Command>(dlsym(handle_, "SendASPI32Command"));
        Name = reinterpret_cast<PFN_KestrelDriveName>(dlsym(handle_, "KestrelDriveName"));
        Hold = reinterpret_cast<PFN_KestrelHoldDrive>(dlsym(handle_, "KestrelHoldDrive"));
        Release = reinterpret_cast<PFN_KestrelReleaseDrive>(dlsym(handle_, "KestrelReleaseDrive"));
    }
    ~TLibrary() {
        if (handle_) dlclose(handle_);
    }
    bool Loaded() const { return handle_ && Info && Send && Name && Hold && Release; }

    PFN_GetASPI32SupportInfo Info = nullptr;
    PFN_SendASPI32Command Send = nullptr;
    PFN_KestrelDriveName Name = nullptr;
    PFN_KestrelHoldDrive Hold = nullptr;
    PFN_KestrelReleaseDrive Release = nullptr;

private:
    void* handle_ = nullptr;
};

SRB_ExecSCSICmd ExecBlock(uint8_t Target, std::vector<uint8_t> Cdb, uint8_t Flags, void* Buf, uint32_t Len) {
    SRB_ExecSCSICmd srb;
    std::memset(&srb, 0, sizeof srb);
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_Target = Target;
    srb.SRB_Flags = Flags;
    srb.SRB_BufPointer = Buf;
    srb.SRB_BufLen = Len;
    srb.SRB_SenseLen = SENSE_LEN;
    srb.SRB_CDBLen = static_cast<uint8_t>(Cdb.size());
    if (!Cdb.empty()) std::memcpy(srb.CDBByte, Cdb.data(), Cdb.size());
    return srb;
}

uint8_t StatusOf(const SRB_ExecSCSICmd& Srb) {
    return std::atomic_ref<const uint8_t>(Srb.SRB_Status).load(std::memory_order_acquire);
}

// The library signals the event just before it stores the final status, so
// right after the event the status may still read pending for a moment.
uint8_t SettledStatusOf(const SRB_ExecSCSICmd& Srb) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (StatusOf(Srb) == SS_PENDING && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    return StatusOf(Srb);
}

// Waits for the eventfd the way the device layer does: poll with a budget,
// then read to reset it.
bool WaitEvent(int Fd, int Ms) {
    pollfd p{Fd, POLLIN, 0};
    if (poll(&p, 1, Ms) != 1) return false;
    uint64_t value = 0;
    return read(Fd, &value, sizeof value) == sizeof value && value >= 1;
}

class LibraryDoor : public ::testing::Test {
protected:
    TTempDir state;
    TScopedEnv dir{"KESTREL_VDRIVE_DIR", state.Path().string()};
    TScopedEnv sync{"KESTREL_VDRIVE_ASYNC", "0"};
    TLibrary lib;

    void SetUp() override { ASSERT_TRUE(lib.Loaded()) << dlerror(); }
};

const std::vector<uint8_t> Inquiry = {0x12, 0, 0, 0, 96, 0};
const std::vector<uint8_t> TestUnitReady = {0x00, 0, 0, 0, 0, 0};

}  // namespace

TEST_F(LibraryDoor, OneAdapterWithTheDrivesAsTargets) {
    EXPECT_EQ(lib.Info(), (uint32_t{SS_COMP} << 8) | 1u);

    SRB_HAInquiry ha{};
    ha.SRB_Cmd = SC_HA_INQUIRY;
    EXPECT_EQ(lib.Send(&ha), SS_COMP);
    EXPECT_EQ(ha.HA_Count, 1);
    EXPECT_EQ(ha.HA_Unique[3], 8);  // targets 0..7
    const uint32_t maxTransfer = ha.HA_Unique[4] | (ha.HA_Unique[5] << 8) | (ha.HA_Unique[6] << 16) |
                                 (uint32_t{ha.HA_Unique[7]} << 24);
    EXPECT_GE(maxTransfer, 65536u);
    ha.SRB_HaId = 1;
    EXPECT_EQ(lib.Send(&ha), SS_INVALID_HA);

    // First use: drive 0 a DVD writer, drive 1 a CD writer, nothing beyond.
    for (uint8_t target = 0; target < 8; ++target) {
        SRB_GDEVBlock dev{};
        dev.SRB_Cmd = SC_GET_DEV_TYPE;
        dev.SRB_Target = target;
        const uint32_t status = lib.Send(&dev);
        if (target < 2) {
            EXPECT_EQ(status, SS_COMP) << int(target);
            EXPECT_EQ(dev.SRB_DeviceType, DTYPE_CDROM);
        } else {
            EXPECT_EQ(status, SS_NO_DEVICE) << int(target);
            EXPECT_EQ(dev.SRB_DeviceType, DTYPE_UNKNOWN);
        }
    }
    SRB_GDEVBlock lun1{};
    lun1.SRB_Cmd = SC_GET_DEV_TYPE;
    lun1.SRB_Lun = 1;
    EXPECT_EQ(lib.Send(&lun1), SS_NO_DEVICE);

    char name[16];
    EXPECT_EQ(lib.Name(0, 1, 0, name, sizeof name), 7);
    EXPECT_STREQ(name, "vdrive1");
    char tiny[4];
    EXPECT_EQ(lib.Name(0, 0, 0, tiny, sizeof tiny), 7);  // the length it needs
    EXPECT_STREQ(tiny, "vdr");
    EXPECT_EQ(lib.Name(0, 5, 0, name, sizeof name), -1);
    EXPECT_EQ(lib.Name(1, 0, 0, name, sizeof name), -1);
}

TEST_F(LibraryDoor, ExecuteCompletesWithDataOrSense) {
    std::vector<uint8_t> data(96, 0xEE);
    auto srb = ExecBlock(0, Inquiry, SRB_DIR_IN, data.data(), 96);
    ASSERT_EQ(lib.Send(&srb), SS_COMP);
    EXPECT_EQ(srb.SRB_Status, SS_COMP);
    EXPECT_EQ(srb.SRB_TargStat, STATUS_GOOD);
    EXPECT_EQ(data[0] & 0x1F, DTYPE_CDROM);
    EXPECT_NE(std::string(reinterpret_cast<char*>(&data[8]), 8), std::string(8, '\xEE'));

    // An operation code no drive knows: CHECK CONDITION, ILLEGAL REQUEST
    // 20h, and only as many sense bytes as were asked for.
    auto bad = ExecBlock(0, {0xFF, 0, 0, 0, 0, 0}, 0, nullptr, 0);
    std::memset(bad.SenseArea, 0xAB, sizeof bad.SenseArea);
    bad.SRB_SenseLen = 14;
    ASSERT_EQ(lib.Send(&bad), SS_ERR);
    EXPECT_EQ(bad.SRB_Status, SS_ERR);
    EXPECT_EQ(bad.SRB_TargStat, STATUS_CHKCOND);
    EXPECT_EQ(bad.SenseArea[0] & 0x7F, 0x70);
    EXPECT_EQ(bad.SenseArea[2] & 0x0F, 0x05);
    EXPECT_EQ(bad.SenseArea[12], 0x20);
    EXPECT_EQ(bad.SenseArea[14], 0xAB);  // beyond SRB_SenseLen: untouched
}

TEST_F(LibraryDoor, MalformedRequestsAreRefused) {
    uint8_t data[8];
    auto noCdb = ExecBlock(0, {}, 0, nullptr, 0);
    EXPECT_EQ(lib.Send(&noCdb), SS_INVALID_SRB);
    auto bothWays = ExecBlock(0, TestUnitReady, SRB_DIR_IN | SRB_DIR_OUT, data, sizeof data);
    EXPECT_EQ(lib.Send(&bothWays), SS_INVALID_SRB);
    auto noBuffer = ExecBlock(0, Inquiry, SRB_DIR_IN, nullptr, 96);
    EXPECT_EQ(lib.Send(&noBuffer), SS_INVALID_SRB);
    auto noEvent = ExecBlock(0, TestUnitReady, SRB_EVENT_NOTIFY, nullptr, 0);
    EXPECT_EQ(lib.Send(&noEvent), SS_INVALID_SRB);
    auto tooBig = ExecBlock(0, Inquiry, SRB_DIR_IN, data, 0x01000000);
    EXPECT_EQ(lib.Send(&tooBig), SS_BUFFER_TO_BIG);
    auto noDrive = ExecBlock(6, TestUnitReady, 0, nullptr, 0);
    EXPECT_EQ(lib.Send(&noDrive), SS_NO_DEVICE);
    SRB_Header unknown{};
    unknown.SRB_Cmd = 0x55;
    EXPECT_EQ(lib.Send(&unknown), SS_INVALID_CMD);
    EXPECT_EQ(lib.Send(nullptr), SS_ERR);
}

TEST_F(LibraryDoor, AsynchronousCompletionSignalsTheEvent) {
    TScopedEnv async("KESTREL_VDRIVE_ASYNC", "1");
    constexpr int count = 8;
    std::vector<std::vector<uint8_t>> buffers(count, std::vector<uint8_t>(96));
    std::vector<SRB_ExecSCSICmd> srbs;
    std::vector<int> events;
    for (int i = 0; i < count; ++i) {
        events.push_back(eventfd(0, EFD_CLOEXEC));
        srbs.push_back(ExecBlock(0, Inquiry, SRB_DIR_IN | SRB_EVENT_NOTIFY, buffers[i].data(), 96));
        srbs.back().SRB_PostProc = events.back();
    }
    for (auto& srb : srbs) EXPECT_EQ(lib.Send(&srb), SS_PENDING);
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(WaitEvent(events[i], 10000)) << i;
        EXPECT_EQ(SettledStatusOf(srbs[i]), SS_COMP);
        EXPECT_EQ(buffers[i][0] & 0x1F, DTYPE_CDROM);
        close(events[i]);
    }
    // A failing command ends pending too, with its sense in the block.
    const int event = eventfd(0, EFD_CLOEXEC);
    auto bad = ExecBlock(1, {0xFF, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, nullptr, 0);
    bad.SRB_PostProc = event;
    EXPECT_EQ(lib.Send(&bad), SS_PENDING);
    ASSERT_TRUE(WaitEvent(event, 10000));
    EXPECT_EQ(SettledStatusOf(bad), SS_ERR);
    EXPECT_EQ(bad.SRB_TargStat, STATUS_CHKCOND);
    EXPECT_EQ(bad.SenseArea[2] & 0x0F, 0x05);
    close(event);
}

TEST_F(LibraryDoor, AbortFailsForARequestThatHasEnded) {
    uint8_t data[96];
    auto srb = ExecBlock(0, Inquiry, SRB_DIR_IN, data, sizeof data);
    ASSERT_EQ(lib.Send(&srb), SS_COMP);
    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &srb;
    EXPECT_EQ(lib.Send(&abort), SS_ABORT_FAIL);
}

TEST_F(LibraryDoor, ALateDriveCompletesThroughTheEvent) {
    TScopedEnv late("KESTREL_VDRIVE_DELAY_MS", "300");
    uint8_t data[96] = {};
    const int event = eventfd(0, EFD_CLOEXEC);
    auto srb = ExecBlock(0, Inquiry, SRB_DIR_IN | SRB_EVENT_NOTIFY, data, sizeof data);
    srb.SRB_PostProc = event;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(lib.Send(&srb), SS_PENDING);
    EXPECT_FALSE(WaitEvent(event, 50));
    EXPECT_EQ(StatusOf(srb), SS_PENDING);
    ASSERT_TRUE(WaitEvent(event, 10000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    EXPECT_EQ(SettledStatusOf(srb), SS_COMP);
    EXPECT_EQ(data[0] & 0x1F, DTYPE_CDROM);
    close(event);
}

TEST_F(LibraryDoor, AbortEndsAPendingRequestAtOnce) {
    TScopedEnv late("KESTREL_VDRIVE_DELAY_MS", "20000");
    const int event = eventfd(0, EFD_CLOEXEC);
    auto srb = ExecBlock(0, TestUnitReady, SRB_EVENT_NOTIFY, nullptr, 0);
    srb.SRB_PostProc = event;
    ASSERT_EQ(lib.Send(&srb), SS_PENDING);
    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &srb;
    EXPECT_EQ(lib.Send(&abort), SS_COMP);
    ASSERT_TRUE(WaitEvent(event, 2000));
    EXPECT_EQ(StatusOf(srb), SS_ABORTED);
    EXPECT_EQ(lib.Send(&abort), SS_ABORT_FAIL);  // nothing left to abort
    close(event);
}

// Carried out on the worker, the drive fills a copy: an aborted request
// leaves the caller's buffer as it was.
TEST_F(LibraryDoor, AnAbortedAsynchronousReadLeavesTheBufferAlone) {
    TScopedEnv async("KESTREL_VDRIVE_ASYNC", "1");
    TScopedEnv late("KESTREL_VDRIVE_DELAY_MS", "20000");
    std::vector<uint8_t> data(96, 0xEE);
    vdrive::StateDriveSet drives(state.Path().string());
    drives.At(0).ClearTrace();
    auto srb = ExecBlock(0, Inquiry, SRB_DIR_IN, data.data(), 96);
    ASSERT_EQ(lib.Send(&srb), SS_PENDING);
    // The drive has answered once its trace holds the command.
    const auto answered = [&] {
        for (const auto& entry : drives.At(0).Trace())
            if (entry.cdbLen > 0 && entry.cdb[0] == Inquiry[0]) return true;
        return false;
    };
    ASSERT_TRUE(WaitUntil(answered, 30));
    SRB_Abort abort{};
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_ToAbort = &srb;
    EXPECT_EQ(lib.Send(&abort), SS_COMP);
    EXPECT_EQ(StatusOf(srb), SS_ABORTED);
    EXPECT_EQ(data, std::vector<uint8_t>(96, 0xEE));
}

TEST_F(LibraryDoor, AnotherStateFolderIsPickedUp) {
    char name[16];
    ASSERT_EQ(lib.Name(0, 0, 0, name, sizeof name), 7);
    TTempDir other;
    TScopedEnv moved("KESTREL_VDRIVE_DIR", other.Path().string());
    EXPECT_EQ(lib.Info() & 0xFF, 1u);
    EXPECT_FALSE(std::filesystem::is_empty(other.Path()));  // the drives now live there
}

TEST_F(LibraryDoor, ConcurrentCallersEachGetTheirOwnAnswer) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                uint8_t data[96] = {};
                auto srb = ExecBlock(static_cast<uint8_t>(t % 2), Inquiry, SRB_DIR_IN, data, sizeof data);
                if (lib.Send(&srb) != SS_COMP || (data[0] & 0x1F) != DTYPE_CDROM) ++failures;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

namespace {

// Another process that holds a drive and keeps it until it is killed: the
// interposer's probe opening /dev/srN with O_EXCL, or a child of this test
// holding through the library. Ready() tells whether it holds.
class THolderProcess {
public:
    // Runs the probe under the interposer: "hold /dev/srN".
    static THolderProcess ThroughNode(const std::string& Node) {
        return THolderProcess([Node] {
            setenv("LD_PRELOAD", BinPath("libkestrel-vdrive-sg.so").c_str(), 1);
            const std::string probe = BinPath("vdrive_sg_probe");
            execl(probe.c_str(), probe.c_str(), "hold", Node.c_str(), "600", nullptr);
            _exit(127);
        });
    }
    // Holds Target through the library, reports, then waits to be killed.
    static THolderProcess ThroughLibrary(TLibrary& Lib, uint8_t Target) {
        return THolderProcess([&Lib, Target] {
            uint64_t token = 0;
            std::printf("held %d\n", Lib.Hold(0, Target, 0, &token) == KESTREL_HOLD_TAKEN ? 1 : -1);
            std::fflush(stdout);
            pause();
            _exit(0);
        });
    }
    THolderProcess(THolderProcess&& Other) noexcept
        : pid_(std::exchange(Other.pid_, -1)), out_(std::exchange(Other.out_, -1)) {}
    ~THolderProcess() { Kill(); }

    // Whether the holder holds: its first line is "held" and a descriptor or
    // 1 ("held EBUSY" or "held -1" when refused).
    bool Ready() {
        std::string line;
        char c;
        while (out_ >= 0 && read(out_, &c, 1) == 1 && c != '\n') line += c;
        return line.size() > 5 && line.rfind("held ", 0) == 0 &&
               line.find_first_not_of("0123456789", 5) == std::string::npos;
    }
    // Ends the holder the hard way: it gives nothing back.
    void Kill() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (out_ >= 0) close(out_);
        out_ = -1;
    }

private:
    template <typename F>
    explicit THolderProcess(F Body) {
        int pipe_[2];
        if (pipe(pipe_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(pipe_[1], STDOUT_FILENO);
            close(pipe_[0]);
            close(pipe_[1]);
            Body();
        }
        close(pipe_[1]);
        out_ = pipe_[0];
    }
    pid_t pid_ = -1;
    int out_ = -1;
};

bool NodeRefusesExclusiveOpen(const std::string& Node) {
    const TRunResult r = RunPreloaded(BinPath("vdrive_sg_probe") + " excl " + Node);
    return r.Output.find("first EBUSY") != std::string::npos;
}

}  // namespace

// The library's hold keeps every other holder off the drive, in this
// process and in others, until it is given back or its process ends.
TEST_F(LibraryDoor, AHoldKeepsOtherHoldersOffUntilReleasedOrItsProcessDies) {
    uint64_t first = 0, other = 0;
    ASSERT_EQ(lib.Hold(0, 0, 0, &first), KESTREL_HOLD_TAKEN);
    EXPECT_EQ(lib.Hold(0, 0, 0, &other), KESTREL_HOLD_BUSY) << "a second holder in this process";
    EXPECT_FALSE(THolderProcess::ThroughLibrary(lib, 0).Ready()) << "a holder in another process";
    std::vector<uint8_t> data(96);
    auto srb = ExecBlock(0, Inquiry, SRB_DIR_IN, data.data(), 96);
    EXPECT_EQ(lib.Send(&srb), SS_COMP) << "holding keeps holders off, not commands";
    EXPECT_EQ(lib.Hold(0, 5, 0, &other), KESTREL_HOLD_NO_DRIVE);
    lib.Release(0, 0, 0, first);
    ASSERT_EQ(lib.Hold(0, 0, 0, &other), KESTREL_HOLD_TAKEN);
    lib.Release(0, 0, 0, other);

    auto dying = THolderProcess::ThroughLibrary(lib, 1);
    ASSERT_TRUE(dying.Ready());
    EXPECT_EQ(lib.Hold(0, 1, 0, &other), KESTREL_HOLD_BUSY);
    dying.Kill();
    ASSERT_EQ(lib.Hold(0, 1, 0, &other), KESTREL_HOLD_TAKEN) << "a holder that died lapses";
    lib.Release(0, 1, 0, other);
}

// The library's hold and an O_EXCL open of the node through the interposer
// are one claim: each keeps the other off, until released or its holder died.
TEST_F(LibraryDoor, AHoldAndAnExclusiveOpenThroughTheInterposerKeepEachOtherOff) {
    uint64_t token = 0;
    ASSERT_EQ(lib.Hold(0, 0, 0, &token), KESTREL_HOLD_TAKEN);
    EXPECT_TRUE(NodeRefusesExclusiveOpen("/dev/sr0"));
    EXPECT_FALSE(NodeRefusesExclusiveOpen("/dev/sr1")) << "the other drive is free";
    lib.Release(0, 0, 0, token);
    EXPECT_FALSE(NodeRefusesExclusiveOpen("/dev/sr0"));

    auto node = THolderProcess::ThroughNode("/dev/sr1");
    ASSERT_TRUE(node.Ready());
    EXPECT_EQ(lib.Hold(0, 1, 0, &token), KESTREL_HOLD_BUSY);
    node.Kill();
    ASSERT_EQ(lib.Hold(0, 1, 0, &token), KESTREL_HOLD_TAKEN) << "a holder that died lapses";
    EXPECT_TRUE(NodeRefusesExclusiveOpen("/dev/sr1"));
    lib.Release(0, 1, 0, token);
}
