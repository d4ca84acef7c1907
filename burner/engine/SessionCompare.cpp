#include "burner/engine/SessionCompare.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "burner/device/BusyWait.h"
#include "burner/engine/DirectoryRecord.h"
#include "burner/engine/Extract.h"

namespace kestrel {
namespace {

constexpr uint32_t kPieceSectors = 32;
constexpr size_t kPieceBytes = size_t(kPieceSectors) * kDiscSectorBytes;

std::string WithoutTrailingDot(const std::string& Name) {
    return !Name.empty() && Name.back() == '.' ? Name.substr(0, Name.size() - 1) : Name;
}

// The names a burn of File may have given it on the disc: Joliet, Rock
// Ridge, or the ISO 9660 name of a disc without either.
std::vector<std::string> DiscNamesOf(const TFEntry& File) {
    return {JolietNameOf(File), File.LongName, PosixNameOf(File), File.ShortName, WithoutTrailingDot(File.ShortName)};
}

std::string ReadError(const std::string& Path, int Error) { return Path + ": " + std::strerror(Error); }

class TCompare {
public:
    TCompare(TSCSICommands& Device, TSessionDifferences& Result) : device_(Device), result_(Result) {}

    void Directory(const TDEntry* Disc, const TDEntry* Files, const std::string& Path) {
        std::unordered_map<std::string, const TFEntry*> byName;
        for (const TFEntry* d = Disc ? Disc->Files : nullptr; d; d = d->Next) {
            byName.emplace(d->LongName, d);
            byName.emplace(LocalName(*d), d);
        }
        std::unordered_set<const TFEntry*> matched;
        for (const TFEntry* f = Files ? Files->Files : nullptr; f; f = f->Next) {
            const TFEntry* d = nullptr;
            for (const auto& name : DiscNamesOf(*f)) {
                const auto found = byName.find(name);
                if (found != byName.end() && !matched.count(found->second)) {
                    d = found->second;
                    break;
                }
            }
            const std::string path = Path + LocalName(*f) + (f->Dir ? "/" : "");
            if (!d) {
                result_.Missing.push_back(path);
                continue;
            }
            matched.insert(d);
            Entry(*d, *f, path);
        }
        for (const TFEntry* d = Disc ? Disc->Files : nullptr; d; d = d->Next)
            if (!matched.count(d)) result_.Extra.push_back(Path + LocalName(*d) + (d->Dir ? "/" : ""));
    }

private:
    void Entry(const TFEntry& Disc, const TFEntry& File, const std::string& Path) {
        if (File.Dir && Disc.Dir) return Directory(Disc.Dir, File.Dir, Path);
        ++result_.FilesCompared;
        // A link is stored as a link: there are no bytes to compare.
        if (File.IsLink()) return;
        if (bool(File.Dir) != bool(Disc.Dir) || File.ISOSize != Disc.ISOSize) {
            result_.Changed.push_back(Path);
            return;
        }
        Contents(Disc, File, Path);
    }

    void Contents(const TFEntry& Disc, const TFEntry& File, const std::string& Path) {
        const int fd = ::open(File.SourcePath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) {
            result_.Errors.push_back(ReadError(File.SourcePath, errno));
            return;
        }
        std::vector<uint8_t> disc(kPieceBytes), local(kPieceBytes);
        uint32_t lba = static_cast<uint32_t>(Disc.ISOExtent);
        for (int64_t done = 0; done < File.ISOSize;) {
            const size_t bytes = static_cast<size_t>(std::min<int64_t>(kPieceBytes, File.ISOSize - done));
            const uint32_t sectors = static_cast<uint32_t>((bytes + kDiscSectorBytes - 1) / kDiscSectorBytes);
            if (!ReadDisc(lba, sectors, disc.data())) {
                result_.Unreadable.push_back(Path);
                break;
            }
            const ssize_t got = ::pread(fd, local.data(), bytes, static_cast<off_t>(done));
            if (got < 0) {
                result_.Errors.push_back(ReadError(File.SourcePath, errno));
                break;
            }
            if (size_t(got) != bytes || std::memcmp(disc.data(), local.data(), bytes) != 0) {
                result_.Changed.push_back(Path);
                break;
            }
            done += int64_t(bytes);
            lba += sectors;
        }
        ::close(fd);
    }

    bool ReadDisc(uint32_t Lba, uint32_t Sectors, uint8_t* Into) {
        const uint32_t length = Sectors * uint32_t(kDiscSectorBytes);
        const bool read = AskWhileBusy(
            device_, [&] { return device_.Read10(Lba, static_cast<uint16_t>(Sectors), Into, length); });
        if (!read && DriveBusy(device_)) throw std::runtime_error(DriveBusyText(device_));
        return read && device_.LastTransferred >= length;
    }

    TSCSICommands& device_;
    TSessionDifferences& result_;
};

}  // namespace

TSessionDifferences CompareSession(TSCSICommands& Device, const TCompilation& Disc, const TCompilation& Files) {
    TSessionDifferences result;
    TCompare(Device, result).Directory(Disc.RootDir, Files.RootDir, "/");
    return result;
}

}  // namespace kestrel
