// Where a built image goes, for the quick and the normal save alike: a
// regular file is replaced only by a complete image, device nodes and
// FIFOs are written through, a symbolic link leads to its target, and a
// failed build leaves nothing behind.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <thread>

#include "EngineTestSupport.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
namespace fs = std::filesystem;

struct ImageTarget : ::testing::TestWithParam<bool> {
    TTempDir dir;
    std::string source = dir / "src";
    TKestrelBurner burner;

    void SetUp() override {
        MakeSourceTree(source);
        burner.ClearAll(65535, 8191);
        ASSERT_EQ(burner.InsertDir(burner.RootDir, source, "*.*", 63, true, false, false), 1);
    }
    bool Quick() const { return GetParam(); }

    // Builds the image into Target; the error, empty on success.
    std::string Save(const std::string& Target) {
        TWriteDoneWatch watch(burner);
        try {
            if (burner.SaveToISOFile(Target, Quick()) == 1) return watch.Wait(0);
        } catch (const std::exception& e) {
            return e.what();
        }
        return watch.Wait();
    }
    bool IsImage(const std::string& Bytes) const {
        return Bytes.size() >= 17 * 2048 && Bytes.compare(16 * 2048 + 1, 5, "CD001") == 0;
    }
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            if (entry.path().filename().string().find(".part-") != std::string::npos)
                found.push_back(entry.path().string());
        return found;
    }
    mode_t TypeOf(const std::string& Path) const {
        struct stat st {};
        return ::lstat(Path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
    }
};

TEST_P(ImageTarget, RegularFileIsReplacedOnlyByACompleteImageAndKeepsItsPermissions) {
    const std::string image = dir / "backup.iso";
    WriteFile(image, "previous image");
    ASSERT_EQ(::chmod(image.c_str(), 0640), 0);
    ASSERT_EQ(Save(image), "");
    EXPECT_TRUE(IsImage(ReadFile(image)));
    struct stat st {};
    ASSERT_EQ(::stat(image.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A build that fails half-way leaves the image there as it was.
    WriteFile(image, "previous image");
    fs::remove(source + "/data/deeper/one.txt");
    const std::string error = Save(image);
    EXPECT_NE(error.find("one.txt"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(image), "previous image");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_P(ImageTarget, SymbolicLinkLeadsToItsTargetAndStaysALink) {
    const std::string real = dir / "real.iso", link = dir / "link.iso";
    WriteFile(real, "old");
    fs::create_symlink("real.iso", link);
    ASSERT_EQ(Save(link), "");
    EXPECT_EQ(TypeOf(link), mode_t(S_IFLNK));
    EXPECT_TRUE(IsImage(ReadFile(real)));

    // A link to a name that is still free creates it.
    const std::string dangling = dir / "dangling.iso";
    fs::create_symlink("fresh.iso", dangling);
    ASSERT_EQ(Save(dangling), "");
    EXPECT_EQ(TypeOf(dangling), mode_t(S_IFLNK));
    EXPECT_TRUE(IsImage(ReadFile(dir / "fresh.iso")));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// Nodes of this test's own: the system's /dev/null and /dev/full must never
// be at stake.
TEST_P(ImageTarget, DeviceNodeIsWrittenThroughAndAFullOneFailsWithTheSystemsReason) {
    const std::string null = dir / "null", full = dir / "full";
    if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        ::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "device nodes cannot be made here";
    EXPECT_EQ(Save(null), "");
    EXPECT_EQ(TypeOf(null), mode_t(S_IFCHR));
    EXPECT_EQ(Save(full), "CAN'T WRITE FILE \"" + full + "\": No space left on device");
    EXPECT_EQ(TypeOf(full), mode_t(S_IFCHR));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_P(ImageTarget, FIFOIsWrittenThroughToItsReader) {
    const std::string fifo = dir / "image.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadFile(fifo); });
    const std::string error = Save(fifo);
    reader.join();
    EXPECT_EQ(error, "");
    EXPECT_TRUE(IsImage(received));
    EXPECT_EQ(received.size() % 2048, 0u);
    EXPECT_EQ(TypeOf(fifo), mode_t(S_IFIFO));
}

TEST_P(ImageTarget, DirectoryOrMissingFolderIsRefusedWithTheReason) {
    EXPECT_EQ(Save(source), "CAN'T CREATE FILE \"" + source + "\": IT IS A DIRECTORY");
    const std::string nowhere = dir / "no-such-folder/x.iso";
    EXPECT_EQ(Save(nowhere), "CAN'T CREATE FILE \"" + nowhere + "\": No such file or directory");
}

TEST_P(ImageTarget, EmptyCompilationIsRefusedAndNoFileIsMade) {
    burner.ClearAll(65535, 8191);
    const std::string image = dir / "empty.iso";
    EXPECT_EQ(Save(image), "THE COMPILATION IS EMPTY: NOTHING TO WRITE");
    EXPECT_FALSE(fs::exists(image));
}

INSTANTIATE_TEST_SUITE_P(BothSaves, ImageTarget, ::testing::Values(false, true),
                         [](const auto& Info) { return Info.param ? "Quick" : "Normal"; });

}  // namespace
}  // namespace kestrel
