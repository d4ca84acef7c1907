// Images from the quick save read back by peer tools that know nothing of
// this code: xorriso, isoinfo and bsdtar list them and extract the files,
// which must equal their sources byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "ImageTestSupport.h"

namespace kestrel::test {

namespace fs = std::filesystem;

namespace {

// Mirrors a local tree into the compilation, as the directory scan would.
void AddTree(TTestImage& Image, TDEntry* Into, const fs::path& From) {
    std::vector<fs::directory_entry> items(fs::directory_iterator(From), {});
    std::sort(items.begin(), items.end());
    for (const auto& item : items) {
        const std::string name = item.path().filename().string();
        if (item.is_directory()) AddTree(Image, Image.Dir(Into, name), item.path());
        else Image.Source(Into, name, item.path().string());
    }
}

// Relative paths of every regular file below Root.
std::set<std::string> FilesBelow(const fs::path& Root) {
    std::set<std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(Root))
        if (item.is_regular_file()) files.insert(fs::relative(item.path(), Root).string());
    return files;
}

// Every file of Expected is in Actual with the same bytes. Names longer
// than MaxName characters are left out: the reader shortens them, and the
// only extra files allowed in Actual are those shortened ones.
void ExpectSameTrees(const fs::path& Expected, const fs::path& Actual, size_t MaxName = 255) {
    auto files = FilesBelow(Expected);
    auto actual = FilesBelow(Actual);
    const size_t shortened =
        std::erase_if(files, [&](const std::string& F) { return fs::path(F).filename().string().size() > MaxName; });
    EXPECT_EQ(std::erase_if(actual, [&](const std::string& F) { return !files.count(F); }), shortened);
    EXPECT_EQ(files, actual);
    for (const auto& file : files)
        EXPECT_EQ(ReadFile((Expected / file).string()), ReadFile((Actual / file).string())) << file;
}

}  // namespace

class PeerRead : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"xorriso", "isoinfo", "bsdtar"})
            if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
    }

    // Builds src/ into an image and returns its path.
    std::string Build() {
        AddTree(image, image.RootDir, src);
        image.IdVolume = "PEERS";
        image.QuickSaveToISOFile(iso);
        return iso;
    }

    TTempDir dir;
    const fs::path src = dir.Path() / "src";
    const std::string iso = dir / "image.iso";
    TTestImage image;
};

TEST_F(PeerRead, EmptyImage) {
    fs::create_directories(src);
    Build();
    const TRunResult info = RunTool("isoinfo -d -i " + Quote(iso));
    EXPECT_EQ(info.Status, 0) << info.Output;
    EXPECT_NE(info.Output.find("Volume id: PEERS"), std::string::npos) << info.Output;
    EXPECT_NE(info.Output.find("Volume size is: 150"), std::string::npos) << info.Output;
    EXPECT_NE(info.Output.find("Joliet"), std::string::npos) << info.Output;
    const TRunResult list = RunTool("bsdtar -tf " + Quote(iso));
    EXPECT_EQ(list.Status, 0) << list.Output;
    const TRunResult find = RunTool("xorriso -indev " + Quote(iso) + " -find /");
    EXPECT_EQ(find.Status, 0) << find.Output;
}

// The build time in the primary descriptor read by a peer in another zone:
// the offset written is the one of the zone the image was built in.
TEST_F(PeerRead, VolumeDatesNameTheZoneTheyWereWrittenIn) {
    fs::create_directories(src);
    for (const auto& [zone, shown] : {std::pair{"IST-5:30", "+05:30"}, std::pair{"EST5", "-05:00"}}) {
        {
            TScopedZone local(zone);
            Build();
        }
        const TRunResult info = RunTool("TZ=UTC0 xorriso -indev " + Quote(iso) + " -pvd_info");
        ASSERT_EQ(info.Status, 0) << info.Output;
        EXPECT_EQ(LineWith(info.Output, "Cr. Time Zone"), std::string("Cr. Time Zone: ") + shown) << info.Output;
        EXPECT_EQ(LineWith(info.Output, "Mo. Time Zone"), std::string("Mo. Time Zone: ") + shown) << info.Output;
        image.ClearAll(65535, 8191);
        fs::remove(iso);
    }
}

TEST_F(PeerRead, TreeWithEdgeCasesExtractsByteForByte) {
    // Deep nesting, empty and one-byte files, the longest names, names beyond
    // ASCII, a directory whose records fill several sectors, larger files.
    std::string deep = (src / "deep").string();
    for (int level = 0; level < 12; ++level) deep += "/level" + std::to_string(level);
    WriteFile(deep + "/bottom.txt", "bottom");
    WriteFile((src / "empty.dat").string(), "");
    WriteFile((src / "one.dat").string(), "1");
    WriteFile((src / (std::string(104, 'L') + ".txt")).string(), "108 characters");
    WriteFile((src / (std::string(99, 'M') + ".txt")).string(), "103 characters");
    WriteFile((src / "Grüße/日本語のファイル.txt").string(), "unicode");
    WriteFile((src / "emoji 😀.txt").string(), "astral");
    for (int i = 0; i < 120; ++i) WriteFile((src / "many" / ("file_number_" + std::to_string(i) + ".bin")).string(),
                                           std::string(size_t(i * 37), char('a' + i % 26)));
    std::string big(3 * 1024 * 1024 + 123, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char((i * 131) >> 7);
    WriteFile((src / "big.bin").string(), big);
    Build();
    EXPECT_GT(image.DirTable[0]->ISOSize, 0);

    const TRunResult find = RunTool("xorriso -indev " + Quote(iso) + " -find / -type f");
    EXPECT_EQ(find.Status, 0) << find.Output;
    EXPECT_NE(find.Output.find("bottom.txt"), std::string::npos) << find.Output;

    const TRunResult joliet = RunTool("isoinfo -l -J -i " + Quote(iso));
    EXPECT_EQ(joliet.Status, 0) << joliet.Output;
    EXPECT_NE(joliet.Output.find(std::string(104, 'L') + ".txt"), std::string::npos) << joliet.Output;
    EXPECT_NE(joliet.Output.find("file_number_119.bin"), std::string::npos) << joliet.Output;

    const TRunResult listed = RunTool("bsdtar -tf " + Quote(iso));
    EXPECT_EQ(listed.Status, 0) << listed.Output;
    EXPECT_NE(listed.Output.find("emoji 😀.txt"), std::string::npos) << listed.Output;

    const fs::path byTar = dir.Path() / "bsdtar";
    fs::create_directories(byTar);
    const TRunResult tar = RunTool("bsdtar -xf " + Quote(iso) + " -C " + Quote(byTar.string()));
    ASSERT_EQ(tar.Status, 0) << tar.Output;
    // bsdtar cuts Joliet names after 103 characters.
    ExpectSameTrees(src, byTar, 103);

    const fs::path byXorriso = dir.Path() / "xorriso";
    const TRunResult x = RunTool("xorriso -osirrox on -joliet on -indev " + Quote(iso) + " -extract / " +
                             Quote(byXorriso.string()));
    ASSERT_EQ(x.Status, 0) << x.Output;
    ExpectSameTrees(src, byXorriso);
}

TEST_F(PeerRead, IsoNamesWithoutJoliet) {
    WriteFile((src / "docs/readme.txt").string(), "iso only");
    image.JolietFileSystem = false;
    Build();
    const TRunResult info = RunTool("isoinfo -d -i " + Quote(iso));
    EXPECT_NE(info.Output.find("NO Joliet present"), std::string::npos) << info.Output;
    const TRunResult list = RunTool("isoinfo -f -i " + Quote(iso));
    EXPECT_NE(list.Output.find("/DOCS/README.TXT;1"), std::string::npos) << list.Output;
    const TRunResult x = RunTool("xorriso -osirrox on -indev " + Quote(iso) + " -extract /DOCS/README.TXT " +
                             Quote(dir / "readme"));
    ASSERT_EQ(x.Status, 0) << x.Output;
    EXPECT_EQ(ReadFile(dir / "readme"), "iso only");
}

TEST_F(PeerRead, BootableImagesReportTheirBootCatalog) {
    WriteFile((src / "payload.txt").string(), "payload");
    std::string floppy(1474560, '\0');
    floppy[510] = char(0x55), floppy[511] = char(0xAA);
    WriteFile(dir / "floppy.img", floppy);
    image.Bootable = true;
    image.BootImageFile = dir / "floppy.img";
    Build();
    const TRunResult report = RunTool("xorriso -indev " + Quote(iso) + " -report_el_torito plain");
    EXPECT_EQ(report.Status, 0) << report.Output;
    EXPECT_NE(report.Output.find("El Torito catalog  : " + std::to_string(image.BootCatalogLBA)), std::string::npos)
        << report.Output;
    // "El Torito boot img :   1  BIOS  y  fd1.4  0x0000  0x00      1          27"
    const std::string boot = LineWith(report.Output, "El Torito boot img");
    EXPECT_NE(boot.find(" fd1.4 "), std::string::npos) << report.Output;
    EXPECT_TRUE(boot.ends_with(" " + std::to_string(image.BootImageLBA))) << report.Output;
    const TRunResult info = RunTool("isoinfo -d -i " + Quote(iso));
    EXPECT_NE(info.Output.find("ID 'Kestrel CD/DVD Burner'"), std::string::npos) << info.Output;
    EXPECT_EQ(ReadBytes(iso, int64_t(image.BootImageLBA) * 2048 + 510, 2), "\x55\xAA");
    const TRunResult x = RunTool("xorriso -osirrox on -joliet on -indev " + Quote(iso) + " -extract /payload.txt " +
                                 Quote(dir / "payload"));
    EXPECT_EQ(ReadFile(dir / "payload"), "payload") << x.Output;

    // Any other size emulates a hard disk.
    TTestImage disk;
    WriteFile(dir / "disk.img", std::string(4096, 'h'));
    disk.Bootable = true;
    disk.BootImageFile = dir / "disk.img";
    disk.QuickSaveToISOFile(dir / "disk.iso");
    const TRunResult hd = RunTool("xorriso -indev " + Quote(dir / "disk.iso") + " -report_el_torito plain");
    EXPECT_NE(LineWith(hd.Output, "El Torito boot img").find(" hd "), std::string::npos) << hd.Output;
}

}  // namespace kestrel::test
