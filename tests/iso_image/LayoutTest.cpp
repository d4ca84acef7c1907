// The sector plan, directory order and record sizes of the layout.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ImageTestSupport.h"

namespace kestrel::test {

namespace {

std::vector<std::string> ShortNames(const std::vector<TDEntry*>& Order) {
    std::vector<std::string> names;
    for (const TDEntry* d : Order) names.push_back(d->ShortName);
    return names;
}

}  // namespace

TEST(Layout, EmptyCompilationFollowsTheSectorPlan) {
    TTestImage image;
    ASSERT_TRUE(image.BuildLayout(true, nullptr));
    EXPECT_EQ(image.ImageStartLBA, 0);
    EXPECT_EQ(image.ISOPathTableSize, 10);
    EXPECT_EQ(image.JolietPathTableSize, 10);
    // PVD 16, SVD 17, terminator 18, then the four path tables.
    EXPECT_EQ(image.ISOPathTableL, 19);
    EXPECT_EQ(image.ISOPathTableM, 20);
    EXPECT_EQ(image.JolietPathTableL, 21);
    EXPECT_EQ(image.JolietPathTableM, 22);
    EXPECT_EQ(image.ISODirArea, 23);
    EXPECT_EQ(image.JolietDirArea, 24);
    EXPECT_EQ(image.RootDir->ISOSize, 2048);
    EXPECT_EQ(image.PaddingSectors, 150 - 25);
    EXPECT_EQ(image.FirstFileLBA, 150);
    EXPECT_EQ(image.ImageEndLBA, 150);
    EXPECT_EQ(image.ImageSectors(), 300);
    image.WritePostGap = false;
    EXPECT_EQ(image.ImageSectors(), 150);

    image.JolietFileSystem = false;
    image.BuildLayout(true, nullptr);
    EXPECT_EQ(image.ISOPathTableL, 18);  // terminator at 17
    EXPECT_EQ(image.ISODirArea, 20);
    EXPECT_EQ(image.FirstFileLBA, 150);
}

TEST(Layout, DirectoriesAreNumberedBreadthFirstBySiblingName) {
    TTestImage image;
    TDEntry* b = image.Dir(image.RootDir, "B");
    TDEntry* a = image.Dir(image.RootDir, "A");
    TDEntry* z = image.Dir(a, "Z");
    TDEntry* c = image.Dir(b, "C");
    image.BuildLayout(true, nullptr);
    EXPECT_EQ(ShortNames(image.ISODirOrder), (std::vector<std::string>{"CD_ROOT", "A", "B", "Z", "C"}));
    EXPECT_EQ(image.JolietDirOrder, image.ISODirOrder);
    EXPECT_EQ(a->Number, 2);
    EXPECT_EQ(b->Number, 3);
    EXPECT_EQ(z->Number, 4);
    EXPECT_EQ(c->Number, 5);

    // The written type L table lists the same order with parent numbers.
    image.BuildImageHead(true, nullptr);
    const std::string table = Sector(image.HeadStream, image.ISOPathTableL);
    std::vector<std::pair<std::string, uint16_t>> records;
    for (size_t at = 0; at < table.size() && table[at] != 0;) {
        const size_t len = uint8_t(table[at]);
        records.push_back({table.substr(at + 8, len), LE16(table, at + 6)});
        at += 8 + len + (len % 2);
    }
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0], (std::pair<std::string, uint16_t>{std::string(1, '\0'), 1}));
    EXPECT_EQ(records[3], (std::pair<std::string, uint16_t>{"Z", 2}));
    EXPECT_EQ(records[4], (std::pair<std::string, uint16_t>{"C", 3}));
    // The type M table carries the same extents big-endian.
    const std::string tableM = Sector(image.HeadStream, image.ISOPathTableM);
    EXPECT_EQ(BE32(tableM, 2), LE32(table, 2));
}

TEST(Layout, ManyDirectoriesOrderByNumericParentAndAgainAfterRelayout) {
    TTestImage image;
    image.ClearAll(65535, 20000);
    // 101 top directories with 100 children each: more than 9,999 directories,
    // created in reverse name order so the sort has work to do.
    for (int top = 100; top >= 0; --top) {
        char name[16];
        std::snprintf(name, sizeof name, "T%03d", top);
        TDEntry* dir = image.Dir(image.RootDir, name);
        for (int child = 99; child >= 0; --child) {
            std::snprintf(name, sizeof name, "C%02d", child);
            image.Dir(dir, name);
        }
    }
    image.BuildLayout(true, nullptr);
    const auto order = image.ISODirOrder;
    ASSERT_EQ(order.size(), 1u + 101 + 101 * 100);
    for (size_t i = 1; i < order.size(); ++i) {
        const TDEntry* prev = order[i - 1];
        const TDEntry* cur = order[i];
        ASSERT_EQ(cur->Number, int(i + 1));
        ASSERT_LE(prev->Parent->Number, cur->Parent->Number) << "at " << i;
        if (i > 1 && prev->Parent == cur->Parent) {
            ASSERT_LT(prev->ShortName, cur->ShortName);
        }
    }
    EXPECT_EQ(order[1]->ShortName, "T000");
    EXPECT_EQ(order[102]->Parent->ShortName, "T000");

    // Laying out again (Numbers already set) gives the same order.
    image.BuildLayout(true, nullptr);
    EXPECT_EQ(image.ISODirOrder, order);
}

TEST(Layout, SiblingsWithEqualShortNamesKeepOneDeterministicOrder) {
    const auto build = [](TTestImage& Image) {
        for (const char* name : {"x3", "x1", "x2", "x0"}) Image.Dir(Image.RootDir, name, "SAME");
        Image.BuildLayout(true, nullptr);
        std::vector<std::string> longNames;
        for (const TDEntry* d : Image.ISODirOrder) longNames.push_back(d->LongName);
        return longNames;
    };
    TTestImage first, second;
    const auto order = build(first);
    EXPECT_EQ(order, build(second));
    first.BuildLayout(true, nullptr);
    std::vector<std::string> again;
    for (const TDEntry* d : first.ISODirOrder) again.push_back(d->LongName);
    EXPECT_EQ(again, order);
}

TEST(Layout, PathTableOfExactlyTwoSectors) {
    TTestImage image;
    // 10 bytes for the root and 227 records of 18 bytes (10-byte names).
    for (int i = 0; i < 227; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "D%09d", i);
        image.Dir(image.RootDir, name);
    }
    image.BuildLayout(true, nullptr);
    EXPECT_EQ(image.ISOPathTableSize, 4096);
    EXPECT_EQ(image.ISOPathTableM - image.ISOPathTableL, 2);
    image.BuildImageHead(true, nullptr);
    EXPECT_EQ(int64_t(image.HeadStream.size()), int64_t(image.FirstFileLBA) * 2048);
}

TEST(Layout, RecordsNeverCrossASectorBoundary) {
    TTestImage image;
    image.JolietFileSystem = true;
    TDEntry* dir = image.Dir(image.RootDir, "d");
    // ISO 9660: 31-byte names make 33-byte identifiers and 66-byte records;
    // thirty of them fill the sector after "." and ".." exactly.
    for (int i = 0; i < 30; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "n%029d.", i);
        image.File(dir, name, 1);
    }
    image.BuildLayout(true, nullptr);
    EXPECT_EQ(dir->ISOSize, 2048);
    // Joliet: the same names make 100-byte records; 19 fit in the first
    // sector, the 20th starts the second and the skipped bytes count.
    EXPECT_EQ(dir->JolietSize, 4096);

    image.File(dir, "last.", 1);
    image.BuildLayout(true, nullptr);
    EXPECT_EQ(dir->ISOSize, 4096);
    image.BuildImageHead(true, nullptr);
    const int64_t isoExtent = image.ISODirArea + dir->ISOExtent;
    EXPECT_EQ(uint8_t(Sector(image.HeadStream, isoExtent + 1)[0]), 33 + 7);  // "LAST.;1"
    const std::string joliet = Sector(image.HeadStream, image.JolietDirArea + dir->JolietExtent);
    EXPECT_EQ(joliet.substr(68 + 19 * 100), std::string(2048 - 68 - 19 * 100, '\0'));
    EXPECT_EQ(uint8_t(Sector(image.HeadStream, image.JolietDirArea + dir->JolietExtent + 1)[0]), 100);
}

TEST(Layout, RecordSizesOfBothTrees) {
    TTestImage image;
    image.File(image.RootDir, "a.txt", 5);
    image.BuildLayout(true, nullptr);
    image.BuildImageHead(true, nullptr);
    const std::string iso = Sector(image.HeadStream, image.ISODirArea);
    const std::string joliet = Sector(image.HeadStream, image.JolietDirArea);
    EXPECT_EQ(uint8_t(iso[0]), 34);
    EXPECT_EQ(uint8_t(iso[68]), 40);  // "A.TXT;1": 33 + 7
    EXPECT_EQ(iso.substr(68 + 33, 7), "A.TXT;1");
    EXPECT_EQ(uint8_t(joliet[68]), 48);  // 33 + 14 + 1
    EXPECT_EQ(uint8_t(joliet[68 + 32]), 14);
    EXPECT_EQ(joliet.substr(68 + 33, 14), std::string("\0a\0.\0t\0x\0t\0;\0" "1", 14));
    // Extent of the file: the first file sector, both byte orders.
    EXPECT_EQ(LE32(iso, 68 + 2), 150u);
    EXPECT_EQ(BE32(iso, 68 + 6), 150u);
    EXPECT_EQ(LE32(iso, 68 + 10), 5u);
}

TEST(Layout, FileExtentsFollowCreationOrderAndSkipEmptyAndImportedFiles) {
    TTestImage image;
    TFEntry* big = image.File(image.RootDir, "big.bin", 3000);
    TFEntry* empty = image.File(image.RootDir, "empty.bin", 0);
    TFEntry* imported = image.File(image.RootDir, "old.bin", 9000);
    imported->Imported = true;
    imported->ISOExtent = imported->JolietExtent = 70000;
    TDEntry* sub = image.Dir(image.RootDir, "sub");
    TFEntry* small = image.File(sub, "small.bin", 1);
    image.BuildLayout(true, nullptr);
    EXPECT_EQ(big->ISOExtent, 0);
    EXPECT_EQ(empty->ISOExtent, 0);
    EXPECT_EQ(empty->JolietExtent, 0);
    EXPECT_EQ(imported->ISOExtent, 70000);
    EXPECT_EQ(small->ISOExtent, 2);
    EXPECT_EQ(image.FileSectors, 3);
    EXPECT_EQ(image.ImageEndLBA, 153);
    // The subdirectory's entry carries its directory's extent and size.
    EXPECT_EQ(image.RootDir->Files->Next->Next->Next->ISOExtent, sub->ISOExtent);
    EXPECT_EQ(image.RootDir->Files->Next->Next->Next->ISOSize, 2048);

    image.BuildImageHead(true, nullptr);
    const std::string root = Sector(image.HeadStream, image.ISODirArea);
    size_t at = 68 + uint8_t(root[68]);  // past big.bin
    EXPECT_EQ(LE32(root, at + 2), 0u) << "an empty file has extent 0";
    at += uint8_t(root[at]);
    EXPECT_EQ(LE32(root, at + 2), 70000u) << "an imported file keeps its absolute extent";
    at += uint8_t(root[at]);
    EXPECT_EQ(LE32(root, at + 2), uint32_t(image.ISODirArea + sub->ISOExtent));
    EXPECT_EQ(uint8_t(root[at + 25]), 0x02);
}

TEST(Layout, OverlongNamesAreShortenedToFitTheirRecords) {
    TTestImage image;
    const std::string name108(108, 'n'), name130 = std::string(126, 'x') + ".txt";
    image.File(image.RootDir, name108, 1);
    image.File(image.RootDir, name130, 1);
    image.Dir(image.RootDir, std::string(140, 'd'));
    image.BuildLayout(true, nullptr);
    image.BuildImageHead(true, nullptr);
    EXPECT_TRUE(image.Logged("SHORTENED"));
    const std::string joliet = Sector(image.HeadStream, image.JolietDirArea);
    size_t at = 68;
    EXPECT_EQ(uint8_t(joliet[at]), 254);  // 108 characters and ";1" in UTF-16
    at += 254;
    EXPECT_EQ(uint8_t(joliet[at]), 254);
    EXPECT_EQ(joliet.substr(at + 33 + 220 - 12, 12), std::string("\0.\0t\0x\0t\0;\0" "1", 12));
    at += 254;
    EXPECT_EQ(uint8_t(joliet[at]), 254);  // the directory: 110 characters
    EXPECT_EQ(uint8_t(joliet[at + 32]), 220);
}

TEST(Layout, SizesOutsideTheirFieldsAreRangeErrors) {
    // A file of 8 TiB puts the next one past the 32-bit sector addresses.
    TTestImage image;
    image.File(image.RootDir, "huge.bin", int64_t(1) << 43);
    image.File(image.RootDir, "after.bin", 1);
    EXPECT_THROW(image.BuildLayout(true, nullptr), std::range_error);
}

TEST(Layout, MissingBootImageSwitchesBootingOff) {
    TTestImage image;
    image.Bootable = true;
    image.BootImageFile = "/nonexistent/boot.img";
    image.BuildLayout(true, nullptr);
    EXPECT_FALSE(image.Bootable);
    EXPECT_EQ(image.ISOPathTableL, 19);
}

namespace {

// A layout for a disc that already holds a session ending at sector 1000.
class TDiscImage : public TTestImage {
public:
    int Calls = 0;

protected:
    bool LayoutDiscStart(TDEntry*) override {
        ++Calls;
        ImageStartLBA = 1000;
        return true;
    }
};

}  // namespace

TEST(Layout, DiscStartMovesEveryRegionAndImageFilesNeverAskForIt) {
    TDiscImage image;
    image.File(image.RootDir, "f", 10);
    image.BuildLayout(false, nullptr);
    EXPECT_EQ(image.Calls, 1);
    EXPECT_EQ(image.ISOPathTableL, 1019);
    EXPECT_EQ(image.PaddingSectors, 0);
    EXPECT_EQ(image.FirstFileLBA, 1025);
    EXPECT_EQ(image.ImageEndLBA, 1026);
    EXPECT_EQ(image.ImageSectors(), 300);
    image.BuildImageHead(false, nullptr);
    EXPECT_EQ(int64_t(image.HeadStream.size()), 25 * 2048);
    EXPECT_EQ(LE32(Sector(image.HeadStream, 16), 80), 1026u);

    image.BuildLayout(true, nullptr);
    EXPECT_EQ(image.Calls, 1);
    EXPECT_EQ(image.ImageStartLBA, 0);
}

}  // namespace kestrel::test
