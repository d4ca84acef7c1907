#pragma once
// A drive set in a fresh temporary state folder, and short-hands for sending
// CDBs to it in tests.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "model/StateDriveSet.h"

namespace vdrive::test {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vdrive-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

struct Result {
    CommandReply reply;
    std::vector<uint8_t> data;
    uint8_t Key() const { return reply.sense[2] & 0x0F; }
    uint8_t Asc() const { return reply.sense[12]; }
    uint8_t Ascq() const { return reply.sense[13]; }
    bool Good() const { return reply.status == 0; }
    uint32_t U32(size_t At) const {
        return uint32_t(data[At]) << 24 | uint32_t(data[At + 1]) << 16 | uint32_t(data[At + 2]) << 8 | data[At + 3];
    }
    uint16_t U16(size_t At) const { return uint16_t(data[At] << 8 | data[At + 1]); }
};

// Fails the test with the sense in the message when a command does not succeed.
#define ASSERT_GOOD(r) ASSERT_TRUE((r).Good()) << "sense " << std::hex << int((r).Key()) << "/" << int((r).Asc()) << "/" << int((r).Ascq())
#define EXPECT_GOOD(r) EXPECT_TRUE((r).Good()) << "sense " << std::hex << int((r).Key()) << "/" << int((r).Asc()) << "/" << int((r).Ascq())
inline ::testing::AssertionResult HasSense(const Result& R, int Key, int Asc, int Ascq) {
    if (R.reply.status == 0x02 && R.Key() == Key && R.Asc() == Asc && R.Ascq() == Ascq)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hex << "status " << int(R.reply.status) << " sense " << int(R.Key())
                                         << "/" << int(R.Asc()) << "/" << int(R.Ascq()) << ", expected " << Key
                                         << "/" << Asc << "/" << Ascq;
}
#define EXPECT_SENSE(r, k, a, q) EXPECT_TRUE(::vdrive::test::HasSense((r), k, a, q))

// Stops the recorder's clock of this process at the present time until the
// object goes; Advance moves it on. Long operations then progress only when
// the test says so.
class FrozenClock {
public:
    FrozenClock() {
        now_ = WallClockMs();
        SetTestClock([] { return now_.load(); });
    }
    ~FrozenClock() { SetTestClock(nullptr); }
    FrozenClock(const FrozenClock&) = delete;
    FrozenClock& operator=(const FrozenClock&) = delete;
    void Advance(int64_t Ms) { now_ += Ms; }

private:
    static inline std::atomic<int64_t> now_{0};
};

class DriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("KESTREL_VDRIVE_TIME_SCALE", "0", 1);
        set_ = std::make_unique<StateDriveSet>(folder_.Path());
    }
    void TearDown() override { unsetenv("KESTREL_VDRIVE_TIME_SCALE"); }

    Drive& D(int N = 0) { return set_->At(N); }
    void Insert(MediaKind Kind, int N = 0) { D(N).Insert(Medium::Blank(Kind)); }

    Result In(std::initializer_list<uint8_t> Cdb, size_t Length, int N = 0) {
        Result r;
        r.data.assign(Length, 0xEE);
        std::vector<uint8_t> cdb(Cdb);
        r.reply = set_->Execute(N, cdb.data(), cdb.size(), r.data.data(), r.data.size(), Direction::In);
        r.data.resize(r.reply.transferred);
        return r;
    }
    Result Out(std::initializer_list<uint8_t> Cdb, std::vector<uint8_t> Data, int N = 0) {
        Result r;
        std::vector<uint8_t> cdb(Cdb);
        r.reply = set_->Execute(N, cdb.data(), cdb.size(), Data.data(), Data.size(), Direction::Out);
        return r;
    }
    Result None(std::initializer_list<uint8_t> Cdb, int N = 0) {
        Result r;
        std::vector<uint8_t> cdb(Cdb);
        r.reply = set_->Execute(N, cdb.data(), cdb.size(), nullptr, 0, Direction::None);
        return r;
    }

    static std::vector<uint8_t> Blocks(uint32_t Count, uint8_t Fill) {
        return std::vector<uint8_t>(size_t(Count) * 2048, Fill);
    }
    static uint8_t B(uint32_t V, int Shift) { return uint8_t(V >> Shift); }

    Result Write10(uint32_t Lba, uint32_t Count, uint8_t Fill = 0x5A, int N = 0) {
        return Out({0x2A, 0, B(Lba, 24), B(Lba, 16), B(Lba, 8), B(Lba, 0), 0, B(Count, 8), B(Count, 0), 0},
                   Blocks(Count, Fill), N);
    }
    Result Read10(uint32_t Lba, uint32_t Count, int N = 0) {
        return In({0x28, 0, B(Lba, 24), B(Lba, 16), B(Lba, 8), B(Lba, 0), 0, B(Count, 8), B(Count, 0), 0},
                  size_t(Count) * 2048, N);
    }
    Result DiscInfo(int N = 0) { return In({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, 34, N); }
    Result TrackInfo(uint32_t Track, int N = 0) {
        return In({0x52, 1, B(Track, 24), B(Track, 16), B(Track, 8), B(Track, 0), 0, 0, 48, 0}, 48, N);
    }
    Result CloseTrack(uint16_t Track, int N = 0) { return None({0x5B, 0, 1, 0, B(Track, 8), B(Track, 0), 0, 0, 0, 0}, N); }
    Result CloseSession(int N = 0) { return None({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}, N); }
    // Mode page 05h with a write type, multisession field and test bit.
    Result SetWritePage(uint8_t WriteType, uint8_t Multisession, bool Test = false, int N = 0) {
        std::vector<uint8_t> list(60, 0);
        list[8] = 0x05;
        list[9] = 0x32;
        list[10] = uint8_t(WriteType | (Test ? 0x10 : 0));
        list[11] = uint8_t(Multisession << 6 | 0x04);
        list[12] = 0x08;
        return Out({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, list, N);
    }

    TempFolder folder_;
    std::unique_ptr<StateDriveSet> set_;
};

}  // namespace vdrive::test
