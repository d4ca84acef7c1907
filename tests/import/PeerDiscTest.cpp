// Discs made by peer programs (xorriso, genisoimage), put into the virtual
// recorder as pressed discs and as appendable recordables, imported and
// extracted again: every file comes back byte for byte with its date, under
// its own name where the disc has Rock Ridge or Joliet and its ISO 9660
// name where not.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ImportRig.h"
#include "burner/engine/Extract.h"

namespace kestrel::test {
namespace {

// A tree with long and non-ASCII names, a name without extension, an empty
// file, sizes around the 31-sector piece and nested folders, each file with
// a date of its own.
void MakeTree(const std::string& Root) {
    const std::vector<std::pair<std::string, size_t>> files = {
        {"Read Me First.txt", 40},
        {"README", 5},
        {"empty.dat", 0},
        {"gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5\xE6\x9C\xAC.txt", 12},
        {"docs/piece.bin", 63489},
        {"docs/2004/report of the year.doc", 2048},
        {"docs/2004/deep/big.bin", 300001},
    };
    time_t when = 1083827289;  // 2004-05-06
    for (const auto& [name, size] : files) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + name.size()) % 251);
        WriteFile(Root + "/" + name, bytes);
        SetTime(Root + "/" + name, when);
        when += 86400 * 33 + 3607;
    }
}

struct TPeerCase {
    const char* Name;
    const char* Command;  // %S source folder, %O image
    bool SourceNames;  // Rock Ridge or Joliet: the names of the source come back
    vdrive::MediaKind Kind;
    bool Appendable;
};

std::ostream& operator<<(std::ostream& Out, const TPeerCase& Case) { return Out << Case.Name; }

std::string Expand(std::string Command, const std::string& Source, const std::string& Image) {
    Command.replace(Command.find("%O"), 2, Image);
    Command.replace(Command.find("%S"), 2, Source);
    return Command;
}

class PeerDisc : public ::testing::TestWithParam<TPeerCase> {
protected:
    TImportRig rig;

    std::string MakeImage() {
        MakeTree(rig.work / "src");
        const std::string image = rig.work / "disc.iso";
        const TRun made = Shell(Expand(GetParam().Command, rig.work / "src", image));
        EXPECT_EQ(made.ExitCode, 0) << made.Output;
        return image;
    }
    int DriveFor(vdrive::MediaKind Kind) {
        return Kind == vdrive::MediaKind::DvdRom || Kind == vdrive::MediaKind::DvdR ? TImportRig::kDvdDrive
                                                                                     : TImportRig::kCdDrive;
    }
};

// The paths of an image as isoinfo lists them: as recorded, and as local
// names (";1" and a lone trailing "." removed).
std::vector<std::pair<std::string, std::string>> IsoinfoPaths(const std::string& Image) {
    std::vector<std::pair<std::string, std::string>> paths;
    std::istringstream lines(Shell("isoinfo -f -i " + Image).Output);
    for (std::string line; std::getline(lines, line);) {
        std::string local = line;
        if (const size_t semicolon = local.rfind(";1"); semicolon != std::string::npos) local.resize(semicolon);
        if (!local.empty() && local.back() == '.') local.pop_back();
        paths.emplace_back(line, local);
    }
    return paths;
}

TEST_P(PeerDisc, ImportsTheTreeAndExtractsEveryFileWithItsDate) {
    if (!HaveProgram("xorriso") || !HaveProgram("genisoimage") || !HaveProgram("isoinfo")) GTEST_SKIP();
    const std::string image = MakeImage();
    const int drive = DriveFor(GetParam().Kind);
    rig.Insert(drive, GetParam().Kind, image, GetParam().Appendable);
    ASSERT_TRUE(rig.Import(drive, -1)) << rig.LogText();
    EXPECT_TRUE(rig.Logged(">>> IMPORTING SESSION # 1"));

    const std::string out = rig.work / "out";
    std::filesystem::create_directories(out);
    const TExtractCount count = ExtractDirectory(rig.burner, *rig.burner.RootDir, out, true, false);
    EXPECT_EQ(count.Failed, 0) << rig.LogText();

    if (GetParam().SourceNames) {
        EXPECT_EQ(count.Files, 7);
        ExpectSameFiles(rig.work / "src", out);
        return;
    }
    // Without either the names are the disc's ISO 9660 names; isoinfo, a
    // reader of its own, says which they are and what they hold.
    int files = 0;
    for (const auto& [recorded, path] : IsoinfoPaths(image)) {
        const TFEntry* entry = rig.Find(path);
        ASSERT_NE(entry, nullptr) << path << "\n" << rig.LogText();
        if (entry->Dir) continue;
        ++files;
        const std::string local = out + path;
        const TRun peer = Shell("isoinfo -i " + image + " -x '" + recorded + "'");
        EXPECT_EQ(ReadFile(local), peer.Output) << path;
        EXPECT_GT(ModificationTime(local), 1083800000) << path;
    }
    EXPECT_EQ(files, 7);
    EXPECT_EQ(count.Files, 7);
}

const TPeerCase peerCases[] = {
    {"XorrisoJolietPressedCd", "xorriso -as mkisofs -J -o %O %S", true, vdrive::MediaKind::CdRom, false},
    {"XorrisoJolietAppendableCdR", "xorriso -as mkisofs -J -o %O %S", true, vdrive::MediaKind::CdR, true},
    {"XorrisoRockRidgeJolietDvd", "xorriso -as mkisofs -R -J -o %O %S", true, vdrive::MediaKind::DvdRom, false},
    // xorriso writes Rock Ridge even without -R.
    {"XorrisoRockRidgeOnlyPressedCd", "xorriso -as mkisofs -o %O %S", true, vdrive::MediaKind::CdRom, false},
    {"XorrisoIsoOnlyPressedCd", "xorriso -as mkisofs --norock -o %O %S", false, vdrive::MediaKind::CdRom, false},
    {"GenisoimageJolietAppendableCdR", "genisoimage -quiet -J -o %O %S", true, vdrive::MediaKind::CdR, true},
    {"GenisoimageRockRidgeJolietPressedCd", "genisoimage -quiet -R -J -o %O %S", true, vdrive::MediaKind::CdRom, false},
    {"GenisoimageIsoOnlyAppendableCdR", "genisoimage -quiet -o %O %S", false, vdrive::MediaKind::CdR, true},
    {"GenisoimageIsoOnlyDvdR", "genisoimage -quiet -o %O %S", false, vdrive::MediaKind::DvdR, true},
};

INSTANTIATE_TEST_SUITE_P(Peers, PeerDisc, ::testing::ValuesIn(peerCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
}  // namespace kestrel::test
