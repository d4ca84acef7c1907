// A peer's disc holding a file larger than a single-layer DVD: xorriso's
// level 3 image with Rock Ridge and Joliet, on a DVD+R DL in the virtual
// recorder. The import joins the file's extents into one entry of the whole
// size, and the extraction copies every extent, keeping the holes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "ImportRig.h"
#include "support/SparseFile.h"
#include "burner/iso/DirRecordLayout.h"

namespace kestrel::test {
namespace {

constexpr int64_t kBigBytes = 4'800'000'000;  // more than a DVD+R holds
constexpr int64_t kExtentBytes = iso::record::MaxExtentBytes;
const TMarks kMarks = {{0, "HEAD"}, {kExtentBytes - 3, "ACROSS"}, {kBigBytes - 4, "TAIL"}};

TEST(PeerLargeFile, XorrisoDiscOnADvdPlusRDlComesBackWhole) {
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    TImportRig rig;
    // xorriso writes the holes out; they are dug again before the insert.
    if (!RoomFor(rig.work.Path(), 12'000'000'000)) GTEST_SKIP() << "too little free space";
    const std::string src = rig.work / "src", image = rig.work / "dl.iso", out = rig.work / "out";
    WriteSparse(src + "/big.bin", kBigBytes, kMarks);
    WriteFile(src + "/small.txt", "small\n");
    const TRun made = Shell("xorriso -as mkisofs -R -J -iso-level 3 -o " + image + " " + src + " 2>&1 && fallocate -d " +
                            image);
    ASSERT_EQ(made.ExitCode, 0) << made.Output;
    rig.Insert(TImportRig::kDvdDrive, vdrive::MediaKind::DvdPlusRDl, image);

    ASSERT_TRUE(rig.Import(TImportRig::kDvdDrive, -1)) << rig.LogText();
    const TFEntry* big = rig.Find("/big.bin");
    ASSERT_NE(big, nullptr) << rig.LogText();
    EXPECT_EQ(big->ISOSize, kBigBytes);
    EXPECT_EQ(big->Extents.size(), 2u);
    ASSERT_NE(rig.Find("/small.txt"), nullptr);

    std::filesystem::create_directories(out);
    ASSERT_TRUE(rig.burner.ExtractFile(big, out + "/big.bin")) << rig.LogText();
    FILE* copy = std::fopen((out + "/big.bin").c_str(), "rb");
    ASSERT_NE(copy, nullptr);
    const TSparseComparison read = CompareWithMarks(copy, kMarks);
    std::fclose(copy);
    EXPECT_EQ(read.Bytes, kBigBytes);
    EXPECT_EQ(read.MismatchedChunks, 0);
    struct stat st {};
    ASSERT_EQ(::stat((out + "/big.bin").c_str(), &st), 0);
    EXPECT_LT(int64_t(st.st_blocks) * 512, int64_t(64) << 20) << "the copy lost the holes";
}

}  // namespace
}  // namespace kestrel::test
