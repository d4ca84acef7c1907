// The read-ahead cache on its own: the stream it produces from a head and
// real files, its padding, its failures and its tear-down.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

#include "burner/engine/CacheThread.h"
#include "support/TestSupport.h"

namespace kestrel {
namespace {

using test::TTempDir;
using test::WriteFile;

// Collects log lines from any thread.
class TLogSink : public TDebugLog {
public:
    TLogSink() {
        OnDebugMessage = [this](TDebugLog*, const std::string& Line, uint8_t) {
            std::lock_guard lock(mutex);
            lines.push_back(Line);
        };
    }
    std::vector<std::string> Lines() {
        std::lock_guard lock(mutex);
        return lines;
    }

private:
    std::mutex mutex;
    std::vector<std::string> lines;
};

std::string Pattern(size_t Size, char Seed) {
    std::string bytes(Size, 0);
    for (size_t i = 0; i < Size; ++i) bytes[i] = static_cast<char>(Seed + i * 7 % 251);
    return bytes;
}

// Takes every block of the stream; the block sizes go to Sizes.
std::string Drain(TCacheThread& Cache, std::vector<int32_t>* Sizes = nullptr) {
    std::string stream;
    std::vector<uint8_t> buffer(TCacheThread::MaxBlockSize);
    for (;;) {
        const int32_t n = Cache.WaitBlock(buffer.data(), 5000);
        if (n == 0) break;
        if (n < 0) continue;
        if (Sizes) Sizes->push_back(n);
        stream.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(n));
    }
    return stream;
}

struct CacheStream : ::testing::Test {
    TTempDir dir;
    TLogSink log;
    std::vector<uint8_t> head = std::vector<uint8_t>(4 * 2048, 0xAB);

    TCacheJob Job(std::vector<TCacheSource> Files, int64_t TotalBytes) {
        TCacheJob job;
        job.Head = head.data();
        job.HeadSize = head.size();
        job.Files = std::move(Files);
        job.TotalBytes = TotalBytes;
        return job;
    }
};

TEST_F(CacheStream, SmallImageIsOneBlockOfHeadAndSectorAlignedFiles) {
    const std::string one = dir / "one.bin", two = dir / "two.bin";
    WriteFile(one, "x");
    WriteFile(two, Pattern(3000, 'a'));
    TCacheThread cache(Job({{one, 1}, {two, 3000}}, (4 + 1 + 2) * 2048), &log);
    std::vector<int32_t> sizes;
    const std::string stream = Drain(cache, &sizes);

    ASSERT_EQ(sizes, std::vector<int32_t>({7 * 2048}));
    EXPECT_TRUE(cache.Primed());
    EXPECT_EQ(stream.substr(0, 4 * 2048), std::string(4 * 2048, '\xAB'));
    // A 1-byte file fills a whole sector with zeros after it; the next file
    // starts 2,048 bytes later.
    EXPECT_EQ(stream.substr(4 * 2048, 2048), "x" + std::string(2047, '\0'));
    EXPECT_EQ(stream.substr(5 * 2048, 3000), Pattern(3000, 'a'));
    EXPECT_EQ(stream.substr(5 * 2048 + 3000), std::string(2 * 2048 - 3000, '\0'));
    EXPECT_TRUE(cache.ErrorText().empty());
    EXPECT_EQ(cache.RemainingBytes(), 0);
}

TEST_F(CacheStream, BlocksAreWholeBlockSizeExceptTheLastAndZeroGapsAreZeros) {
    const std::string big = dir / "big.bin";
    WriteFile(big, Pattern(200000, 'q'));
    TCacheJob job = Job({{"", 3 * 2048}, {big, 200000}}, (4 + 3 + 98) * 2048);
    job.BlockSize = 27 * 2048;
    TCacheThread cache(std::move(job), &log);
    std::vector<int32_t> sizes;
    const std::string stream = Drain(cache, &sizes);

    ASSERT_EQ(stream.size(), size_t(105 * 2048));
    for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 27 * 2048);
    EXPECT_EQ(sizes.back() % 2048, 0);
    EXPECT_EQ(stream.substr(4 * 2048, 3 * 2048), std::string(3 * 2048, '\0'));
    EXPECT_EQ(stream.substr(7 * 2048, 200000), Pattern(200000, 'q'));
}

TEST_F(CacheStream, PadsAShortCompilationToThreeHundredSectors) {
    const std::string file = dir / "f.bin";
    WriteFile(file, Pattern(96 * 2048, 'p'));
    TCacheJob job = Job({{file, 96 * 2048}}, 100 * 2048);
    job.PadToMinimum = true;
    TCacheThread cache(std::move(job), &log);
    EXPECT_TRUE(cache.WaitPrimed(5000));
    EXPECT_EQ(cache.RemainingBytes() + 0, 300 * 2048);
    const std::string stream = Drain(cache);

    ASSERT_EQ(stream.size(), size_t(300 * 2048));
    EXPECT_EQ(stream.substr(100 * 2048), std::string(200 * 2048, '\0'));
}

TEST_F(CacheStream, ImageFileIgnoresHeadPadsItsLastSectorWithZerosAndNothingMore) {
    const std::string image = dir / "image.iso";
    WriteFile(image, Pattern(1000000, 'i'));
    TCacheJob job = Job({}, 489 * 2048);
    job.ImageFileName = image;
    job.PadToMinimum = true;
    TCacheThread cache(std::move(job), &log);
    const std::string stream = Drain(cache);

    ASSERT_EQ(stream.size(), size_t(489 * 2048));
    EXPECT_EQ(stream.substr(0, 1000000), Pattern(1000000, 'i'));
    EXPECT_EQ(stream.substr(1000000), std::string(489 * 2048 - 1000000, '\0'));
}

TEST_F(CacheStream, SourceThatChangedSizeKeepsItsLaidOutLengthAndIsNamed) {
    const std::string shrunk = dir / "shrunk.bin", grown = dir / "grown.bin";
    WriteFile(shrunk, Pattern(1000, 's'));
    WriteFile(grown, Pattern(5000, 'g'));
    TCacheThread cache(Job({{shrunk, 3000}, {grown, 2048}}, (4 + 2 + 1) * 2048), &log);
    const std::string stream = Drain(cache);

    ASSERT_EQ(stream.size(), size_t(7 * 2048));
    EXPECT_TRUE(cache.ErrorText().empty());
    EXPECT_EQ(stream.substr(4 * 2048, 1000), Pattern(1000, 's'));
    EXPECT_EQ(stream.substr(4 * 2048 + 1000, 3096), std::string(3096, '\0'));
    EXPECT_EQ(stream.substr(6 * 2048), Pattern(5000, 'g').substr(0, 2048));
    EXPECT_EQ(cache.ChangedFiles(), (std::vector<std::string>{shrunk, grown}));
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(shrunk), std::string::npos);
    EXPECT_NE(lines[0].find("PADDED WITH ZEROS"), std::string::npos);
    EXPECT_NE(lines[1].find(grown), std::string::npos);
    EXPECT_NE(lines[1].find("CUT"), std::string::npos);
}

TEST_F(CacheStream, BootRegionOfWholeSectorsIsNotAChangedFile) {
    const std::string boot = dir / "boot.img";
    WriteFile(boot, Pattern(3000, 'b'));
    TCacheThread cache(Job({{boot, 2 * 2048, true}}, 6 * 2048), &log);
    EXPECT_EQ(Drain(cache).size(), size_t(6 * 2048));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(cache.ChangedFiles().empty());
}

TEST_F(CacheStream, MissingSourceFailsWithItsNameAfterTheBlocksBeforeIt) {
    const std::string missing = dir / "missing.bin";
    TCacheThread cache(Job({{missing, 10}}, 5 * 2048), &log);
    EXPECT_TRUE(cache.WaitPrimed(5000));
    Drain(cache);
    EXPECT_TRUE(cache.Done());
    EXPECT_EQ(cache.ErrorText(),
              "CAN'T OPEN FILE \"" + missing + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_EQ(cache.CurrentFile(), missing);
}

TEST_F(CacheStream, DirectoryOrFIFOInPlaceOfAFileIsNamedForWhatItIs) {
    TCacheThread directory(Job({{dir.Path().string(), 10}}, 5 * 2048), &log);
    Drain(directory);
    EXPECT_EQ(directory.ErrorText(), "CAN'T OPEN FILE \"" + dir.Path().string() + "\": IT IS A DIRECTORY");

    // Opening a FIFO for reading must not wait for a writer.
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    TCacheThread pipe(Job({{fifo, 10}}, 5 * 2048), &log);
    Drain(pipe);
    EXPECT_EQ(pipe.ErrorText(), "CAN'T OPEN FILE \"" + fifo + "\": IT IS A FIFO");
}

TEST_F(CacheStream, StreamShorterThanTheLayoutIsAnInternalError) {
    const std::string file = dir / "f.bin";
    WriteFile(file, "abc");
    TCacheThread cache(Job({{file, 3}}, 9 * 2048), &log);
    Drain(cache);
    EXPECT_EQ(cache.ErrorText(), "INTERNAL ERROR 0005");
}

struct CacheQueue : CacheStream {
    std::string big = dir / "big.bin";
    void SetUp() override { WriteFile(big, std::string(8 * 1024 * 1024, 'z')); }
};

TEST_F(CacheQueue, FillsUpToOneBlockBelowItsBudgetThenWaits) {
    TCacheJob job = Job({{big, 8 * 1024 * 1024}}, 4 * 2048 + 8 * 1024 * 1024);
    job.CacheSize = 2097152;  // 32 blocks of 64 KiB
    TCacheThread cache(std::move(job), &log);
    ASSERT_TRUE(cache.WaitPrimed(5000));
    EXPECT_EQ(cache.MaxBlocks(), 32);
    EXPECT_EQ(cache.BufferedBytes(), 31 * 65536);
    EXPECT_FALSE(cache.Done());
    EXPECT_EQ(Drain(cache).size(), size_t(4 * 2048 + 8 * 1024 * 1024));
}

TEST_F(CacheQueue, AbortWhileFullReleasesTheQueue) {
    TCacheJob job = Job({{big, 8 * 1024 * 1024}}, 4 * 2048 + 8 * 1024 * 1024);
    job.CacheSize = 2097152;
    TCacheThread cache(std::move(job), &log);
    ASSERT_TRUE(cache.WaitPrimed(5000));
    cache.AbortRead();
    cache.Join();
    std::vector<uint8_t> buffer(TCacheThread::MaxBlockSize);
    EXPECT_EQ(cache.TakeBlock(buffer.data()), 0);
    EXPECT_EQ(cache.BufferedBytes(), 0);
    EXPECT_TRUE(cache.Done());
    EXPECT_EQ(cache.ErrorText(), "OPERATION ABORTED BY USER");
}

TEST_F(CacheQueue, FirstErrorWinsOverALaterAbort) {
    TCacheThread cache(Job({{dir / "missing", 10}}, 5 * 2048), &log);
    cache.Join();
    cache.Fail("OPERATION ABORTED BY USER");
    EXPECT_NE(cache.ErrorText().find("CAN'T OPEN FILE"), std::string::npos);
}

// The producer waits for room with the big file open in the middle of it.
TEST_F(CacheQueue, FileThatShrinksWhileItIsReadIsPaddedAndRecordedAsChanged) {
    TCacheJob job = Job({{big, 8 * 1024 * 1024}}, 4 * 2048 + 8 * 1024 * 1024);
    job.CacheSize = 2097152;
    TCacheThread cache(std::move(job), &log);
    ASSERT_TRUE(cache.WaitPrimed(5000));
    ASSERT_EQ(::truncate(big.c_str(), 1024 * 1024), 0);
    const std::string stream = Drain(cache);

    EXPECT_EQ(cache.ErrorText(), "");
    ASSERT_EQ(stream.size(), size_t(4 * 2048 + 8 * 1024 * 1024));
    EXPECT_EQ(stream.substr(stream.size() - 65536), std::string(65536, '\0'));
    EXPECT_EQ(cache.ChangedFiles(), std::vector<std::string>{big});
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_NE(log.Lines()[0].find("ENDED AFTER"), std::string::npos) << log.Lines()[0];
}

TEST_F(CacheQueue, FileWrittenToWhileItIsReadIsRecordedAsChanged) {
    // An old modification time, so that the write surely changes it.
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, big.c_str(), old, 0), 0);
    TCacheJob job = Job({{big, 8 * 1024 * 1024}}, 4 * 2048 + 8 * 1024 * 1024);
    job.CacheSize = 2097152;
    TCacheThread cache(std::move(job), &log);
    ASSERT_TRUE(cache.WaitPrimed(5000));
    {
        std::fstream file(big, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(100);
        file << "changed";
    }
    EXPECT_EQ(Drain(cache).size(), size_t(4 * 2048 + 8 * 1024 * 1024));
    EXPECT_EQ(cache.ErrorText(), "");
    EXPECT_EQ(cache.ChangedFiles(), std::vector<std::string>{big});
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_NE(log.Lines()[0].find("CHANGED WHILE IT WAS READ"), std::string::npos) << log.Lines()[0];
}

TEST_F(CacheQueue, PollingTakeBlockGetsEveryBlockThenZero) {
    TCacheJob job = Job({{big, 8 * 1024 * 1024}}, 4 * 2048 + 8 * 1024 * 1024);
    job.CacheSize = 2097152;
    TCacheThread cache(std::move(job), &log);
    ASSERT_TRUE(cache.WaitPrimed(5000));
    std::vector<uint8_t> buffer(TCacheThread::MaxBlockSize);
    // Polling faster than the queue refills meets -1 on the way; it only
    // means "ask again".
    int blocks = 0;
    for (int n; (n = cache.TakeBlock(buffer.data())) != 0;)
        if (n > 0) ++blocks;
    EXPECT_EQ(blocks, 129);  // 4 head sectors and 8 MiB: 128 full blocks and one of 4 sectors
    EXPECT_TRUE(cache.Done());
}

}  // namespace
}  // namespace kestrel
