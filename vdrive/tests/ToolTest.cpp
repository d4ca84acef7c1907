// The control tool as a user runs it: output, exit status, and the folder it
// leaves for the drives.
#ifdef VDRIVE_TOOL
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

#include "DriveHarness.h"
#include "kestrel/mmc.h"

namespace vdrive::test {
namespace {

struct ToolRun {
    int status;
    std::string output;
};

ToolRun Tool(const std::string& Dir, const std::string& Args) {
    std::string cmd = std::string(VDRIVE_TOOL) + " --dir '" + Dir + "' " + Args + " 2>&1";
    ToolRun r{-1, {}};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

}  // namespace

TEST_F(DriveTest, ToolInsertsAnAppendableImageAndDumpsIt) {
    const std::string image = folder_.Path() + "/s1.iso";
    {
        std::ofstream out(image, std::ios::binary);
        std::string block(2048, 'x');
        for (int i = 0; i < 20; ++i) out << block;
        out << "tail";  // not a whole block: rounded up
    }
    ToolRun in = Tool(folder_.Path(), "insert --drive 1 --media cd-r --image " + image + " --appendable");
    EXPECT_EQ(in.status, 0) << in.output;
    EXPECT_NE(in.output.find("cd-r (appendable, 21 of 359847"), std::string::npos) << in.output;
    EXPECT_EQ(TrackInfo(2, 1).U32(12), 21u + kFirstSessionGap) << "the drive sees the tool's disc";

    ToolRun sessions = Tool(folder_.Path(), "sessions --drive 1");
    EXPECT_EQ(sessions.status, 0);
    EXPECT_NE(sessions.output.find("session 1: start 0, size 21 blocks, closed"), std::string::npos) << sessions.output;
    EXPECT_NE(sessions.output.find("next writable address: 11421"), std::string::npos);

    const std::string dump = folder_.Path() + "/dump.iso";
    ToolRun d = Tool(folder_.Path(), "dump --drive 1 -o " + dump);
    EXPECT_EQ(d.status, 0) << d.output;
    struct stat st {};
    ASSERT_EQ(::stat(dump.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 21 * 2048);
    std::ifstream back(dump, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(back)), {});
    EXPECT_EQ(bytes.substr(20 * 2048, 5), std::string("tail\0", 5));
}

TEST_F(DriveTest, ToolReportsMistakesWithExitStatus) {
    EXPECT_EQ(Tool(folder_.Path(), "").status, 2);
    EXPECT_EQ(Tool(folder_.Path(), "insert --media floppy").status, 2);
    EXPECT_EQ(Tool(folder_.Path(), "insert --media cd-rom").status, 2) << "a pressed disc needs an image";
    EXPECT_EQ(Tool(folder_.Path(), "insert --media cd-r --image /no/such.iso").status, 1);
    EXPECT_EQ(Tool(folder_.Path(), "eject --drive 9").status, 1);
    EXPECT_EQ(Tool(folder_.Path(), "eject --drive x").status, 2);
    EXPECT_EQ(Tool(folder_.Path(), "fault busy-count=two").status, 1);
    EXPECT_EQ(Tool(folder_.Path(), "fault nonsense").status, 2);
    EXPECT_EQ(Tool(folder_.Path(), "dump --drive 0").status, 2);
    EXPECT_EQ(Tool(folder_.Path(), "frobnicate").status, 2);
    ToolRun ok = Tool(folder_.Path(), "eject --drive 0");
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(Tool(folder_.Path(), "sessions --drive 0").status, 1) << "no disc";
}

TEST_F(DriveTest, ToolSetsKnobsModelsAndResets) {
    ToolRun f = Tool(folder_.Path(), "fault --drive 0 busy-count=1");
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(DiscInfo().reply.status, 0x08);
    EXPECT_GOOD(DiscInfo());

    ToolRun add = Tool(folder_.Path(), "model --add cd-writer product=CD-W512EB scsi-address=no");
    EXPECT_EQ(add.status, 0) << add.output;
    StateDriveSet reopened(folder_.Path());
    ASSERT_EQ(reopened.Count(), 3);
    EXPECT_FALSE(reopened.HasScsiAddress(2));
    EXPECT_TRUE(reopened.HasScsiAddress(0));
    EXPECT_EQ(reopened.At(2).Model().product, "CD-W512EB");

    ToolRun trace = Tool(folder_.Path(), "trace --drive 0");
    EXPECT_NE(trace.output.find("51 00 00 00 00 00 00 00 22 00 -> 08"), std::string::npos) << trace.output;

    EXPECT_EQ(Tool(folder_.Path(), "reset").status, 0);
    StateDriveSet fresh(folder_.Path());
    EXPECT_EQ(fresh.Count(), 2);
    EXPECT_EQ(fresh.At(0).State().medium->kind, MediaKind::DvdPlusRw);
}

// A drive that records a block wrongly without noticing, and a block that
// cannot be read back: set with the tool, cleared with --clear.
TEST_F(DriveTest, CorruptAndUnreadableBlocksAreSetAndClearedWithTheTool) {
    Insert(MediaKind::DvdPlusR);
    ToolRun set = Tool(folder_.Path(), "fault --drive 0 corrupt-write-lba=33 unreadable-lba=40");
    ASSERT_EQ(set.status, 0) << set.output;
    EXPECT_NE(set.output.find("corrupt-write-lba=33"), std::string::npos) << set.output;
    EXPECT_NE(set.output.find("unreadable-lba=40"), std::string::npos) << set.output;

    EXPECT_GOOD(Write10(0, 32, 0x11));
    EXPECT_GOOD(Write10(32, 16, 0x22)) << "the drive reports success";
    const auto back = Read10(32, 4);
    ASSERT_GOOD(back);
    size_t changed = 0;
    for (size_t i = 0; i < back.data.size(); ++i)
        if (back.data[i] != 0x22) {
            ++changed;
            EXPECT_EQ(i / 2048, 1u) << "only block 33 differs";
        }
    EXPECT_EQ(changed, 1u);
    EXPECT_SENSE(Read10(36, 8), mmc::key::kMediumError, mmc::asc::kUnrecoveredReadError, 0);
    EXPECT_SENSE(Read10(40, 1), mmc::key::kMediumError, mmc::asc::kUnrecoveredReadError, 0);
    EXPECT_GOOD(Read10(41, 7));

    ASSERT_EQ(Tool(folder_.Path(), "fault --drive 0 --clear").status, 0);
    StateDriveSet reopened(folder_.Path());
    EXPECT_GOOD(Read10(40, 1));
    EXPECT_EQ(reopened.At(0).CurrentKnobs().corruptWriteLba, -1);
    EXPECT_EQ(reopened.At(0).CurrentKnobs().unreadableLba, -1);
}

// Some drives refuse the write parameters page on media that do not use it;
// the model says on which media, set as any other model key.
TEST_F(DriveTest, ModelRefusesTheWriteParametersPageOnTheMediaItNames) {
    ToolRun set = Tool(folder_.Path(), "model --drive 0 refuses-write-page=dvd+r,dvd+rw,dvd+r-dl,dvd-ram");
    ASSERT_EQ(set.status, 0) << set.output;
    EXPECT_EQ(Tool(folder_.Path(), "model --drive 0 refuses-write-page=floppy").status, 1);
    for (MediaKind kind : {MediaKind::DvdPlusR, MediaKind::DvdPlusRw, MediaKind::DvdPlusRDl, MediaKind::DvdRam}) {
        Insert(kind);
        EXPECT_SENSE(SetWritePage(0, 3), mmc::key::kIllegalRequest, mmc::asc::kInvalidFieldInParameterList, 0)
            << TraitsOf(kind).name;
    }
    for (MediaKind kind : {MediaKind::CdR, MediaKind::DvdR, MediaKind::DvdRwSequential}) {
        Insert(kind);
        EXPECT_GOOD(SetWritePage(1, 3)) << TraitsOf(kind).name;
    }
    EXPECT_EQ(D(0).Model().refusesWritePage.size(), 4u) << "kept in model.conf";
}

}  // namespace vdrive::test
#endif
