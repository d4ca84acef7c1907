#pragma once
// Large sparse files for the tests of files of 4 GiB and more: holes but for
// a few marked places, so a test costs little disk and the expected bytes
// of any range are known without keeping them.
#include <sys/statvfs.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace kestrel::test {

// Text written at a byte offset of a sparse file.
using TMarks = std::vector<std::pair<int64_t, std::string>>;

inline void WriteSparse(const std::string& Path, int64_t Size, const TMarks& Marks) {
    std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
    { std::ofstream create(Path, std::ios::binary); }
    std::filesystem::resize_file(Path, uint64_t(Size));
    std::fstream patch(Path, std::ios::in | std::ios::out | std::ios::binary);
    for (const auto& [at, text] : Marks) {
        patch.seekp(at);
        patch << text;
    }
}

inline bool RoomFor(const std::string& Dir, int64_t Bytes) {
    struct statvfs vfs {};
    return ::statvfs(Dir.c_str(), &vfs) == 0 && int64_t(vfs.f_bavail) * int64_t(vfs.f_frsize) > Bytes;
}

// The stream's bytes compared with zeros carrying Marks, a MiB at a time.
struct TSparseComparison {
    int64_t Bytes = 0;
    int64_t MismatchedChunks = 0;
};

inline TSparseComparison CompareWithMarks(FILE* Stream, const TMarks& Marks) {
    std::vector<char> chunk(1 << 20), expected(chunk.size());
    TSparseComparison result;
    for (size_t n; (n = fread(chunk.data(), 1, chunk.size(), Stream)) > 0; result.Bytes += int64_t(n)) {
        bool marked = false;
        for (const auto& [at, text] : Marks)
            for (size_t i = 0; i < text.size(); ++i)
                if (at + int64_t(i) >= result.Bytes && at + int64_t(i) < result.Bytes + int64_t(n)) {
                    expected[size_t(at + int64_t(i) - result.Bytes)] = text[i];
                    marked = true;
                }
        if (std::memcmp(chunk.data(), expected.data(), n) != 0) ++result.MismatchedChunks;
        if (marked) std::fill(expected.begin(), expected.end(), '\0');
    }
    return result;
}

}  // namespace kestrel::test
