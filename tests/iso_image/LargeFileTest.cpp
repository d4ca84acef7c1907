// Files of 4 GiB and more: stored as several extents in both trees, the
// image keeping the source's holes, and read back whole by peers. The
// source is a sparse file of 4.7 GB, so the test costs little disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ImageTestSupport.h"
#include "support/SparseFile.h"
#include "burner/engine/DirectoryRecord.h"
#include "burner/iso/DirRecordLayout.h"

namespace kestrel::test {

namespace fs = std::filesystem;

namespace {

constexpr int64_t BigSize = 4'700'000'000;
constexpr int64_t ExtentBytes = iso::record::MaxExtentBytes;
// Marks at the start, across the first extent's end and at the end.
const TMarks Marks = {
    {0, "HEAD"}, {ExtentBytes - 3, "ACROSS"}, {BigSize - 4, "TAIL"}};

// A parsed record with its own copy of the name (the parser's points into
// the sector it read).
struct TListedRecord : TDirRecord {
    std::string NameText;
};

// The records of a directory extent, read with the import's parser.
std::vector<TListedRecord> Records(const std::string& Image, int64_t Lba) {
    const std::string sector = ReadBytes(Image, Lba * 2048, 2048);
    std::vector<TListedRecord> records;
    for (size_t at = 0;;) {
        TListedRecord r;
        if (ParseDirRecord(reinterpret_cast<const uint8_t*>(sector.data()), at, sector.size(), r) != TRecordParse::Ok)
            break;
        if (!r.IsSelfOrParent()) {
            r.NameText.assign(reinterpret_cast<const char*>(r.Name), r.NameLength);
            r.Name = nullptr;
            records.push_back(r);
        }
        at += r.Length;
    }
    return records;
}

class LargeFile : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        // The image and the source are sparse; a few MiB of real disk do.
        if (!RoomFor(dir.Path(), 256 << 20)) GTEST_SKIP() << "too little free space in " << dir.Path();
        WriteSparse(big, BigSize, Marks);
        image.RockRidge = GetParam();
        image.Source(image.RootDir, "big.bin", big);
        image.Source(image.RootDir, "after.txt", Small());
        image.QuickSaveToISOFile(iso);
    }
    std::string Small() {
        WriteFile(dir / "after.txt", "after");
        return dir / "after.txt";
    }

    TTempDir dir;
    const std::string big = dir / "big.bin";
    const std::string iso = dir / "image.iso";
    TTestImage image;
};

}  // namespace

TEST_P(LargeFile, IsStoredInSeveralExtentsInBothTreesAndStaysSparse) {
    EXPECT_TRUE(image.Logged("STORED IN 2 EXTENTS")) << image.Log.size();
    EXPECT_EQ(image.CompilationSize, (BigSize + 2047) / 2048 * 2048 + 2048);
    for (const int64_t dirLba : {int64_t(image.ISODirArea), int64_t(image.JolietDirArea)}) {
        const std::vector<TListedRecord> records = Records(iso, dirLba);
        ASSERT_EQ(records.size(), 3u) << dirLba;
        EXPECT_TRUE(records[0].IsMultiExtent());
        EXPECT_EQ(records[0].DataLength, uint32_t(ExtentBytes));
        EXPECT_FALSE(records[1].IsMultiExtent());
        EXPECT_EQ(records[1].DataLength, uint32_t(BigSize - ExtentBytes));
        EXPECT_EQ(records[1].Extent, records[0].Extent + ExtentBytes / 2048);
        EXPECT_EQ(records[0].NameText, records[1].NameText);
        // The next file follows the large one's last sector.
        EXPECT_EQ(records[2].Extent, records[1].Extent + (BigSize - ExtentBytes + 2047) / 2048);
        for (const auto& [at, text] : Marks)
            EXPECT_EQ(ReadBytes(iso, int64_t(records[0].Extent) * 2048 + at, text.size()), text) << at;
    }
    struct stat st {};
    ASSERT_EQ(::stat(iso.c_str(), &st), 0);
    EXPECT_GT(st.st_size, BigSize);
    EXPECT_LT(int64_t(st.st_blocks) * 512, int64_t(64) << 20) << "the image lost the source's holes";
}

TEST_P(LargeFile, PeersReadItWhole) {
    for (const char* tool : {"xorriso", "bsdtar"})
        if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    // Joliet names when there is no Rock Ridge: the same name either way.
    const std::string name = "big.bin";
    const TRunResult listed = RunTool("xorriso -indev " + Quote(iso) + " -find / -exec lsdl </dev/null");
    ASSERT_EQ(listed.Status, 0) << listed.Output;
    EXPECT_NE(listed.Output.find(std::to_string(BigSize)), std::string::npos) << listed.Output;

    // Across the first extent's end, by xorriso.
    const TRunResult cut = RunTool("xorriso -osirrox on -indev " + Quote(iso) + " -extract_cut /" + name + " " +
                                   std::to_string(ExtentBytes - 3) + " 6 " + Quote(dir / "cut") + " </dev/null");
    ASSERT_EQ(cut.Status, 0) << cut.Output;
    EXPECT_EQ(ReadFile(dir / "cut"), "ACROSS");

    // The whole file by bsdtar, streamed and compared with what the source
    // holds: zeros but for the marks. Once is enough: it reads the same
    // extents with or without Rock Ridge.
    if (!GetParam()) return;
    FILE* stream = ::popen(("bsdtar -xOf " + Quote(iso) + " big.bin 2>/dev/null").c_str(), "r");
    ASSERT_NE(stream, nullptr);
    const TSparseComparison read = CompareWithMarks(stream, Marks);
    EXPECT_EQ(::pclose(stream), 0);
    EXPECT_EQ(read.Bytes, BigSize);
    EXPECT_EQ(read.MismatchedChunks, 0);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutRockRidge, LargeFile, ::testing::Bool(),
                         [](const auto& Info) { return Info.param ? "RockRidge" : "Plain"; });

}  // namespace kestrel::test
