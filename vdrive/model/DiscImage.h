#pragma once
// The sector contents of one disc: a sparse file where block N lies at byte
// N * 2048. Blocks that were never written read as zeros. All-zero blocks
// are never stored: on fresh space they are skipped, over old data a hole
// is punched, so erasing a whole DVD+RW with zero writes costs no space.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vdrive {

inline constexpr uint32_t kBlockSize = 2048;

class DiscImage {
public:
    explicit DiscImage(std::string Path);
    ~DiscImage();
    DiscImage(const DiscImage&) = delete;
    DiscImage& operator=(const DiscImage&) = delete;

    // Fresh is true when the blocks are known never to have been written
    // since the last erase (sequential media), so zero blocks need no hole.
    void Write(uint32_t Lba, const uint8_t* Data, uint32_t Blocks, bool Fresh);
    void Read(uint32_t Lba, uint8_t* Data, uint32_t Blocks);
    void Erase(uint32_t Lba, uint32_t Blocks);  // reads as zeros afterwards
    void EraseAll();                            // truncates to nothing
    void Flush();
    const std::string& Path() const { return path_; }

private:
    void Open();
    void PunchHole(uint64_t Offset, uint64_t Length);
    std::string path_;
    int fd_ = -1;
};

// Copies every byte of Source up to Length into a new sparse file Target
// (zero runs become holes). Throws std::runtime_error on failure.
void CopySparse(int SourceFd, uint64_t Length, const std::string& Target);

}  // namespace vdrive
