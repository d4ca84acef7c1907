// Adding files and directory trees: names, paths, limits and the items the
// compilation must leave out (each said in the log).
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>
#include <set>

#include "CompilationFixture.h"
#include "burner/iso/DiscPaths.h"
#include "burner/iso/Names.h"

namespace kestrel::test {
namespace {

std::string Repeat(const std::string& Piece, size_t Count) {
    std::string out;
    for (size_t i = 0; i < Count; ++i) out += Piece;
    return out;
}

TEST_F(CompilationTest, ClearAllLeavesOnlyTheRoot) {
    Source("a.txt");
    comp.InsertFile("\\", src / "a.txt", false);
    ASSERT_TRUE(comp.ClearAll(600000, 20000));
    EXPECT_EQ(comp.DirsCount(), 0);
    EXPECT_EQ(comp.FilesCount(), 0);
    EXPECT_EQ(comp.CompilationSize, 0);
    ASSERT_NE(comp.RootDir, nullptr);
    EXPECT_EQ(comp.RootDir->ShortName, "CD_ROOT");
    EXPECT_EQ(comp.RootDir->LongName, "CD Root Directory");
    EXPECT_EQ(comp.RootDir->Path, "\\");
    EXPECT_EQ(comp.RootDir->Parent, comp.RootDir);
    EXPECT_EQ(comp.RootDir->Files, nullptr);
    EXPECT_EQ(comp.FindDirEntry(""), comp.RootDir);
    EXPECT_EQ(comp.FindDirEntry("\\"), comp.RootDir);
}

TEST_F(CompilationTest, TableLimitsAreLoggedWithTheirNumbers) {
    comp.ClearAll(600000, 1);
    EXPECT_EQ(comp.AddDirByName(comp.RootDir, "docs", faDirectory), nullptr);
    EXPECT_TRUE(Logged(">>> MAXIMUM DIRECTORIES CAN BE 1"));
    EXPECT_EQ(types.back(), mtLimit);
    EXPECT_EQ(comp.DirsCount(), 0);

    // A subdirectory takes a file entry too: with room for one entry the
    // directory cannot be made, and nothing half-made stays behind.
    comp.ClearAll(0, 20000);
    EXPECT_EQ(comp.AddDirByName(comp.RootDir, "docs", faDirectory), nullptr);
    EXPECT_TRUE(Logged("MAXIMUM FILES CAN BE 0"));
    EXPECT_EQ(comp.DirsCount(), 0);
    EXPECT_EQ(comp.ISODirOrder.size(), 1u);
    EXPECT_TRUE(comp.LimitReached());
}

TEST_F(CompilationTest, FileWithoutExtensionGetsADot) {
    const std::string path = Source("Data/README", "hello");
    ASSERT_EQ(comp.InsertFile("\\", path, false), 1);
    const TFEntry* entry = comp.FindFileEntry(comp.RootDir, "readme.");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->LongName, "README.");
    EXPECT_EQ(entry->ShortName, "README.");
    EXPECT_EQ(entry->ISOSize, 5);
    EXPECT_EQ(entry->SourcePath, path);
    EXPECT_EQ(comp.CompilationSize, 2048);
}

TEST_F(CompilationTest, InsertFileResults) {
    EXPECT_EQ(comp.InsertFile("\\", src / "missing.txt", false), -1);
    EXPECT_TRUE(Logged("MISSING FILE", "missing.txt"));
    Source("a.txt");
    EXPECT_EQ(comp.InsertFile("\\NOWHERE", src / "a.txt", false), 0);
    EXPECT_TRUE(Logged("INVALID DESTINATION PATH"));
    EXPECT_EQ(types.back(), mtInternal);
    // A device node is named in the log, never opened, and makes no directory.
    EXPECT_EQ(comp.InsertFile("\\", "/dev/null", true), 1);
    EXPECT_TRUE(Logged("DEVICE NODE", "/dev/null"));
    EXPECT_EQ(comp.FilesCount(), 0);
    EXPECT_EQ(comp.DirsCount(), 0);
}

TEST_F(CompilationTest, SavePathDerivesTheDiscDirectory) {
    const std::string path = Source("a/b/f.txt");
    const std::string disc = *DiscDirFromSource(src / "a/b/");
    ASSERT_EQ(comp.InsertFile("\\", path, true), 1);
    const TDEntry* dir = comp.FindDirEntry(disc);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(Names(dir), std::vector<std::string>{"f.txt"});
    EXPECT_EQ(dir->LongName, "b");
    EXPECT_EQ(dir->Path, DirPathKey(disc));

    comp.KeepLastDirOnly = true;
    ASSERT_EQ(comp.InsertFile("\\", path, true), 1);
    ASSERT_NE(comp.FindDirEntry("\\B"), nullptr);
    EXPECT_EQ(Names(comp.FindDirEntry("\\b")), std::vector<std::string>{"f.txt"});
    ExpectConsistent();
}

TEST_F(CompilationTest, DiscPathsFromSourcePaths) {
    EXPECT_EQ(*DiscDirFromSource("/A/B/"), "\\A\\B\\");
    EXPECT_EQ(*DiscDirFromSource("/A/./C/../B"), "\\A\\B\\");
    EXPECT_EQ(*DiscDirFromSource("//srv/share/a/b/"), "\\a\\b\\");
    EXPECT_EQ(*DiscDirFromSource("//srv/share"), "\\");
    EXPECT_EQ(*DiscDirFromSource("/"), "\\");
    EXPECT_FALSE(DiscDirFromSource("/A/x\\y/").has_value());
    EXPECT_EQ(KeepLastLevel("\\A\\B\\"), "\\B\\");
    EXPECT_EQ(KeepLastLevel("\\"), "\\");
    EXPECT_EQ(DirPathKey("\\docs\\\\2004\\"), "\\DOCS\\2004");
}

TEST_F(CompilationTest, NetworkFormLosesMachineAndShare) {
    // "//host/share/..." names a network source; on this system the kernel
    // reads it as the local path without the doubled slash.
    Source("a/b/f.txt");
    const std::string network = "/" + (src / "a/b/f.txt");
    const std::string tail = network.substr(network.find('/', network.find('/', 2) + 1));
    ASSERT_EQ(comp.InsertFile("\\", network, true), 1);
    std::string disc = tail.substr(0, tail.rfind('/'));
    std::replace(disc.begin(), disc.end(), '/', '\\');
    const TDEntry* dir = comp.FindDirEntry(disc);
    ASSERT_NE(dir, nullptr) << disc;
    EXPECT_EQ(Names(dir), std::vector<std::string>{"f.txt"});
}

TEST_F(CompilationTest, LongNamesAtTheRecordLimit) {
    comp.RockRidge = false;
    const std::string name108 = Repeat("a", 104) + ".txt";
    const std::string name109 = Repeat("b", 105) + ".txt";
    Source(name108);
    Source(name109);
    EXPECT_EQ(comp.InsertFile("\\", src / name108, false), 1);
    EXPECT_EQ(comp.InsertFile("\\", src / name109, false), 1);
    EXPECT_EQ(Names(comp.RootDir), std::vector<std::string>{name108});
    EXPECT_TRUE(Logged("LONGER THAN 108", name109));

    // Lengths count UTF-16 units: 54 characters beyond the BMP are 108 units.
    const std::string wide = Repeat("\xF0\x9F\x98\x80", 52) + ".txt";  // 104 + 4 units
    Source(wide);
    EXPECT_EQ(comp.InsertFile("\\", src / wide, false), 1);
    EXPECT_NE(comp.FindFileEntry(comp.RootDir, wide), nullptr);
    for (const TFEntry* at = comp.RootDir->Files; at; at = at->Next)
        EXPECT_LE(at->ShortName.size() + 2, 221u) << at->LongName;

    const std::string dir110 = Repeat("d", 110), dir111 = Repeat("e", 111);
    EXPECT_NE(comp.AddDirByName(comp.RootDir, dir110, faDirectory), nullptr);
    EXPECT_EQ(comp.AddDirByName(comp.RootDir, dir111, faDirectory), nullptr);
    EXPECT_TRUE(Logged("LONGER THAN 110", dir111));
}

TEST_F(CompilationTest, RockRidgeKeepsNamesUpToAPosixNameWithShortUniqueJolietNames) {
    const std::string longest = Repeat("a", 251) + ".txt";
    const std::string twin1 = Repeat("t", 150) + "-1.txt", twin2 = Repeat("t", 150) + "-2.txt";
    for (const auto& name : {longest, twin1, twin2}) Source(name);
    for (const auto& name : {longest, twin1, twin2}) EXPECT_EQ(comp.InsertFile("\\", src / name, false), 1);
    EXPECT_EQ(Names(comp.RootDir), (std::vector<std::string>{longest, twin1, twin2}));
    // A name no Linux file has, as an imported session could bring it.
    TSearchData tooLong;
    tooLong.Name = Repeat("b", 252) + ".txt";
    EXPECT_EQ(comp.AddFileEntry(comp.RootDir, tooLong, "", 0, false), 0);
    EXPECT_TRUE(Logged("LONGER THAN 255 BYTES", tooLong.Name));
    std::set<std::string> joliet;
    for (const TFEntry* e = comp.RootDir->Files; e; e = e->Next) {
        EXPECT_LE(Utf16Length(JolietNameOf(*e)), 108u) << e->LongName;
        EXPECT_TRUE(JolietNameOf(*e).ends_with(".txt")) << JolietNameOf(*e);
        EXPECT_LE(e->ShortName.size() + 2, 193u) << e->LongName;  // room left for a continuation entry
        joliet.insert(UpperAscii(JolietNameOf(*e)));
    }
    EXPECT_EQ(joliet.size(), 3u);
    EXPECT_TRUE(Logged("NAME TOO LONG FOR JOLIET", twin2));
    // Removing an entry frees its Joliet name for the next one.
    const std::string freed = JolietNameOf(*comp.FindFileEntry(comp.RootDir, twin2));
    comp.RemoveByPath("\\", twin2);
    const std::string twin3 = Repeat("t", 150) + "-3.txt";
    Source(twin3);
    comp.InsertFile("\\", src / twin3, false);
    EXPECT_EQ(JolietNameOf(*comp.FindFileEntry(comp.RootDir, twin3)), freed);

    const std::string dir = Repeat("d", 200);
    TDEntry* made = comp.AddDirByName(comp.RootDir, dir, faDirectory);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->LongName, dir);
    EXPECT_LE(JolietNameOf(*made).size(), 110u);
    EXPECT_EQ(made->Self, comp.FindFileEntry(comp.RootDir, dir));
}

TEST_F(CompilationTest, RockRidgeStoresLinksAsLinksUnlessFollowing) {
    Source("t/target.txt", "target");
    Mkdir("t/sub");
    Source("t/sub/in.txt");
    ASSERT_EQ(symlink("target.txt", (src / "t/link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (src / "t/dangling").c_str()), 0);
    ASSERT_EQ(symlink("sub", (src / "t/dirlink").c_str()), 0);
    chmod((src / "t/target.txt").c_str(), 0604);
    EXPECT_EQ(comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, true, false, false), 1);
    const TFEntry* link = comp.FindFileEntry(comp.RootDir, "link.");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->LinkTarget, "target.txt");
    EXPECT_EQ(PosixNameOf(*link), "link");
    EXPECT_EQ(link->ISOSize, 0);
    EXPECT_EQ(comp.FindFileEntry(comp.RootDir, "dangling.")->LinkTarget, "nowhere");
    EXPECT_EQ(comp.FindFileEntry(comp.RootDir, "dirlink.")->LinkTarget, "sub");
    EXPECT_EQ(comp.FindDirEntry("\\dirlink"), nullptr);  // a link to a folder is not entered
    EXPECT_EQ(comp.FindFileEntry(comp.RootDir, "target.txt")->Mode & 07777, 0604u);
    EXPECT_EQ(comp.CompilationSize, 2 * 2048);

    comp.ClearAll(600000, 20000);
    comp.FollowLinks = true;
    EXPECT_EQ(comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, true, false, false), 1);
    EXPECT_TRUE(comp.FindFileEntry(comp.RootDir, "link.")->LinkTarget.empty());
    EXPECT_EQ(comp.FindFileEntry(comp.RootDir, "link.")->ISOSize, 6);
    EXPECT_NE(comp.FindDirEntry("\\dirlink"), nullptr);
    EXPECT_EQ(comp.FindFileEntry(comp.RootDir, "dangling."), nullptr);
}

TEST_F(CompilationTest, HandlerMayLetThroughOnlyWhatFits) {
    comp.RockRidge = false;
    const std::string name = Repeat("c", 106) + ".txt";  // 110 characters
    Source(name);
    comp.OnAddFile = [](TCompilation*, const std::string&, std::string& Long, std::string&, TDateTime&, int,
                        int64_t, bool& Skip) {
        if (Long.size() > 108) Skip = false;  // a handler that ignores the limit
    };
    comp.InsertFile("\\", src / name, false);
    EXPECT_EQ(comp.FilesCount(), 0);
    EXPECT_TRUE(Logged("LONGER THAN 108"));

    comp.OnAddFile = [](TCompilation*, const std::string&, std::string& Long, std::string& Short, TDateTime& Date,
                        int, int64_t, bool& Skip) {
        Long = "short.txt";
        Short = "SHORT.TXT";
        Date = 40000.5;
        Skip = false;
    };
    comp.InsertFile("\\", src / name, false);
    const TFEntry* entry = comp.FindFileEntry(comp.RootDir, "SHORT.TXT");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->DateTime, 40000.5);
}

TEST_F(CompilationTest, DuplicatesKeepTheFirstUnlessReplacing) {
    Source("one/same.txt", "first file");
    Source("two/SAME.TXT", std::string(5000, 'x'));
    comp.InsertFile("\\", src / "one/same.txt", false);
    comp.InsertFile("\\", src / "two/SAME.TXT", false);
    ASSERT_EQ(comp.FilesCount(), 1);
    EXPECT_EQ(comp.RootDir->Files->SourcePath, src / "one/same.txt");
    EXPECT_TRUE(Logged("ALREADY ADDED", "SAME.TXT"));
    EXPECT_EQ(comp.CompilationSize, 2048);

    comp.ReplaceFile = true;
    comp.InsertFile("\\", src / "two/SAME.TXT", false);
    ASSERT_EQ(comp.FilesCount(), 1);
    const TFEntry* entry = comp.RootDir->Files;
    EXPECT_EQ(entry->SourcePath, src / "two/SAME.TXT");
    EXPECT_EQ(entry->LongName, "SAME.TXT");
    EXPECT_EQ(entry->ISOSize, 5000);
    EXPECT_EQ(comp.CompilationSize, 6144);
    EXPECT_EQ(comp.FindFileEntry(comp.RootDir, "same.txt"), entry);
}

TEST_F(CompilationTest, FileAndDirectoryNamesNeverClash) {
    Source("x/data.bin");
    Source("y/data.bin/inner.txt");
    comp.ReplaceFile = true;
    ASSERT_NE(comp.AddDirByName(comp.RootDir, "data.bin", faDirectory), nullptr);
    comp.InsertFile("\\", src / "x/data.bin", false);
    EXPECT_TRUE(Logged("A DIRECTORY ALREADY HAS", "data.bin"));
    const TFEntry* entry = comp.FindFileEntry(comp.RootDir, "data.bin");
    ASSERT_NE(entry, nullptr);
    ASSERT_NE(entry->Dir, nullptr);  // still the directory, not refilled with file data
    EXPECT_EQ(entry->ISOSize, 0);
    EXPECT_TRUE(entry->SourcePath.empty());

    comp.ClearAll(600000, 20000);
    comp.InsertFile("\\", src / "x/data.bin", false);
    EXPECT_EQ(comp.AddDirByName(comp.RootDir, "data.bin", faDirectory), nullptr);
    EXPECT_TRUE(Logged("A FILE ALREADY HAS", "data.bin"));
    EXPECT_EQ(comp.DirsCount(), 0);
    ExpectConsistent();
}

TEST_F(CompilationTest, NamesHoldingBackslashOrBadUtf8) {
    Source("back\\slash.txt");
    comp.InsertFile("\\", src / "back\\slash.txt", false);
    EXPECT_EQ(comp.FilesCount(), 0);
    EXPECT_TRUE(Logged("HOLDING"));

    // Bad bytes are replaced so the file still reaches the disc.
    Source("bad\xFF\xFEname.txt");
    ASSERT_EQ(comp.InsertFile("\\", src / "bad\xFF\xFEname.txt", false), 1);
    ASSERT_EQ(comp.FilesCount(), 1);
    EXPECT_EQ(comp.RootDir->Files->LongName, "bad\xEF\xBF\xBD\xEF\xBF\xBDname.txt");
    EXPECT_EQ(comp.RootDir->Files->SourcePath, src / "bad\xFF\xFEname.txt");
    EXPECT_TRUE(Logged("NOT VALID UTF-8"));
}

TEST_F(CompilationTest, HiddenAndDirectoryAttributes) {
    Source("tree/.profile");
    Source("tree/sub/f.txt");
    ASSERT_EQ(comp.InsertDir(comp.RootDir, src / "tree", "*.*", 63, true, false, false), 1);
    const TFEntry* hidden = comp.FindFileEntry(comp.RootDir, ".profile");
    ASSERT_NE(hidden, nullptr);
    EXPECT_TRUE(hidden->Attr & faHidden);
    EXPECT_EQ(hidden->ShortName, ".PROFILE");
    const TFEntry* sub = comp.FindFileEntry(comp.RootDir, "sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->Attr & faDirectory);
    EXPECT_EQ(sub->Dir->Parent, comp.RootDir);
    EXPECT_EQ(sub->Dir->Level, 2);

    // Without 02h in the search mask hidden files are not found.
    comp.ClearAll(600000, 20000);
    comp.InsertDir(comp.RootDir, src / "tree", "*.*", 63 & ~faHidden, false, false, false);
    EXPECT_EQ(comp.FindFileEntry(comp.RootDir, ".profile"), nullptr);
}

TEST_F(CompilationTest, ScanGoesOnPastItemsItLeavesOut) {
    comp.RockRidge = false;  // the name limits and followed links of images without Rock Ridge
    Source("tree/a/1.txt");
    Source("tree/a/" + Repeat("n", 120) + ".txt");
    Source("tree/a/2.txt");
    Source("tree/b/" + Repeat("m", 115));
    Source("tree/c/3.txt");
    Source("tree/z.txt");
    ASSERT_EQ(mkfifo((src / "tree/a/pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink("nowhere", (src / "tree/a/dangling").c_str()), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = src / "tree/c/sock";
    if (sockPath.size() < sizeof addr.sun_path) {
        std::strcpy(addr.sun_path, sockPath.c_str());
        ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    }
    // A large sparse file: 4 GiB and more is stored in several extents.
    {
        std::ofstream(src / "tree/c/huge.bin");
        ASSERT_EQ(truncate((src / "tree/c/huge.bin").c_str(), int64_t{1} << 32), 0);
    }

    EXPECT_EQ(comp.InsertDir(comp.RootDir, src / "tree/", "*.*", 63, true, false, false), 1);
    close(sock);
    EXPECT_EQ(Names(comp.FindDirEntry("\\A")), (std::vector<std::string>{"1.txt", "2.txt"}));
    EXPECT_EQ(comp.FindDirEntry("\\B"), nullptr);  // its only file left out: dropped
    EXPECT_EQ(Names(comp.FindDirEntry("\\C")), (std::vector<std::string>{"3.txt", "huge.bin"}));
    EXPECT_NE(comp.FindFileEntry(comp.RootDir, "z.txt"), nullptr);
    EXPECT_TRUE(Logged("LONGER THAN 108", "nnnn"));
    EXPECT_TRUE(Logged("LONGER THAN 108", "mmmm"));
    EXPECT_TRUE(Logged("FIFO", "pipe"));
    EXPECT_TRUE(Logged("BROKEN SYMBOLIC LINK", "dangling"));
    if (sockPath.size() < sizeof addr.sun_path) {
        EXPECT_TRUE(Logged("SOCKET", "sock"));
    }
    EXPECT_NE(comp.FindFileEntry(comp.FindDirEntry("\\C"), "huge.bin"), nullptr);
    EXPECT_FALSE(Logged("huge.bin"));
    ExpectConsistent();
}

TEST_F(CompilationTest, ScanOrderIsSubdirectoriesFirstThenFilesByName) {
    Source("t/b.txt");
    Source("t/a.txt");
    Source("t/zdir/in.txt");
    Source("t/adir/in.txt");
    comp.InsertDir(comp.RootDir, src / "t", "", 63, true, false, false);
    EXPECT_EQ(Names(comp.RootDir), (std::vector<std::string>{"adir", "zdir", "a.txt", "b.txt"}));
    std::vector<std::string> order;
    for (const auto& entry : comp.FileTable) order.push_back(entry->LongName);
    EXPECT_EQ(order, (std::vector<std::string>{"adir", "in.txt", "zdir", "in.txt", "a.txt", "b.txt"}));
}

TEST_F(CompilationTest, MaskAndNonRecursiveScan) {
    Source("t/keep.txt");
    Source("t/skip.dat");
    Source("t/sub/deep.txt");
    comp.InsertDir(comp.RootDir, src / "t", "*.TXT", 63, false, false, false);
    EXPECT_EQ(Names(comp.RootDir), std::vector<std::string>{"keep.txt"});
}

TEST_F(CompilationTest, SymlinkLoopsAreFollowedOnce) {
    comp.FollowLinks = true;
    Source("t/real/f.txt");
    Source("t/target.txt", "linked");
    ASSERT_EQ(symlink("..", (src / "t/real/up").c_str()), 0);
    ASSERT_EQ(symlink("real", (src / "t/again").c_str()), 0);
    ASSERT_EQ(symlink("target.txt", (src / "t/link.txt").c_str()), 0);
    ASSERT_EQ(comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, true, false, false), 1);
    // Exactly one of "again" and "real" is scanned; the loop back up is not.
    const int scanned = (comp.FindDirEntry("\\again") != nullptr) + (comp.FindDirEntry("\\real") != nullptr);
    EXPECT_EQ(scanned, 1);
    EXPECT_EQ(comp.FindDirEntry("\\again\\up"), nullptr);
    EXPECT_EQ(comp.FindDirEntry("\\real\\up"), nullptr);
    EXPECT_TRUE(Logged("ALREADY SCANNED"));
    const TFEntry* link = comp.FindFileEntry(comp.RootDir, "link.txt");
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->ISOSize, 6);
}

TEST_F(CompilationTest, OnAddDirSkipsWholeSubtreesAndCannotRename) {
    Source("t/skipme/deep/f.txt");
    Source("t/keep/f.txt");
    comp.OnAddDir = [](TCompilation*, std::string& Long, std::string& Short, bool& Skip) {
        Skip = Long == "skipme";
        Long = "renamed";
        Short = "RENAMED";
    };
    comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, true, false, false);
    EXPECT_EQ(comp.FindDirEntry("\\skipme"), nullptr);
    EXPECT_EQ(comp.FindDirEntry("\\skipme\\deep"), nullptr);
    ASSERT_NE(comp.FindDirEntry("\\keep"), nullptr);
    EXPECT_EQ(comp.FindDirEntry("\\renamed"), nullptr);
    EXPECT_EQ(comp.DirsCount(), 1);
}

TEST_F(CompilationTest, EmptySubdirectoryIsMadeAndDroppedAgain) {
    Mkdir("t/empty");
    Source("t/f.txt");
    comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, true, false, false);
    EXPECT_EQ(comp.DirsCount(), 0);
    EXPECT_EQ(Names(comp.RootDir), std::vector<std::string>{"f.txt"});
    ExpectConsistent();
}

TEST_F(CompilationTest, TableLimitStopsTheScanAsAFailure) {
    for (int i = 0; i < 5; ++i) Source("t/d" + std::to_string(i) + "/f.txt");
    comp.ClearAll(600000, 3);  // the root and two more
    EXPECT_EQ(comp.InsertDir(comp.RootDir, src / "t", "*.*", 63, true, false, false), 0);
    EXPECT_EQ(comp.DirsCount(), 2);
    EXPECT_TRUE(Logged("MAXIMUM DIRECTORIES CAN BE 3"));

    comp.ClearAll(4, 20000);
    for (int i = 0; i < 6; ++i) Source("flat/" + std::to_string(i) + ".txt");
    EXPECT_EQ(comp.InsertDir(comp.RootDir, src / "flat", "*.*", 63, false, false, false), 0);
    EXPECT_EQ(comp.FilesCount(), 4);
}

TEST_F(CompilationTest, InsertDirWithSavePathBelowADestination) {
    Source("p/q/f.txt");
    TDEntry* dest = comp.ForceDirPath("\\backup");
    ASSERT_NE(dest, nullptr);
    comp.KeepLastDirOnly = true;
    ASSERT_EQ(comp.InsertDir(dest, src / "p/q/", "*.*", 63, true, true, false), 1);
    EXPECT_EQ(Names(comp.FindDirEntry("\\BACKUP\\Q")), std::vector<std::string>{"f.txt"});
    EXPECT_EQ(comp.InsertDir(comp.RootDir, src / "nope", "*.*", 63, true, false, false), -1);
    EXPECT_TRUE(Logged("MISSING DIRECTORY"));
}

TEST_F(CompilationTest, DirectoriesByNameAndPath) {
    TDEntry* made = comp.ForceDirPath("\\Docs\\2004\\Reports");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->Path, "\\DOCS\\2004\\REPORTS");
    EXPECT_EQ(made->Level, 4);
    EXPECT_EQ(comp.ForceDirPath("\\docs\\2004\\reports\\"), made);
    EXPECT_EQ(comp.DirsCount(), 3);
    TDEntry* odd = comp.AddDirByName(comp.RootDir, "\\my {odd} name with spaces\\", faDirectory);
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->LongName, "my {odd} name with spaces");
    EXPECT_EQ(odd->ShortName, "MY__ODD__NAME");
    const TFEntry* entry = comp.FindFileEntry(comp.RootDir, "MY {ODD} NAME WITH SPACES");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Dir, odd);
    EXPECT_EQ(comp.FindDirEntry("\\missing"), nullptr);
}

TEST_F(CompilationTest, ShortNamesDifferWithinADirectory) {
    // Directories made by name keep 13 characters; two of them would share
    // one ISO 9660 name and readers without Joliet would merge them.
    TDEntry* first = comp.AddDirByName(comp.RootDir, "longprefix-name-aaa", faDirectory);
    TDEntry* second = comp.AddDirByName(comp.RootDir, "longprefix-name-bbb", faDirectory);
    TDEntry* literal = comp.AddDirByName(comp.RootDir, "longprefix-na", faDirectory);
    ASSERT_TRUE(first && second && literal);
    EXPECT_EQ(first->ShortName, "LONGPREFIX-NA");
    EXPECT_EQ(second->ShortName, "LONGPREFIX-NA~1");
    EXPECT_EQ(literal->ShortName, "LONGPREFIX-NA~2");
    EXPECT_EQ(comp.FindFileEntry(comp.RootDir, "longprefix-name-bbb")->ShortName, "LONGPREFIX-NA~1");

    // Long names cut to fit keep their extension and are numbered.
    const std::string stem = Repeat("\xE2\x82\xAC", 72);  // 216 bytes
    Source("a/" + stem + "1.txt");
    Source("a/" + stem + "2.txt");
    comp.InsertDir(comp.RootDir, src / "a", "*.*", 63, false, false, false);
    const TFEntry* one = comp.FindFileEntry(comp.RootDir, stem + "1.txt");
    const TFEntry* two = comp.FindFileEntry(comp.RootDir, stem + "2.txt");
    ASSERT_TRUE(one && two);
    EXPECT_NE(one->ShortName, two->ShortName);
    EXPECT_EQ(two->ShortName.substr(two->ShortName.size() - 6), "~1.TXT");
    EXPECT_LE(two->ShortName.size(), 219u);

    // A removed entry gives its name back.
    ASSERT_TRUE(comp.RemoveDir(second));
    EXPECT_EQ(comp.AddDirByName(comp.RootDir, "longprefix-name-ccc", faDirectory)->ShortName, "LONGPREFIX-NA~1");
}

// ISO 9660 names hold no control characters: a directory named by the
// single byte 01h would read as the parent directory's record.
TEST_F(CompilationTest, ControlCharactersOfNamesBecomeUnderscoresInShortNames) {
    ASSERT_EQ(comp.InsertFile("\\", Source("a_b.txt"), false), 1);
    ASSERT_EQ(comp.InsertFile("\\", Source("a\nb.txt"), false), 1);
    const TFEntry* plain = comp.FindFileEntry(comp.RootDir, "a_b.txt");
    const TFEntry* newline = comp.FindFileEntry(comp.RootDir, "a\nb.txt");
    ASSERT_TRUE(plain && newline);
    EXPECT_EQ(plain->ShortName, "A_B.TXT");
    EXPECT_EQ(newline->ShortName, "A_B~1.TXT");
    EXPECT_EQ(newline->LongName, "a\nb.txt");

    TSearchData found;
    found.Name = "\x01";
    found.Attr = faDirectory;
    const TDEntry* dir = comp.MakeDirEntry(comp.RootDir, found);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(dir->ShortName, "_");
    EXPECT_EQ(dir->LongName, "\x01");
}

TEST_F(CompilationTest, ImportedEntriesKeepTheirExtentsAndDoNotCount) {
    TSearchData found;
    found.Name = "old.txt";
    found.Size = 100000;
    found.Time = 40000.0;
    ASSERT_EQ(comp.AddFileEntry(comp.RootDir, found, "", 1234, false), 1);
    const TFEntry* entry = comp.RootDir->Files;
    EXPECT_TRUE(entry->Imported);
    EXPECT_EQ(entry->ISOExtent, 1234);
    EXPECT_EQ(entry->JolietExtent, 1234);
    EXPECT_EQ(comp.CompilationSize, 0);

    comp.ReplaceFile = true;
    Source("old.txt", "new");
    comp.InsertFile("\\", src / "old.txt", false);
    EXPECT_FALSE(comp.RootDir->Files->Imported);
    EXPECT_EQ(comp.CompilationSize, 2048);
}

}  // namespace
}  // namespace kestrel::test
