// 64-bit file streams, date conversions under several zones, and names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <stdexcept>

#include "burner/iso/DateTime.h"
#include "burner/iso/Names.h"
#include "burner/iso/StreamEx.h"
#include "support/TestSupport.h"

namespace kestrel::test {
namespace {

TEST(StreamExTest, SizeAndPositionsBeyond4GiB) {
    TTempDir dir;
    const std::string path = dir / "sparse.bin";
    {
        TFileStreamEx out(path, fmCreate);
        ASSERT_GE(out.Handle(), 0);
        out.SetSize(int64_t{5} << 30);
        EXPECT_EQ(out.Seek((int64_t{4} << 30) + 10, soFromBeginning), (int64_t{4} << 30) + 10);
        EXPECT_EQ(out.Write("tail", 4), 4);
    }
    TFileStreamEx in(path, fmOpenRead | fmShareDenyNone);
    ASSERT_GE(in.Handle(), 0);
    EXPECT_EQ(in.Seek(123, soFromBeginning), 123);
    EXPECT_EQ(in.GetSize(), 5368709120);
    EXPECT_EQ(in.Seek(0, soFromCurrent), 123);
    EXPECT_EQ(in.Seek((int64_t{4} << 30) + 8, soFromBeginning), (int64_t{4} << 30) + 8);
    char buffer[8] = {};
    EXPECT_EQ(in.Read(buffer, 6), 6);
    EXPECT_EQ(std::memcmp(buffer, "\0\0tail", 6), 0);
    EXPECT_EQ(in.Seek(-2, soFromEnd), (int64_t{5} << 30) - 2);
    EXPECT_EQ(in.Read(buffer, 8), 2);
    EXPECT_THROW(in.Read(buffer, -1), std::out_of_range);
    EXPECT_EQ(in.Seek(0, 7), -1);
}

TEST(StreamExTest, CreateTruncatesAndMissingFilesGiveNoHandle) {
    TTempDir dir;
    WriteFile(dir / "old.bin", "old content");
    { TFileStreamEx created(dir / "old.bin", fmCreate); }
    EXPECT_EQ(ReadFile(dir / "old.bin"), "");

    TFileStreamEx missing(dir / "missing.bin", fmOpenRead);
    EXPECT_EQ(missing.Handle(), -1);
    char buffer[4];
    EXPECT_EQ(missing.Read(buffer, 4), 0);
    EXPECT_EQ(missing.Write("abcd", 4), 0);

    TFileStreamEx readOnly(dir / "old.bin", fmOpenRead);
    EXPECT_EQ(readOnly.Write("abcd", 4), 0);
}

TEST(StreamExTest, OpeningAFifoNeverBlocks) {
    TTempDir dir;
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    TFileStreamEx pipe(dir / "pipe", fmOpenRead);
    ASSERT_GE(pipe.Handle(), 0);
    char buffer[4];
    EXPECT_EQ(pipe.Read(buffer, 4), 0);
}

// Sets TZ for the life of the object and re-reads the zone.
class TScopedZone {
public:
    explicit TScopedZone(const char* Zone) : env_("TZ", Zone) { tzset(); }
    ~TScopedZone() { tzset(); }

private:
    TScopedEnv env_;
};

TEST(DateTimeTest, EncodeAndDecodeAreInverse) {
    EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_EQ(EncodeDateTime({1970, 1, 1, 0, 0, 0}), 25569.0);
    EXPECT_EQ(EncodeDateTime({2000, 2, 29, 12, 0, 0}), 36585.5);
    const TDateParts parts = DecodeDateTime(EncodeDateTime({2024, 12, 31, 23, 59, 59}));
    EXPECT_EQ(parts.Year, 2024);
    EXPECT_EQ(parts.Month, 12);
    EXPECT_EQ(parts.Day, 31);
    EXPECT_EQ(parts.Hour, 23);
    EXPECT_EQ(parts.Minute, 59);
    EXPECT_EQ(parts.Second, 59);
}

TEST(DateTimeTest, LocalTimesAndOffsetUnderHalfHourZones) {
    const time_t moment = 1700000000;  // 2023-11-14 22:13:20 UTC
    {
        TScopedZone zone("Asia/Kolkata");  // +05:30
        const TDateParts parts = DecodeDateTime(UnixToDateTime(moment));
        EXPECT_EQ(parts.Day, 15);
        EXPECT_EQ(parts.Hour, 3);
        EXPECT_EQ(parts.Minute, 43);
        EXPECT_EQ(LocalGMTOffset(), 22);
        EXPECT_EQ(DateTimeToUnix(UnixToDateTime(moment)), moment);
    }
    {
        TScopedZone zone("America/St_Johns");  // -03:30 in November
        const TDateParts parts = DecodeDateTime(UnixToDateTime(moment));
        EXPECT_EQ(parts.Day, 14);
        EXPECT_EQ(parts.Hour, 18);
        EXPECT_EQ(parts.Minute, 43);
        tm local{};
        const time_t now = time(nullptr);
        localtime_r(&now, &local);
        EXPECT_EQ(LocalGMTOffset(), local.tm_gmtoff / 900);
        EXPECT_TRUE(LocalGMTOffset() == -14 || LocalGMTOffset() == -10);
        EXPECT_EQ(DateTimeToUnix(UnixToDateTime(moment)), moment);
    }
}

TEST(NamesTest, Utf8IsCheckedAndRepaired) {
    EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(IsValidUtf8("cut \xE2\x82"));      // truncated
    EXPECT_EQ(SanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(UpperAscii("abc\xC3\xA9z"), "ABC\xC3\xA9Z");
}

TEST(NamesTest, JolietFormIsUtf16BigEndianWithSurrogates) {
    EXPECT_EQ(Utf8ToUtf16BE("a\xC3\xA9"), std::string("\0a\0\xE9", 4));
    EXPECT_EQ(Utf8ToUtf16BE("\xF0\x9F\x98\x80"), std::string("\xD8\x3D\xDE\x00", 4));
    EXPECT_EQ(Utf16Length("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), 5u);
}

TEST(NamesTest, ShortNamesAreCutAtCharacterBoundariesKeepingTheExtension) {
    std::string name;
    for (int i = 0; i < 100; ++i) name += "\xE2\x82\xAC";  // 300 bytes
    const std::string fitted = FitShortName(name + ".TXT", MaxFileShortBytes, true);
    EXPECT_LE(fitted.size(), MaxFileShortBytes);
    EXPECT_TRUE(IsValidUtf8(fitted));
    EXPECT_EQ(fitted.substr(fitted.size() - 4), ".TXT");
    const std::string dir = FitShortName(name, MaxDirShortBytes, false);
    EXPECT_LE(dir.size(), MaxDirShortBytes);
    EXPECT_TRUE(IsValidUtf8(dir));
    EXPECT_EQ(FitShortName("SHORT.TXT", MaxFileShortBytes, true), "SHORT.TXT");
    EXPECT_EQ(DirShortNameFromName("caf\xC3\xA9 menu_{x}-longer"), "CAF__MENU__X_");
}

}  // namespace
}  // namespace kestrel::test
