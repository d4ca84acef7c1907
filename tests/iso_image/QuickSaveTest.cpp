// The quick save: what lands in the image file, and how sources that
// changed or fail and targets that cannot be written are handled.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "ImageTestSupport.h"

namespace kestrel::test {

class QuickSave : public ::testing::Test {
protected:
    TTempDir dir;
    TTestImage image;
    std::string Out() const { return dir / "out.iso"; }
    std::string Source(const std::string& Name, const std::string& Bytes) {
        WriteFile(dir / Name, Bytes);
        return dir / Name;
    }
    std::string FileSector(const TFEntry* E) const {
        return ReadBytes(Out(), (int64_t(image.FirstFileLBA) + E->ISOExtent) * 2048, 2048);
    }
};

TEST_F(QuickSave, EmptyCompilationIsTheHeadAlone) {
    int64_t lastDone = -1, lastTotal = -1;
    image.OnImageProgress = [&](TImageBuilder*, int64_t Done, int64_t Total) { lastDone = Done, lastTotal = Total; };
    image.QuickSaveToISOFile(Out());
    EXPECT_EQ(std::filesystem::file_size(Out()), 307200u);
    EXPECT_EQ(ReadFile(Out()), std::string(image.HeadStream.begin(), image.HeadStream.end()));
    EXPECT_EQ(lastDone, 307200);
    EXPECT_EQ(lastTotal, 307200);
    EXPECT_EQ(image.ImageBytesWritten, 307200);
}

TEST_F(QuickSave, FilesLandAtTheirSectorsPaddedWithZeros) {
    TFEntry* one = image.Source(image.RootDir, "one", Source("one", "x"));
    TFEntry* empty = image.File(image.RootDir, "empty", 0, dir / "never-opened");
    const std::string big(5000, 'B');
    TFEntry* second = image.Source(image.RootDir, "big", Source("big", big));
    image.QuickSaveToISOFile(Out());
    EXPECT_EQ(std::filesystem::file_size(Out()), (150u + 1 + 3) * 2048);
    EXPECT_EQ(FileSector(one), "x" + std::string(2047, '\0'));
    EXPECT_EQ(empty->ISOExtent, 0);
    EXPECT_EQ(ReadBytes(Out(), (150 + 1) * 2048, 6144), big + std::string(6144 - 5000, '\0'));
    EXPECT_EQ(second->ISOExtent, 1);
    EXPECT_FALSE(image.Logged("INTERNAL ERROR"));
}

TEST_F(QuickSave, SourcesThatChangedKeepTheirLaidOutLength) {
    TFEntry* shrank = image.File(image.RootDir, "shrank", 5000, Source("shrank", std::string(3000, 's')));
    TFEntry* grew = image.File(image.RootDir, "grew", 100, Source("grew", std::string(5000, 'g')));
    TFEntry* after = image.Source(image.RootDir, "after", Source("after", "a"));
    // The image is completed, then the save fails naming both files.
    try {
        image.QuickSaveToISOFile(Out());
        FAIL() << "changed sources must fail the save";
    } catch (const std::runtime_error& e) {
        const std::string error = e.what();
        EXPECT_EQ(error.rfind("2 FILES CHANGED WHILE THEY WERE WRITTEN, THEIR COPIES ARE NOT THE FILES: ", 0), 0u);
        EXPECT_NE(error.find("\"" + (dir / "shrank") + "\""), std::string::npos) << error;
        EXPECT_NE(error.find("\"" + (dir / "grew") + "\""), std::string::npos) << error;
    }
    EXPECT_EQ(image.ChangedSources().size(), 2u);
    EXPECT_EQ(ReadBytes(Out(), (150 + shrank->ISOExtent) * 2048, 6144), std::string(3000, 's') + std::string(3144, '\0'));
    EXPECT_EQ(FileSector(grew), std::string(100, 'g') + std::string(1948, '\0'));
    EXPECT_EQ(FileSector(after), "a" + std::string(2047, '\0'));
    EXPECT_TRUE(image.Logged("SHRANK SINCE THE LAYOUT, PADDED WITH ZEROS: " + (dir / "shrank")));
    EXPECT_TRUE(image.Logged("GREW SINCE THE LAYOUT, CUT TO ITS LAID-OUT LENGTH: " + (dir / "grew")));
    EXPECT_FALSE(image.Logged("INTERNAL ERROR"));
    EXPECT_EQ(std::filesystem::file_size(Out()), (150u + 3 + 1 + 1) * 2048);
}

TEST_F(QuickSave, UnreadableSourcesEndTheSaveWithAnError) {
    image.File(image.RootDir, "gone", 10, dir / "gone");
    try {
        image.QuickSaveToISOFile(Out());
        FAIL() << "a missing source must fail the save";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(dir / "gone"), std::string::npos) << e.what();
    }

    // Reading this file fails with an I/O error at once.
    TTestImage failing;
    failing.File(failing.RootDir, "mem", 100, "/proc/self/mem");
    EXPECT_THROW(failing.QuickSaveToISOFile(Out()), std::runtime_error);
}

TEST_F(QuickSave, WriteErrorsAreNeverReportedAsSuccess) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    image.Source(image.RootDir, "data", Source("data", std::string(100000, 'd')));
    EXPECT_THROW(image.QuickSaveToISOFile("/dev/full"), std::runtime_error);
    EXPECT_THROW(image.QuickSaveToISOFile(dir / "no-such-dir/out.iso"), std::runtime_error);
    EXPECT_THROW(image.QuickSaveToISOFile(dir.Path().string()), std::runtime_error);
}

TEST_F(QuickSave, TheImageFileMayNotBeOneOfItsSources) {
    const std::string data = Source("data", std::string(9000, 'd'));
    image.Source(image.RootDir, "data", data);
    EXPECT_THROW(image.QuickSaveToISOFile(data), std::runtime_error);
    EXPECT_EQ(ReadFile(data), std::string(9000, 'd'));
    // Another name for the same file is caught too.
    ASSERT_EQ(::link(data.c_str(), (dir / "alias").c_str()), 0);
    EXPECT_THROW(image.QuickSaveToISOFile(dir / "alias"), std::runtime_error);
    EXPECT_EQ(ReadFile(data), std::string(9000, 'd'));

    TTestImage booting;
    booting.Bootable = true;
    booting.BootImageFile = Source("boot.img", std::string(2048, 'b'));
    EXPECT_THROW(booting.QuickSaveToISOFile(booting.BootImageFile), std::runtime_error);
    EXPECT_EQ(ReadFile(booting.BootImageFile), std::string(2048, 'b'));
}

TEST_F(QuickSave, BootImageSitsBeforeTheFiles) {
    image.Bootable = true;
    image.BootImageFile = Source("boot.img", std::string(3000, 'b'));
    TFEntry* f = image.Source(image.RootDir, "f", Source("f", "file"));
    image.QuickSaveToISOFile(Out());
    EXPECT_EQ(ReadBytes(Out(), int64_t(image.BootImageLBA) * 2048, 4096), std::string(3000, 'b') + std::string(1096, '\0'));
    EXPECT_EQ(FileSector(f).substr(0, 4), "file");
    EXPECT_FALSE(image.Logged("INTERNAL ERROR"));
    EXPECT_FALSE(image.Logged("SHRANK"));
}

TEST_F(QuickSave, SparseSourcesCopyTheirHolesAsZeros) {
    // Data, a hole, data, and a hole up to the end.
    const std::string path = dir / "sparse.bin";
    const int64_t size = 9 * 1048576 + 5;
    {
        std::ofstream out(path, std::ios::binary);
        out << "head";
        out.seekp(5 * 1048576);
        out << "middle";
    }
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
    TFEntry* sparse = image.Source(image.RootDir, "sparse.bin", path);
    TFEntry* after = image.Source(image.RootDir, "after", Source("after", "after"));
    image.QuickSaveToISOFile(Out());
    const std::string copied = ReadBytes(Out(), (150 + sparse->ISOExtent) * 2048, size_t(size));
    EXPECT_TRUE(copied == ReadFile(path));
    EXPECT_EQ(FileSector(after).substr(0, 5), "after");
    EXPECT_EQ(std::filesystem::file_size(Out()), uint64_t(150 + after->ISOExtent + 1) * 2048);
    EXPECT_FALSE(image.Logged("SHRANK"));
}

TEST_F(QuickSave, SourcesOnAnotherFileSystemAreCopiedToo) {
    // The kernel copies only within one file system; elsewhere the data goes
    // through the writer's buffer.
    char pattern[] = "/dev/shm/kestrel-test-XXXXXX";
    if (!std::filesystem::is_directory("/dev/shm") || !::mkdtemp(pattern)) GTEST_SKIP() << "no /dev/shm";
    const std::string other = std::string(pattern) + "/data";
    WriteFile(other, std::string(300000, 'o'));
    TFEntry* first = image.Source(image.RootDir, "first", other);
    TFEntry* second = image.Source(image.RootDir, "second", Source("second", "here"));
    image.QuickSaveToISOFile(Out());
    EXPECT_EQ(ReadBytes(Out(), (150 + first->ISOExtent) * 2048, 300000), std::string(300000, 'o'));
    EXPECT_EQ(FileSector(second).substr(0, 5), std::string("here\0", 5));
    std::filesystem::remove_all(pattern);
}

}  // namespace kestrel::test
