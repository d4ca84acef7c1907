#pragma once
// Peer burning programs on the virtual drives: source trees to burn, the
// drive's sessions as the peer reports them, the disc dumped by the control
// tool and its last session's tree extracted again for comparison.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <vector>

#include "DoorSupport.h"
#include "support/TestSupport.h"

namespace kestrel::test {

// A tree with files around the sector size and a larger one, in nested
// folders; Seed makes the contents of two trees differ.
inline void MakeTree(const std::string& Root, const std::string& Top, int Seed) {
    const size_t sizes[] = {0, 1, 2047, 2048, 2049, 65536 + 17, 1500000};
    int n = 0;
    for (size_t size : sizes) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + Seed * 7 + n) % 251);
        const std::string folder = n % 2 ? Top + "/sub" : Top + "/sub/deeper_" + std::to_string(Seed);
        WriteFile(Root + "/" + folder + "/file" + std::to_string(n++) + ".bin", bytes);
    }
    WriteFile(Root + "/" + Top + "/README.txt", "tree " + std::to_string(Seed) + "\n");
}

inline bool SameTree(const std::string& A, const std::string& B, std::string& Diff) {
    const TRunResult r = RunCommand("diff -r " + A + " " + B);
    Diff = r.Output;
    return r.ExitCode == 0;
}

// Session starts from "xorriso -toc" (ISO and other sessions, in order).
inline std::vector<long> SessionStarts(const std::string& TocOutput) {
    std::vector<long> starts;
    const std::regex line(R"(^(ISO|Other) session\s*:\s*\d+\s*,\s*(\d+))");
    std::istringstream in(TocOutput);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (std::regex_search(l, m, line)) starts.push_back(std::stol(m[2]));
    }
    return starts;
}

class PeerTest : public ::testing::Test {
protected:
    TTempDir work;
    TScopedEnv dir{"KESTREL_VDRIVE_DIR", (work.Path() / "state").string()};

    static std::string Tool() { return BinPath("kestrel-vdrive"); }

    void Insert(int Drive, const std::string& Media) {
        const TRunResult r = RunCommand(Tool() + " insert --drive " + std::to_string(Drive) + " --media " + Media);
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
    }

    std::string Dump(int Drive) {
        const std::string file = work / ("dump" + std::to_string(Drive) + ".iso");
        const TRunResult r = RunCommand(Tool() + " dump --drive " + std::to_string(Drive) + " -o " + file, 300);
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        return file;
    }

    TRunResult Xorriso(const std::string& Args, int Seconds = 300) {
        return RunPreloaded("xorriso -abort_on FAILURE " + Args, Seconds);
    }

    std::string Toc(int Drive) {
        const TRunResult r = Xorriso("-outdev /dev/sr" + std::to_string(Drive) + " -toc");
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        return r.Output;
    }

    // Extracts the ISO tree of the session at Start from a dumped disc.
    std::string ExtractSession(const std::string& DumpFile, long Start, const std::string& Name) {
        const std::string out = work / Name;
        const TRunResult r = RunCommand("xorriso -indev stdio:" + DumpFile + " -load sbsector " + std::to_string(Start) +
                                 " -osirrox on -extract / " + out, 300);
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        return out;
    }
};

}  // namespace kestrel::test
