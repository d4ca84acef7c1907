// kestrel-cli build-iso through the real binary, its images read by peers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "ImageTestSupport.h"

namespace kestrel::test {

namespace fs = std::filesystem;

class BuildIsoCli : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"xorriso", "isoinfo", "bsdtar"})
            if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
        WriteFile(dir / "src/top.txt", "top");
        WriteFile(dir / "src/sub/inner.txt", "inner");
        WriteFile(dir / "src/sub/deeper/leaf.txt", "leaf");
    }

    TRunResult Cli(const std::string& Args) {
        return RunTool(std::string(KESTREL_BIN_DIR) + "/kestrel-cli build-iso " + Args);
    }

    // Paths of the files in the image's Joliet tree.
    std::string Files() {
        return RunTool("xorriso -joliet on -indev " + Quote(iso) + " -find / -type f 2>/dev/null").Output;
    }

    TTempDir dir;
    const std::string iso = dir / "out.iso";
    const std::string src = dir / "src";
};

TEST_F(BuildIsoCli, SavePathStatesPlaceTheSourcesLikeTheList) {
    const TRunResult grayed = Cli("-o " + Quote(iso) + " " + Quote(src));
    ASSERT_EQ(grayed.Status, 0) << grayed.Output;
    EXPECT_NE(grayed.Output.find("out.iso"), std::string::npos) << grayed.Output;
    EXPECT_NE(Files().find("'/src/sub/deeper/leaf.txt'"), std::string::npos) << Files();

    ASSERT_EQ(Cli("-o " + Quote(iso) + " --save-path unchecked " + Quote(src)).Status, 0);
    EXPECT_NE(Files().find("'/sub/inner.txt'"), std::string::npos) << Files();
    EXPECT_NE(Files().find("'/top.txt'"), std::string::npos) << Files();

    ASSERT_EQ(Cli("-o " + Quote(iso) + " --save-path checked " + Quote(src + "/top.txt")).Status, 0);
    const std::string full = src.substr(1) + "/top.txt";
    EXPECT_NE(Files().find("'/" + full + "'"), std::string::npos) << Files();

    ASSERT_EQ(Cli("-o " + Quote(iso) + " --non-recursive " + Quote(src)).Status, 0);
    EXPECT_NE(Files().find("'/src/top.txt'"), std::string::npos) << Files();
    EXPECT_EQ(Files().find("inner.txt"), std::string::npos) << Files();
}

TEST_F(BuildIsoCli, OptionsReachTheImage) {
    WriteFile(dir / "boot.img", std::string(1474560, 'b'));
    const TRunResult r = Cli("-o " + Quote(iso) + " --quick --no-joliet --volume-id 'Backup 1' --boot " +
                             Quote(dir / "boot.img") + " " + Quote(src));
    ASSERT_EQ(r.Status, 0) << r.Output;
    const TRunResult info = RunTool("isoinfo -d -i " + Quote(iso));
    EXPECT_NE(info.Output.find("Volume id: BACKUP 1"), std::string::npos) << info.Output;
    EXPECT_NE(info.Output.find("NO Joliet present"), std::string::npos) << info.Output;
    EXPECT_NE(info.Output.find("El Torito VD version 1 found"), std::string::npos) << info.Output;
    // Rock Ridge names, which build-iso writes unless told not to.
    const TRunResult x = RunTool("xorriso -osirrox on -indev " + Quote(iso) + " -extract /src/sub/inner.txt " +
                                 Quote(dir / "inner"));
    EXPECT_EQ(ReadFile(dir / "inner"), "inner") << x.Output;
    const TRunResult plain = Cli("-o " + Quote(iso) + " --quick --no-joliet --no-rock-ridge " + Quote(src));
    ASSERT_EQ(plain.Status, 0) << plain.Output;
    const TRunResult y = RunTool("xorriso -osirrox on -indev " + Quote(iso) + " -extract /SRC/SUB/INNER.TXT " +
                                 Quote(dir / "inner.plain"));
    EXPECT_EQ(ReadFile(dir / "inner.plain"), "inner") << y.Output;
}

TEST_F(BuildIsoCli, FailuresExitNonZeroWithAClearMessage) {
    const TRunResult noOutput = Cli(Quote(src));
    EXPECT_NE(noOutput.Status, 0);
    EXPECT_NE(noOutput.Output.find("-o IMAGE"), std::string::npos) << noOutput.Output;

    const TRunResult noSource = Cli("-o " + Quote(iso));
    EXPECT_NE(noSource.Status, 0);

    const TRunResult missing = Cli("-o " + Quote(iso) + " " + Quote(dir / "nothing-here"));
    EXPECT_NE(missing.Status, 0);
    EXPECT_NE(missing.Output.find("nothing-here"), std::string::npos) << missing.Output;

    const TRunResult badBoot = Cli("-o " + Quote(iso) + " --boot " + Quote(dir / "no.img") + " " + Quote(src));
    EXPECT_NE(badBoot.Status, 0);
    EXPECT_NE(badBoot.Output.find("no.img"), std::string::npos) << badBoot.Output;

    const TRunResult badState = Cli("-o " + Quote(iso) + " --save-path sideways " + Quote(src));
    EXPECT_NE(badState.Status, 0);
    EXPECT_NE(badState.Output.find("sideways"), std::string::npos) << badState.Output;

    // The image may not overwrite one of its own sources.
    for (const char* mode : {"", "--quick "}) {
        const TRunResult self = Cli(mode + std::string("-o ") + Quote(src + "/top.txt") + " " + Quote(src));
        EXPECT_NE(self.Status, 0) << mode;
        EXPECT_NE(self.Output.find("top.txt"), std::string::npos) << self.Output;
        EXPECT_EQ(ReadFile(src + "/top.txt"), "top") << mode;
    }

    const TRunResult unwritable = Cli("-o " + Quote(dir / "no-dir/out.iso") + " " + Quote(src));
    EXPECT_NE(unwritable.Status, 0);
    EXPECT_NE(unwritable.Output.find("CAN'T CREATE FILE"), std::string::npos) << unwritable.Output;
}

TEST_F(BuildIsoCli, QuietWithoutATerminalUnlessVerbose) {
    const TRunResult quiet = RunTool("(" + std::string(KESTREL_BIN_DIR) + "/kestrel-cli build-iso -o " + Quote(iso) +
                                     " " + Quote(src) + " 2>" + Quote(dir / "stderr") + ")");
    ASSERT_EQ(quiet.Status, 0) << quiet.Output;
    EXPECT_EQ(ReadFile(dir / "stderr"), "") << "no progress bar and no information lines";

    // A file that cannot be stored is always reported.
    WriteFile(src + "/" + std::string(120, 'n') + ".txt", "too long");
    const TRunResult skipped = RunTool("(" + std::string(KESTREL_BIN_DIR) + "/kestrel-cli build-iso -o " +
                                       Quote(iso) + " " + Quote(src) + " 2>" + Quote(dir / "stderr") + ")");
    EXPECT_EQ(skipped.Status, 0) << skipped.Output;
    EXPECT_NE(ReadFile(dir / "stderr").find(std::string(120, 'n')), std::string::npos) << ReadFile(dir / "stderr");
}

TEST_F(BuildIsoCli, ProgressBarOnATerminal) {
    if (!HaveProgram("script")) GTEST_SKIP() << "script is not installed";
    WriteFile(src + "/data.bin", std::string(3 << 20, 'd'));
    // script runs the command on a pseudo-terminal.
    const TRunResult r = RunTool("script -qec " + Quote(std::string(KESTREL_BIN_DIR) + "/kestrel-cli build-iso -o " +
                                                          Quote(iso) + " " + Quote(src)) + " /dev/null");
    ASSERT_EQ(r.Status, 0) << r.Output;
    EXPECT_NE(r.Output.find("\rWriting ["), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("] 100%"), std::string::npos) << r.Output;
}

// Several sparse sources make an image above 4 GiB; the image is written
// sparse too, so this costs little disk and time. Each file ends in a marker
// that must sit where the peers say the file lies.
TEST_F(BuildIsoCli, ImageAboveFourGiB) {
    const int64_t size = (int64_t(1) << 31) - 4096 + 100;  // just under 2 GiB, not sector-aligned
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir / ("big/part" + std::to_string(i) + ".bin");
        fs::create_directories(fs::path(path).parent_path());
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string marker = "END-OF-PART-" + std::to_string(i);
        ASSERT_EQ(::pwrite(fd, marker.data(), marker.size(), size - int64_t(marker.size())), ssize_t(marker.size()));
        ::close(fd);
    }
    const TRunResult r = Cli("--quick -o " + Quote(iso) + " " + Quote(dir / "big"));
    ASSERT_EQ(r.Status, 0) << r.Output;
    EXPECT_GT(fs::file_size(iso), uint64_t(6) << 30);

    const TRunResult info = RunTool("isoinfo -d -i " + Quote(iso));
    EXPECT_NE(info.Output.find("Volume size is: " + std::to_string(fs::file_size(iso) / 2048)), std::string::npos)
        << info.Output;
    const TRunResult listing = RunTool("isoinfo -l -J -i " + Quote(iso));
    for (int i = 0; i < 3; ++i) {
        const std::string name = "part" + std::to_string(i) + ".bin";
        const size_t at = listing.Output.find(name);
        ASSERT_NE(at, std::string::npos) << listing.Output;
        // "... 2147479652 Dec  8 2026 [   1048727 00]  part1.bin"
        const size_t open = listing.Output.rfind('[', at);
        const int64_t lba = std::stoll(listing.Output.substr(open + 1));
        const std::string marker = "END-OF-PART-" + std::to_string(i);
        EXPECT_EQ(ReadBytes(iso, lba * 2048 + size - int64_t(marker.size()), marker.size()), marker) << name;
    }
    const TRunResult tar = RunTool("bsdtar -tvf " + Quote(iso));
    EXPECT_EQ(tar.Status, 0) << tar.Output;
    EXPECT_NE(tar.Output.find(std::to_string(size)), std::string::npos) << tar.Output;
    fs::remove(iso);
}

}  // namespace kestrel::test
