// Rock Ridge discs made by peers (xorriso, genisoimage) and by kestrel-cli,
// imported and extracted through the virtual recorder: POSIX names of any
// length, modes, dates and symbolic links come back; links that would lead
// out of the folder extracted into are refused, and nothing is written
// through a link already there; folders moved for their depth are back
// where they belong.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "ImportRig.h"
#include "burner/engine/Extract.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;

const std::string kLongName = std::string(196, 'n') + ".txt";  // 200 bytes
const std::string kDeep = "a/b/c/d/e/f/g/h/i/j/k";             // 11 folders
constexpr time_t kToolTime = 1262433600;                       // 2010-01-02 12:00:00 UTC

mode_t ModeOf(const std::string& Path) {
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::string LinkTarget(const std::string& Path) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(Path, ec);
    return ec ? std::string() : target.string();
}

class RockRidgePeer : public ::testing::Test {
protected:
    TImportRig rig;
    const std::string src = rig.work / "src";
    const std::string out = rig.work / "dest/out";  // "dest" catches anything written beside it

    void SetUp() override {
        WriteFile(src + "/tool.sh", "#!/bin/sh\n");
        fs::permissions(src + "/tool.sh", fs::perms(0750));
        SetTime(src + "/tool.sh", kToolTime);
        WriteFile(src + "/private/secret.txt", "secret\n");
        fs::permissions(src + "/private/secret.txt", fs::perms(0600));
        fs::permissions(src + "/private", fs::perms(0700));
        WriteFile(src + "/" + kLongName, "long\n");
        WriteFile(src + "/" + kDeep + "/deep.txt", "deep\n");
        fs::create_symlink("tool.sh", src + "/link");
        fs::create_symlink("../tool.sh", src + "/private/up");
        fs::create_symlink("../../outside.txt", src + "/escape");
        fs::create_symlink("/etc/passwd", src + "/absolute");
        fs::create_directories(out);
    }

    void InsertImage(const std::string& Command) {
        const std::string image = rig.work / "disc.iso";
        const TRun made = Shell(Command + " -o " + image + " " + src + " 2>&1");
        ASSERT_EQ(made.ExitCode, 0) << made.Output;
        rig.Insert(TImportRig::kDvdDrive, vdrive::MediaKind::DvdRom, image);
    }

    TRun Cli(const std::string& Args) {
        return Shell("KESTREL_TIME_SCALE=0.01 " + std::string(KESTREL_CLI_PATH) + " " + Args + " 2>&1");
    }
};

TEST_F(RockRidgePeer, XorrisoDiscComesBackWithNamesModesDatesAndLinksInsideTheFolder) {
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    InsertImage("xorriso -as mkisofs -R -J -iso-level 3");
    // Every link is imported as it stands; only the extraction refuses some.
    ASSERT_TRUE(rig.Import(TImportRig::kDvdDrive, -1)) << rig.LogText();
    EXPECT_TRUE(rig.Logged(">>> ROCK RIDGE: NAMES AND ATTRIBUTES FROM THE PRIMARY TREE"));
    ASSERT_NE(rig.Find("/" + kLongName), nullptr) << rig.LogText();
    ASSERT_NE(rig.Find("/" + kDeep + "/deep.txt"), nullptr);
    EXPECT_EQ(rig.Find("/link")->LinkTarget, "tool.sh");
    EXPECT_EQ(rig.Find("/tool.sh")->Mode & 07777, 0750u);

    const TExtractCount count = ExtractDirectory(rig.burner, *rig.burner.RootDir, out, true, false);
    EXPECT_EQ(count.Files, 6);   // tool.sh, secret.txt, the long name, deep.txt, link, private/up
    EXPECT_EQ(count.Failed, 2);  // escape, absolute
    EXPECT_EQ(ModeOf(out + "/tool.sh") & 07777, 0750u);
    EXPECT_EQ(ModificationTime(out + "/tool.sh"), kToolTime);
    EXPECT_EQ(ModeOf(out + "/private") & 07777, 0700u);
    EXPECT_EQ(ModeOf(out + "/private/secret.txt") & 07777, 0600u);
    EXPECT_EQ(ReadFile(out + "/" + kLongName), "long\n");
    EXPECT_EQ(ReadFile(out + "/" + kDeep + "/deep.txt"), "deep\n");
    EXPECT_EQ(LinkTarget(out + "/link"), "tool.sh");
    EXPECT_EQ(LinkTarget(out + "/private/up"), "../tool.sh");
    EXPECT_EQ(ReadFile(out + "/private/up"), "#!/bin/sh\n");
    EXPECT_TRUE(rig.Logged("ERROR EXTRACTING FILE escape: ITS LINK TARGET ../../outside.txt LEADS OUT OF THE FOLDER"));
    EXPECT_TRUE(rig.Logged("ERROR EXTRACTING FILE absolute: ITS LINK TARGET /etc/passwd LEADS OUT OF THE FOLDER"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(out + "/escape")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(out + "/absolute")));
    EXPECT_EQ(std::distance(fs::directory_iterator(rig.work / "dest"), fs::directory_iterator()), 1)
        << "nothing beside the folder extracted into";
}

TEST_F(RockRidgePeer, ExtractionReplacesLinksInItsWayButNeverWritesThroughThem) {
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    InsertImage("xorriso -as mkisofs -R -J");
    rig.Import(TImportRig::kDvdDrive, -1);
    // Links placed where the disc's file and folder go, pointing outside.
    const std::string victim = rig.work / "victim.txt";
    WriteFile(victim, "mine\n");
    fs::create_directories(rig.work / "elsewhere");
    fs::create_symlink(victim, out + "/tool.sh");
    fs::create_symlink(rig.work / "elsewhere", out + "/private");

    const TExtractCount count = ExtractDirectory(rig.burner, *rig.burner.RootDir, out, true, true);
    EXPECT_GT(count.Failed, 0);
    EXPECT_EQ(ReadFile(victim), "mine\n");
    EXPECT_EQ(ReadFile(out + "/tool.sh"), "#!/bin/sh\n");
    EXPECT_EQ(LinkTarget(out + "/tool.sh"), "") << "the link itself was replaced by the file";
    EXPECT_TRUE(fs::is_empty(rig.work / "elsewhere"));
    EXPECT_TRUE(rig.Logged("IS NOT A FOLDER OF ITS OWN (A FILE OR A SYMBOLIC LINK)")) << rig.LogText();
}

TEST_F(RockRidgePeer, LsShowsModesAndLinkTargetsAsLsDoes) {
    if (!HaveProgram("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    InsertImage("xorriso -as mkisofs -R -J");
    const TRun r = Cli("ls --drive 0");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("-rwxr-x---            10  2010-01-02 "), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("drwx------             -  "), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("lrwxrwxrwx             0  "), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("  /link -> tool.sh\n"), std::string::npos) << r.Output;
    const TRun json = Cli("ls --drive 0 --json");
    EXPECT_NE(json.Output.find("{\"path\":\"/link\",\"type\":\"link\",\"mode\":\"lrwxrwxrwx\","), std::string::npos)
        << json.Output;
    EXPECT_NE(json.Output.find("\"target\":\"tool.sh\""), std::string::npos) << json.Output;
}

// Writers that move folders deeper than eight levels (genisoimage, and
// kestrel-cli itself) leave a link where each stood.
TEST_F(RockRidgePeer, FoldersMovedForTheirDepthAreReadWhereTheyStood) {
    const std::string deepFile = "/" + kDeep + "/deep.txt";
    std::vector<std::string> writers = {std::string(KESTREL_CLI_PATH) + " build-iso --save-path unchecked"};
    if (HaveProgram("genisoimage")) writers.push_back("genisoimage -quiet -R -J");
    for (const std::string& writer : writers) {
        const std::string source = writer.find("kestrel") != std::string::npos ? src + "/" : src;
        const std::string image = rig.work / "moved.iso";
        const TRun made = Shell(writer + " -o " + image + " " + source + " 2>&1");
        ASSERT_EQ(made.ExitCode, 0) << made.Output;
        ASSERT_NE(Shell("isoinfo -R -l -i " + image).Output.find("rr_moved"), std::string::npos)
            << writer << ": no folder was moved";
        rig.Insert(TImportRig::kDvdDrive, vdrive::MediaKind::DvdRom, image);
        rig.ClearLog();
        rig.Import(TImportRig::kDvdDrive, -1);
        ASSERT_NE(rig.Find(deepFile), nullptr) << writer << "\n" << rig.LogText();
        EXPECT_EQ(rig.Find("/rr_moved"), nullptr) << writer;
        const std::string to = rig.work / ("moved-" + std::to_string(writer.size()));
        fs::create_directories(to);
        ExtractDirectory(rig.burner, *rig.burner.RootDir, to, true, false);
        EXPECT_EQ(ReadFile(to + deepFile), "deep\n") << writer;
    }
}

}  // namespace
}  // namespace kestrel::test
