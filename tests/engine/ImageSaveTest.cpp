// The normal image build: the cache and the write thread writing an image
// file, checked by peers and against the quick save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "EngineTestSupport.h"

namespace kestrel {
namespace {

using namespace kestrel::test;
namespace fs = std::filesystem;

struct ImageSave : ::testing::Test {
    TTempDir dir;
    std::string source = dir / "src";
    TKestrelBurner burner;
    TWriteDoneWatch watch{burner};

    void SetUp() override {
        MakeSourceTree(source);
        burner.ClearAll(65535, 8191);
        ASSERT_EQ(burner.InsertDir(burner.RootDir, source, "*.*", 63, true, false, false), 1);
    }
    std::string Save(const std::string& Image) {
        EXPECT_EQ(burner.SaveToISOFile(Image, false), -1);
        return watch.Wait();
    }
};

TEST_F(ImageSave, ImageReadsBackThroughPeersWithEveryFile) {
    const std::string image = dir / "normal.iso";
    ASSERT_EQ(Save(image), "");
    EXPECT_EQ(watch.Count(), 1u);
    EXPECT_FALSE(watch.WritingAtEvent());
    EXPECT_EQ(fs::file_size(image), size_t(burner.ImageSectors() * 2048));
    EXPECT_EQ(burner.BytesWritten(), burner.ImageSectors() * 2048);
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso missing";
    ASSERT_EQ(ExtractWithXorriso(image, dir / "out"), 0);
    EXPECT_TRUE(SameTree(source, dir / "out"));
    if (HaveProgram("isoinfo")) {
        const std::string listing = RunCommand("isoinfo -l -J -i " + Quote(image));
        EXPECT_NE(listing.find("blob.bin"), std::string::npos);
        EXPECT_NE(listing.find("one.txt"), std::string::npos);
    }
}

// Blanks the date fields that differ between two builds of one compilation:
// the descriptors' dates and every directory record's recording date.
void MaskDates(std::string& Image, const TKestrelBurner& Burner) {
    for (size_t lba = 16; (lba + 1) * 2048 <= Image.size() && Image[lba * 2048] != '\xFF'; ++lba)
        std::fill_n(Image.begin() + static_cast<long>(lba * 2048 + 813), 34, '\0');
    const size_t first = size_t(Burner.ISODirArea) * 2048;
    const size_t end = size_t(Burner.FirstFileLBA) * 2048;
    for (size_t sector = first; sector < end && sector < Image.size(); sector += 2048)
        for (size_t at = sector; at < sector + 2048;) {
            const auto length = static_cast<uint8_t>(Image[at]);
            if (length == 0) break;
            std::fill_n(Image.begin() + static_cast<long>(at + 18), 7, '\0');
            at += length;
        }
}

TEST_F(ImageSave, NormalAndQuickSavesDifferOnlyInDatesAndThePaddingToThreeHundredSectors) {
    const std::string quick = dir / "quick.iso", normal = dir / "normal.iso";
    ASSERT_EQ(burner.SaveToISOFile(quick, true), 1);
    TWriteDoneWatch normalWatch(burner);
    ASSERT_EQ(burner.SaveToISOFile(normal, false), -1);
    ASSERT_EQ(normalWatch.Wait(), "");
    std::string q = ReadFile(quick), n = ReadFile(normal);
    ASSERT_LT(q.size(), size_t(300 * 2048));
    ASSERT_EQ(n.size(), size_t(300 * 2048));
    EXPECT_EQ(n.substr(q.size()), std::string(n.size() - q.size(), '\0'));
    n.resize(q.size());
    MaskDates(q, burner);
    MaskDates(n, burner);
    EXPECT_TRUE(q == n);
}

TEST_F(ImageSave, WithoutThePostGapTheImageHasItsOwnSize) {
    burner.WritePostGap = false;
    const std::string image = dir / "plain.iso";
    ASSERT_EQ(Save(image), "");
    EXPECT_EQ(fs::file_size(image), size_t(burner.ImageSectors() * 2048));
    EXPECT_LT(burner.ImageSectors(), 300);
}

TEST_F(ImageSave, UnwritableTargetIsReportedWithItsName) {
    const std::string image = dir / "no-such-folder/x.iso";
    EXPECT_EQ(Save(image), "CAN'T CREATE FILE \"" + image + "\": No such file or directory");
    EXPECT_EQ(watch.Count(), 1u);
}

TEST_F(ImageSave, SourceThatChangedCompletesTheImageButFailsTheBuildNamingIt) {
    const std::string changed = source + "/readme.txt";
    WriteFile(changed, "a text that is longer than the one laid out");
    const std::string image = dir / "changed.iso";
    EXPECT_EQ(Save(image), "FILE CHANGED WHILE IT WAS WRITTEN, ITS COPY IS NOT THE FILE: \"" + changed + "\"");
    EXPECT_EQ(watch.Count(), 1u);
    EXPECT_EQ(burner.ChangedSources(), std::vector<std::string>{changed});
    EXPECT_EQ(fs::file_size(image), size_t(burner.ImageSectors() * 2048));
}

TEST_F(ImageSave, MissingSourceFailsAndLeavesAnExistingTargetAlone) {
    const std::string image = dir / "old.iso";
    WriteFile(image, "previous image");
    fs::remove(source + "/data/blob.bin");
    const std::string error = Save(image);
    EXPECT_EQ(error, "CAN'T OPEN FILE \"" + source + "/data/blob.bin\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_EQ(ReadFile(image), "previous image");
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
}

TEST_F(ImageSave, TargetThatIsOneOfTheSourcesIsRefusedAndKept) {
    const std::string target = source + "/readme.txt";
    const std::string error = Save(target);
    EXPECT_NE(error.find("IS ONE OF ITS OWN SOURCES"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(target), "Kestrel test tree\n");
}

TEST_F(ImageSave, SecondWriteIsRefusedWhileOneRuns) {
    WriteFile(source + "/large.bin", std::string(20 * 1024 * 1024, 'L'));
    burner.ClearAll(65535, 8191);
    burner.InsertDir(burner.RootDir, source, "*.*", 63, true, false, false);
    burner.SetCacheSize(2097152);
    EXPECT_EQ(burner.SaveToISOFile(dir / "a.iso", false), -1);
    EXPECT_FALSE(burner.BurnCD());
    watch.Wait();
    EXPECT_EQ(watch.Count(), 1u);
}

TEST_F(ImageSave, AbortEndsTheBuildWithTheUsersMessageAndNoFile) {
    // A sparse 1 GiB source keeps the write busy long enough to abort it.
    const std::string large = source + "/large.bin";
    { std::ofstream(large).close(); }
    ASSERT_EQ(truncate(large.c_str(), 1LL << 30), 0);
    burner.ClearAll(65535, 8191);
    burner.InsertDir(burner.RootDir, source, "*.*", 63, true, false, false);
    const std::string image = dir / "aborted.iso";
    EXPECT_EQ(burner.SaveToISOFile(image, false), -1);
    burner.AbortWrite();
    EXPECT_EQ(watch.Wait(), "OPERATION ABORTED BY USER");
    EXPECT_FALSE(fs::exists(image));
    EXPECT_EQ(burner.CacheFillPercent(), 0);
}

TEST_F(ImageSave, ClearAllDuringABuildStopsItFirst) {
    const std::string large = source + "/large.bin";
    { std::ofstream(large).close(); }
    ASSERT_EQ(truncate(large.c_str(), 1LL << 30), 0);
    burner.ClearAll(65535, 8191);
    burner.InsertDir(burner.RootDir, source, "*.*", 63, true, false, false);
    EXPECT_EQ(burner.SaveToISOFile(dir / "cleared.iso", false), -1);
    burner.ClearAll(65535, 8191);
    EXPECT_FALSE(burner.Writing());
    EXPECT_EQ(burner.FilesCount(), 0);
    EXPECT_EQ(watch.Wait(), "OPERATION ABORTED BY USER");
    EXPECT_EQ(watch.Count(), 1u);
}

TEST(BurnerOptions, CacheSizeSetterKeepsWholeSectorsAndAtLeastTwoMebibytes) {
    TKestrelBurner burner;
    EXPECT_EQ(burner.CacheSize(), 4194304);
    burner.SetCacheSize(1000000);
    EXPECT_EQ(burner.CacheSize(), 2097152);
    burner.SetCacheSize(8392705);
    EXPECT_EQ(burner.CacheSize(), 8392704);
    burner.SetCacheSize(2097151);
    EXPECT_EQ(burner.CacheSize(), 2097152);
    burner.SetVersion("2.0");
    EXPECT_EQ(burner.Version(), "1.22");
    EXPECT_TRUE(burner.FinalizeTrack);
    EXPECT_TRUE(burner.UnderrunProtection);
    EXPECT_TRUE(burner.WritePostGap);
}

}  // namespace
}  // namespace kestrel
