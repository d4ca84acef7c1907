// Names Kestrel writes, at its length limits and with characters other
// tools trip over, read back by its own import: an image built by
// kestrel-cli is listed, extracted and carried into a second session that
// kestrel-cli burns behind it.
#include <gtest/gtest.h>

#include "ImportRig.h"

namespace kestrel::test {
namespace {

// U+1F600, two UTF-16 units.
const std::string kSmiley = "\xF0\x9F\x98\x80";

std::string Repeated(const std::string& Text, int Times) {
    std::string out;
    for (int i = 0; i < Times; ++i) out += Text;
    return out;
}

class OwnNames : public ::testing::Test {
protected:
    TImportRig rig;
    // The longest names the writer stores: 108 UTF-16 units for a file,
    // 110 for a folder.
    const std::string file108 = std::string(104, 'f') + ".txt";
    const std::string dir110 = std::string(110, 'd');
    const std::string astral108 = Repeated(kSmiley, 52) + ".txt";
    const std::string src = rig.work / "src";

    void SetUp() override {
        WriteFile(src + "/" + file108, "long file\n");
        WriteFile(src + "/" + dir110 + "/inner.txt", "in the long folder\n");
        WriteFile(src + "/line\nbreak.txt", "newline\n");
        WriteFile(src + "/" + astral108, "astral\n");
    }

    TRun Cli(const std::string& Args) {
        return Shell("KESTREL_TIME_SCALE=0.01 " + std::string(KESTREL_CLI_PATH) + " " + Args, 120);
    }

    // The files of the source as the extraction writes them: the newline
    // of a name replaced.
    void ExpectExtracted(const std::string& Out) {
        EXPECT_EQ(ReadFile(Out + "/" + file108), "long file\n");
        EXPECT_EQ(ReadFile(Out + "/" + dir110 + "/inner.txt"), "in the long folder\n");
        EXPECT_EQ(ReadFile(Out + "/line_break.txt"), "newline\n");
        EXPECT_EQ(ReadFile(Out + "/" + astral108), "astral\n");
    }
};

TEST_F(OwnNames, ABuiltImageIsListedExtractedAndCarriedIntoASecondSession) {
    const std::string iso = rig.work / "disc.iso";
    TRun r = Cli("build-iso --save-path unchecked -o " + iso + " " + src + "/");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    rig.Insert(TImportRig::kCdDrive, vdrive::MediaKind::CdR, iso, true);

    r = Cli("ls --drive 1");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    for (const std::string& path :
         std::vector<std::string>{"/" + file108, "/" + dir110 + "/inner.txt", "/line\\nbreak.txt", "/" + astral108})
        EXPECT_NE(r.Output.find("  " + path + "\n"), std::string::npos) << path << "\n" << r.Output;

    const std::string out = rig.work / "out";
    r = Cli("extract --drive 1 / -r -o " + out);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    ExpectExtracted(out);
    EXPECT_NE(r.Output.find(">>> line\\nbreak.txt IS WRITTEN AS line_break.txt (EACH CONTROL CHARACTER OF ITS NAME "
                            "REPLACED BY \"_\")"),
              std::string::npos)
        << r.Output;
    // The name as "ls" shows it finds the file.
    r = Cli("extract --drive 1 '/line\\nbreak.txt' -o " + rig.work / "one");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(ReadFile(rig.work / "one/line_break.txt"), "newline\n");

    WriteFile(rig.work / "src2/second.txt", "second\n");
    r = Cli("burn --drive 1 --import-session last --save-path unchecked " + rig.work / "src2/");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    r = Cli("ls --drive 1 --session 2");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("  /line\\nbreak.txt\n"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("  /second.txt\n"), std::string::npos) << r.Output;
    const std::string second = rig.work / "second";
    r = Cli("extract --drive 1 --session 2 / -r -o " + second);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    ExpectExtracted(second);
    EXPECT_EQ(ReadFile(second + "/second.txt"), "second\n");
}

// A name with a control character that meets a sibling's name once the
// character is replaced is not written over it.
TEST_F(OwnNames, AReplacedNameNeverTakesTheNameOfAnotherFile) {
    WriteFile(src + "/line_break.txt", "underscore\n");
    const std::string iso = rig.work / "disc.iso";
    TRun r = Cli("build-iso --save-path unchecked -o " + iso + " " + src + "/");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    rig.Insert(TImportRig::kCdDrive, vdrive::MediaKind::CdR, iso, true);
    const std::string out = rig.work / "out";
    r = Cli("extract --drive 1 / -r --force -o " + out);
    EXPECT_EQ(r.ExitCode, 1) << r.Output;
    EXPECT_NE(r.Output.find(">>> SKIPPING line\\nbreak.txt: ANOTHER ENTRY OF ITS DIRECTORY IS WRITTEN AS "
                            "line_break.txt TOO"),
              std::string::npos)
        << r.Output;
    EXPECT_EQ(ReadFile(out + "/line_break.txt"), "underscore\n");
    EXPECT_EQ(ReadFile(out + "/" + file108), "long file\n");
}

}  // namespace
}  // namespace kestrel::test
