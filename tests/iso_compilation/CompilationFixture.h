#pragma once
// A compilation with its log captured, over a fresh source folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "burner/iso/Compilation.h"
#include "support/TestSupport.h"

namespace kestrel::test {

class CompilationTest : public ::testing::Test {
protected:
    CompilationTest() {
        comp.OnDebugMessage = [this](TDebugLog*, const std::string& Line, uint8_t Type) {
            log.push_back(Line);
            types.push_back(Type);
        };
        comp.ClearAll(600000, 20000);
    }

    // Writes a source file below the temp folder; returns its full path.
    std::string Source(const std::string& Relative, const std::string& Bytes = "x") {
        const std::string path = src / Relative;
        WriteFile(path, Bytes);
        return path;
    }
    std::string Mkdir(const std::string& Relative) {
        const std::string path = src / Relative;
        std::filesystem::create_directories(path);
        return path;
    }
    // True when a log line holds every given piece.
    bool Logged(const std::string& A, const std::string& B = "") const {
        for (const std::string& line : log)
            if (line.find(A) != std::string::npos && line.find(B) != std::string::npos) return true;
        return false;
    }
    // Long names of a directory's entries in list order.
    static std::vector<std::string> Names(const TDEntry* Dir) {
        std::vector<std::string> names;
        for (const TFEntry* at = Dir ? Dir->Files : nullptr; at; at = at->Next) names.push_back(at->LongName);
        return names;
    }
    // The three directory tables hold the same directories; every listed
    // entry is in the file table and indexed by its name.
    void ExpectConsistent() const {
        ASSERT_EQ(comp.DirTable.size(), comp.ISODirOrder.size());
        ASSERT_EQ(comp.DirTable.size(), comp.JolietDirOrder.size());
        size_t listed = 0;
        for (const auto& dir : comp.DirTable) {
            EXPECT_NE(std::find(comp.ISODirOrder.begin(), comp.ISODirOrder.end(), dir.get()), comp.ISODirOrder.end());
            EXPECT_EQ(comp.FindDirEntry(dir->Path), dir.get());
            for (const TFEntry* at = dir->Files; at; at = at->Next) {
                ++listed;
                EXPECT_EQ(comp.FindFileEntry(dir.get(), at->LongName), at);
            }
        }
        EXPECT_EQ(listed, comp.FileTable.size());
    }

    TTempDir src;
    TCompilation comp;
    std::vector<std::string> log;
    std::vector<uint8_t> types;
};

}  // namespace kestrel::test
