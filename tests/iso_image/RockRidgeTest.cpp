// Rock Ridge images read back by peer tools: POSIX modes, symbolic links,
// full names beyond the ISO 9660 and Joliet limits, folders deeper than
// eight levels, and continuation areas, as xorriso, bsdtar and isoinfo see
// them. Also the packing of system-use entries into records and
// continuation areas, walked the way a reader does.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "ImageTestSupport.h"
#include "burner/iso/DirRecordLayout.h"
#include "burner/iso/SuspLayout.h"
#include "burner/iso/SystemUse.h"

namespace kestrel::test {

namespace fs = std::filesystem;

namespace {

const std::string LongName = std::string(196, 'n') + ".txt";  // 200 characters
const std::string DeepDir = "a/b/c/d/e/f/g/h/i/j/k";        // the file below is 11 folders deep

// What a peer extracted for one item: its kind, permission bits, and bytes
// or link target.
struct TItem {
    char Kind = '?';
    unsigned Perms = 0;
    std::string Content;
    bool operator==(const TItem&) const = default;
};

std::map<std::string, TItem> Snapshot(const fs::path& Root) {
    std::map<std::string, TItem> items;
    for (auto it = fs::recursive_directory_iterator(Root); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path& p = it->path();
        struct stat st {};
        ::lstat(p.c_str(), &st);
        TItem item;
        item.Perms = st.st_mode & 07777;
        if (S_ISLNK(st.st_mode)) item.Kind = 'l', item.Content = fs::read_symlink(p).string(), item.Perms = 0;
        else if (S_ISDIR(st.st_mode)) item.Kind = 'd', item.Perms = 0;  // folders the peers create themselves
        else item.Kind = 'f', item.Content = ReadFile(p.string());
        items[fs::relative(p, Root).string()] = item;
    }
    return items;
}

class RockRidgeImage : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"xorriso", "isoinfo", "bsdtar"})
            if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
        image.RockRidge = true;
    }

    void WriteTree() {
        WriteFile(src / "plain.txt", "plain");
        fs::permissions(src / "plain.txt", fs::perms(0640));
        WriteFile(src / "script.sh", "#!/bin/sh\necho hi\n");
        fs::permissions(src / "script.sh", fs::perms(0755));
        WriteFile(src / "README", "no extension");
        WriteFile(src / LongName, "a long name");
        WriteFile(src / DeepDir / "deep.txt", "deep");
        fs::create_symlink("plain.txt", src / "link");
        fs::create_symlink("/nowhere/at/all", src / "dangling");
    }

    // Scans src into the compilation as the front end does, and saves it.
    void Build() {
        ASSERT_EQ(image.InsertDir(image.RootDir, src, "*.*", 63, true, false, false), 1);
        image.QuickSaveToISOFile(iso);
    }

    TRunResult Run(const std::string& Command) { return RunTool(Command + " </dev/null"); }

    TTempDir dir;
    const fs::path src = dir.Path() / "src";
    const std::string iso = dir / "image.iso";
    TTestImage image;
};

}  // namespace

TEST_F(RockRidgeImage, PeersListModesLinksLongNamesAndDeepFiles) {
    WriteTree();
    Build();

    const TRunResult find = Run("xorriso -indev " + Quote(iso) + " -find / -exec lsdl");
    ASSERT_EQ(find.Status, 0) << find.Output;
    for (const std::string& expected :
         {std::string("-rw-r-----    1 0        0               5 "), std::string("'/plain.txt'"),
          std::string("-rwxr-xr-x"), std::string("'/link' -> 'plain.txt'"),
          std::string("'/dangling' -> '/nowhere/at/all'"), std::string("'/README'"), "'/" + LongName + "'",
          "'/" + DeepDir + "/deep.txt'"})
        EXPECT_NE(find.Output.find(expected), std::string::npos) << expected << "\n" << find.Output;

    const TRunResult listed = Run("isoinfo -R -l -i " + Quote(iso));
    ASSERT_EQ(listed.Status, 0) << listed.Output;
    EXPECT_NE(listed.Output.find(" " + LongName), std::string::npos) << listed.Output;
    EXPECT_NE(listed.Output.find("link -> plain.txt"), std::string::npos) << listed.Output;
    EXPECT_NE(listed.Output.find("-rwxr-xr-x"), std::string::npos) << listed.Output;

    // Without Rock Ridge a reader sees the relocation: no folder deeper
    // than eight levels (the root being the first).
    const TRunResult plain = Run("isoinfo -f -i " + Quote(iso));
    ASSERT_EQ(plain.Status, 0) << plain.Output;
    EXPECT_NE(plain.Output.find("/RR_MOVED/H"), std::string::npos) << plain.Output;
    std::istringstream lines(plain.Output);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(std::count(line.begin(), line.end(), '/'), 8) << line;
}

TEST_F(RockRidgeImage, PeersExtractTheSameTree) {
    WriteTree();
    Build();
    const auto expected = Snapshot(src);

    const fs::path byTar = dir.Path() / "bsdtar";
    fs::create_directories(byTar);
    const TRunResult tar = Run("bsdtar -xf " + Quote(iso) + " -C " + Quote(byTar.string()));
    ASSERT_EQ(tar.Status, 0) << tar.Output;
    // bsdtar hides the relocation folder; xorriso shows it (empty).
    auto extracted = Snapshot(byTar);
    EXPECT_EQ(extracted, expected);

    const fs::path byXorriso = dir.Path() / "xorriso";
    const TRunResult x = Run("xorriso -osirrox on -indev " + Quote(iso) + " -extract / " + Quote(byXorriso.string()));
    ASSERT_EQ(x.Status, 0) << x.Output;
    extracted = Snapshot(byXorriso);
    EXPECT_EQ(extracted.erase("rr_moved"), 1u);
    EXPECT_EQ(extracted, expected);
}

TEST_F(RockRidgeImage, LongNamesGetShortUniqueJolietNames) {
    const std::string stem(150, 'x');
    WriteFile(src / (stem + "-first.txt"), "1");
    WriteFile(src / (stem + "-second.txt"), "2");
    WriteFile(src / (std::string(255, 'y')), "255 bytes");
    fs::create_directories(src / std::string(120, 'd'));
    WriteFile(src / std::string(120, 'd') / "in.txt", "in");
    Build();
    EXPECT_TRUE(image.Logged("NAME TOO LONG FOR JOLIET")) << image.Log.size();

    const TRunResult joliet = Run("isoinfo -J -f -i " + Quote(iso));
    ASSERT_EQ(joliet.Status, 0) << joliet.Output;
    std::set<std::string> names;
    std::istringstream lines(joliet.Output);
    for (std::string line; std::getline(lines, line);) {
        const std::string name = fs::path(line).filename().string();
        EXPECT_LE(name.size(), 110u) << line;
        names.insert(line);
    }
    EXPECT_EQ(names.size(), 5u) << joliet.Output;  // every name distinct

    const TRunResult rock = Run("xorriso -indev " + Quote(iso) + " -find / -exec lsdl");
    for (const std::string& full : {stem + "-first.txt", stem + "-second.txt", std::string(255, 'y'),
                                    std::string(120, 'd') + "/in.txt"})
        EXPECT_NE(rock.Output.find("'/" + full + "'"), std::string::npos) << full << "\n" << rock.Output;
}

TEST_F(RockRidgeImage, LongLinkTargetsGoThroughContinuationAreas) {
    // A target of many components longer than a record (xorriso takes up
    // to 1,024 bytes), a name of 251 bytes, and enough of them to fill more
    // than one continuation sector.
    std::string target = "/";
    for (int i = 0; i < 20; ++i) target += "component_" + std::to_string(i) + "_" + std::string(20, 'c') + "/";
    target += std::string(250, 'z');
    fs::create_directories(src);
    for (int i = 0; i < 6; ++i) fs::create_symlink(target, src / (std::string(250, 'l') + std::to_string(i)));
    Build();
    EXPECT_GE(image.ContinuationSectors, 2);

    const TRunResult find = Run("xorriso -indev " + Quote(iso) + " -find / -exec lsdl");
    ASSERT_EQ(find.Status, 0) << find.Output;
    for (int i = 0; i < 6; ++i)
        EXPECT_NE(find.Output.find("'/" + std::string(250, 'l') + std::to_string(i) + "' -> '" + target + "'"),
                  std::string::npos)
            << i << "\n" << find.Output;
    const fs::path byTar = dir.Path() / "bsdtar";
    fs::create_directories(byTar);
    ASSERT_EQ(Run("bsdtar -xf " + Quote(iso) + " -C " + Quote(byTar.string())).Status, 0);
    EXPECT_EQ(fs::read_symlink(byTar / (std::string(250, 'l') + "5")).string(), target);
}

TEST_F(RockRidgeImage, WithoutRockRidgeLinksAreFollowedAndRecordsCarryNoFields) {
    image.RockRidge = false;
    WriteTree();
    Build();
    // The long name is refused without Rock Ridge, as before.
    EXPECT_TRUE(image.Logged("FILE NAME LONGER THAN 108 CHARACTERS"));
    const fs::path byTar = dir.Path() / "bsdtar";
    fs::create_directories(byTar);
    ASSERT_EQ(Run("bsdtar -xf " + Quote(iso) + " -C " + Quote(byTar.string())).Status, 0);
    EXPECT_FALSE(fs::is_symlink(byTar / "link."));
    EXPECT_EQ(ReadFile(byTar / "link."), "plain");
    EXPECT_FALSE(fs::exists(byTar / "dangling."));
    // The root's "." record is the bare 34 bytes: no SP, no system use.
    EXPECT_EQ(uint8_t(ReadBytes(iso, int64_t(image.ISODirArea) * 2048, 1)[0]), 34);
    EXPECT_EQ(image.ContinuationSectors, 0);
}

// Follows a record's system-use entries as a reader does, CE entries
// included, and returns the signatures met in order.
static std::vector<std::string> WalkEntries(const std::vector<uint8_t>& Record, const std::vector<uint8_t>& Area,
                                            int64_t AreaSector) {
    using namespace iso;
    std::vector<std::string> found;
    const uint8_t* at = Record.data();
    size_t left = Record.size();
    for (int hops = 0; hops < 100 && left >= susp::HeaderBytes && at[susp::LengthAt] >= susp::HeaderBytes;) {
        const std::string sig(reinterpret_cast<const char*>(at), 2);
        const size_t len = at[susp::LengthAt];
        if (sig == "CE") {
            const std::string bytes(reinterpret_cast<const char*>(at), len);
            const int64_t sector = LE32(bytes, susp::ce::BlockAt) - AreaSector;
            const int64_t offset = LE32(bytes, susp::ce::OffsetAt);
            const int64_t length = LE32(bytes, susp::ce::LengthAt);
            EXPECT_LE(offset + length, 2048) << "a continuation area crosses a sector";
            at = Area.data() + sector * 2048 + offset;
            left = size_t(length);
            ++hops;
            continue;
        }
        found.push_back(sig);
        at += len;
        left -= len;
    }
    return found;
}

TEST(SystemUsePacking, WhatDoesNotFitGoesToChainedContinuationAreas) {
    using namespace iso;
    // SP first, then 20 entries of 200 bytes: far more than a record and a
    // sector hold.
    std::vector<uint8_t> entries = {'S', 'P', 7, 1, 0xBE, 0xEF, 0};
    std::vector<std::string> expected{"SP"};
    for (int i = 0; i < 20; ++i) {
        const char sig[2] = {'X', char('A' + i)};
        entries.insert(entries.end(), {uint8_t(sig[0]), uint8_t(sig[1]), 200, 1});
        entries.resize(entries.size() + 196, uint8_t(i));
        expected.push_back(std::string(sig, 2));
    }
    for (const size_t room : {size_t(220), size_t(28)}) {
        TContinuationArea counting(false), writing(true);
        (void)PackSystemUse(entries, room, counting, 0);
        const std::vector<uint8_t> record = PackSystemUse(entries, room, writing, 500);
        EXPECT_LE(record.size(), room);
        EXPECT_EQ(record.size() % 2, 0u);
        EXPECT_EQ(counting.Sectors(), writing.Sectors());
        EXPECT_GE(writing.Sectors(), 2);
        EXPECT_EQ(WalkEntries(record, writing.Data(), 500), expected) << "room " << room;
    }
    // Entries that fit stay in the record, padded to an even length.
    TContinuationArea unused(true);
    const std::vector<uint8_t> sp(entries.begin(), entries.begin() + 7);
    EXPECT_EQ(PackSystemUse(sp, 220, unused, 0).size(), 8u);
    EXPECT_TRUE(unused.Empty());
}

}  // namespace kestrel::test
