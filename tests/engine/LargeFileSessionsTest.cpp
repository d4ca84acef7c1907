// A DVD+RW whose first session holds a file of 4 GiB and more (several
// extents, sparse) and Rock Ridge entries, and whose second session was
// burnt over an import of the first: the second session's tree keeps the
// large file in the first session's extents, with its mode, and the link,
// and a peer (xorriso) reads them all off the disc.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "BurnRig.h"
#include "support/SparseFile.h"
#include "burner/iso/DirRecordLayout.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
namespace fs = std::filesystem;

constexpr int64_t kLargeBytes = (int64_t{4} << 30) + (1 << 20);
constexpr int64_t kExtentBytes = iso::record::MaxExtentBytes;
// Marks at the start, across the first extent's end and at the end.
const TMarks kMarks = {
    {0, "HEAD"}, {kExtentBytes - 3, "ACROSS"}, {kLargeBytes - 4, "TAIL"}};

const TFEntry* FindPath(TKestrelBurner& Burner, const std::vector<std::string>& Names) {
    TDEntry* dir = Burner.RootDir;
    const TFEntry* entry = nullptr;
    for (const std::string& name : Names) {
        if (!dir) return nullptr;
        entry = Burner.FindFileEntry(dir, name);
        // A file without extension is stored with a "." appended.
        if (!entry) entry = Burner.FindFileEntry(dir, name + ".");
        if (!entry) return nullptr;
        dir = entry->Dir;
    }
    return entry;
}

TEST(LargeFileSessions, XorrisoPeerReadsSessionOnesLargeFileAndLinkAfterSessionTwo) {
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    TBurnRig rig;
    // The source, the disc and its dump are sparse: a few MiB of real disk.
    if (!RoomFor(rig.files.Path(), 256 << 20)) GTEST_SKIP() << "too little free space";
    const std::string first = rig.files / "first";
    WriteSparse(first + "/keep/large.bin", kLargeBytes, kMarks);
    WriteFile(first + "/keep/notes.txt", "notes\n");
    fs::permissions(first + "/keep/notes.txt", fs::perms(0640));
    fs::create_symlink("large.bin", first + "/keep/latest");
    ASSERT_TRUE(rig.Open());
    rig.Insert(vdrive::MediaKind::DvdPlusRw);
    rig.Fill(first);
    ASSERT_EQ(rig.Burn(), "");

    rig.burner.ClearAll(65535, 8191);
    ASSERT_TRUE(rig.burner.ImportDiscSession(-1, nullptr));
    const TFEntry* large = FindPath(rig.burner, {"keep", "large.bin"});
    ASSERT_NE(large, nullptr);
    const std::vector<TFileExtent> extents = large->Extents;
    ASSERT_EQ(extents.size(), 2u);
    EXPECT_EQ(large->ISOSize, kLargeBytes);
    WriteFile(rig.files / "second/new.txt", "second session\n");
    ASSERT_EQ(rig.burner.InsertDir(rig.burner.RootDir, rig.files / "second", "*.*", 63, true, false, false), 1);
    ASSERT_EQ(rig.Burn(), "");

    // Kestrel reads the second session as it wrote it.
    rig.burner.ClearAll(65535, 8191);
    ASSERT_TRUE(rig.burner.ImportDiscSession(-1, nullptr));
    const TFEntry* carried = FindPath(rig.burner, {"keep", "large.bin"});
    ASSERT_NE(carried, nullptr);
    EXPECT_EQ(carried->Extents, extents);
    const TFEntry* link = FindPath(rig.burner, {"keep", "latest"});
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->LinkTarget, "large.bin");
    ASSERT_NE(FindPath(rig.burner, {"new.txt"}), nullptr);

    // And so does xorriso: the last session of a DVD+RW starts at sector 0.
    const std::string dump = rig.Dump();
    int status = -1;
    const std::string listed = RunCommand("xorriso -indev stdio:" + Quote(dump) + " -find / -exec lsdl 2>&1", &status);
    ASSERT_EQ(status, 0) << listed;
    EXPECT_NE(listed.find(std::to_string(kLargeBytes)), std::string::npos) << listed;
    EXPECT_NE(listed.find("'/keep/latest' -> 'large.bin'"), std::string::npos) << listed;
    EXPECT_NE(listed.find("-rw-r-----"), std::string::npos) << listed;
    EXPECT_NE(listed.find("'/new.txt'"), std::string::npos) << listed;
    // Where xorriso finds the file's extents ("File data lba: xt , start ,
    // blocks , size , path"), and the marks at those sectors of the disc.
    const std::string lba = RunCommand("xorriso -indev stdio:" + Quote(dump) +
                                           " -find /keep/large.bin -exec report_lba 2>&1",
                                       &status);
    ASSERT_EQ(status, 0) << lba;
    std::vector<int64_t> starts;
    const std::regex line(R"(File data lba:\s*(\d+)\s*,\s*(\d+)\s*,)");
    for (std::sregex_iterator m(lba.begin(), lba.end(), line), end; m != end; ++m) starts.push_back(std::stoll((*m)[2]));
    ASSERT_EQ(starts.size(), 2u) << lba;
    EXPECT_EQ(starts[0], extents[0].Lba);
    EXPECT_EQ(starts[1], extents[1].Lba);
    std::ifstream disc(dump, std::ios::binary);
    const auto bytesAt = [&](int64_t Offset, size_t Count) {
        std::string bytes(Count, '\0');
        disc.seekg(Offset);
        disc.read(bytes.data(), std::streamsize(Count));
        return bytes;
    };
    EXPECT_EQ(bytesAt(starts[0] * 2048, 4), "HEAD");
    EXPECT_EQ(bytesAt(starts[0] * 2048 + kExtentBytes - 3, 3) + bytesAt(starts[1] * 2048, 3), "ACROSS");
    EXPECT_EQ(bytesAt(starts[1] * 2048 + (kLargeBytes - kExtentBytes) - 4, 4), "TAIL");
}

}  // namespace
}  // namespace kestrel
