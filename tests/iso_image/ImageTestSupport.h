#pragma once
// Helpers of the image tests: a builder whose compilation is put together
// entry by entry (so a test controls every name and size), reading fields
// back from images, and running the peer tools that check them.
#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "burner/iso/ImageBuilder.h"
#include "support/TestSupport.h"

namespace kestrel::test {

class TTestImage : public TImageBuilder {
public:
    // Without Rock Ridge unless a test turns it on: most tests here pin the
    // plain ISO 9660 / Joliet layout byte for byte.
    TTestImage() {
        RockRidge = false;
        OnDebugMessage = [this](TDebugLog*, const std::string& Message, uint8_t Type) {
            Log.push_back({Message, Type});
        };
    }

    TDEntry* Dir(TDEntry* Parent, const std::string& Name, const std::string& ShortName = "") {
        TDEntry* dir = NewDirEntry();
        TFEntry* entry = NewFileEntry();
        dir->LongName = entry->LongName = Name;
        dir->ShortName = entry->ShortName = ShortName.empty() ? Upper(Name) : ShortName;
        dir->Parent = Parent;
        dir->Level = uint8_t(Parent->Level + 1);
        dir->Path = (Parent == RootDir ? "" : Parent->Path) + "\\" + Upper(Name);
        entry->Dir = dir;
        dir->Self = entry;
        entry->Attr = faDirectory;
        entry->DateTime = 45000.5;
        Append(Parent, entry);
        return dir;
    }

    // A file entry of Size bytes; Source is its local file (may be empty for
    // layout-only tests).
    TFEntry* File(TDEntry* In, const std::string& Name, int64_t Size, const std::string& Source = "") {
        TFEntry* entry = NewFileEntry();
        entry->LongName = Name;
        entry->ShortName = Upper(Name);
        entry->ISOSize = entry->JolietSize = Size;
        entry->SourcePath = Source;
        entry->DateTime = 45000.25;
        CompilationSize += (Size + 2047) / 2048 * 2048;
        Append(In, entry);
        return entry;
    }

    // A file entry for an existing local file.
    TFEntry* Source(TDEntry* In, const std::string& Name, const std::string& Path) {
        struct stat st {};
        ::stat(Path.c_str(), &st);
        return File(In, Name, st.st_size, Path);
    }

    bool Logged(const std::string& Part) const {
        for (const auto& line : Log)
            if (line.first.find(Part) != std::string::npos) return true;
        return false;
    }

    std::vector<std::pair<std::string, uint8_t>> Log;

private:
    static std::string Upper(std::string S) {
        for (char& c : S)
            if (c >= 'a' && c <= 'z') c = char(c - 32);
        return S;
    }
    static void Append(TDEntry* Dir, TFEntry* Entry) {
        TFEntry** link = &Dir->Files;
        while (*link) link = &(*link)->Next;
        *link = Entry;
    }
};

// The local time zone set to Zone (a TZ value) while the object lives.
class TScopedZone {
public:
    explicit TScopedZone(const std::string& Zone) {
        env_.emplace("TZ", Zone);
        tzset();
    }
    ~TScopedZone() {
        env_.reset();
        tzset();
    }
    TScopedZone(const TScopedZone&) = delete;
    TScopedZone& operator=(const TScopedZone&) = delete;

private:
    std::optional<TScopedEnv> env_;
};

// Bytes [Offset, Offset+Count) of a file.
inline std::string ReadBytes(const std::string& Path, int64_t Offset, size_t Count) {
    std::ifstream in(Path, std::ios::binary);
    in.seekg(Offset);
    std::string bytes(Count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(Count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

inline std::string Sector(const std::vector<uint8_t>& Head, int64_t Lba) {
    return std::string(reinterpret_cast<const char*>(Head.data()) + Lba * 2048, 2048);
}

inline uint32_t LE32(const std::string& B, size_t At) {
    return uint32_t(uint8_t(B[At])) | uint32_t(uint8_t(B[At + 1])) << 8 | uint32_t(uint8_t(B[At + 2])) << 16 |
           uint32_t(uint8_t(B[At + 3])) << 24;
}
inline uint32_t BE32(const std::string& B, size_t At) {
    return uint32_t(uint8_t(B[At])) << 24 | uint32_t(uint8_t(B[At + 1])) << 16 | uint32_t(uint8_t(B[At + 2])) << 8 |
           uint32_t(uint8_t(B[At + 3]));
}
inline uint16_t LE16(const std::string& B, size_t At) { return uint16_t(uint8_t(B[At]) | uint8_t(B[At + 1]) << 8); }

// Output (stdout and stderr) and exit status of a shell command.
struct TRunResult {
    int Status = -1;
    std::string Output;
};

inline TRunResult RunTool(const std::string& Command) {
    TCommandResult run = CaptureCommand(Command + " 2>&1");
    return {run.ExitCode, std::move(run.Output)};
}

inline std::string Quote(const std::string& S) {
    std::string q = "'";
    for (char c : S) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

}  // namespace kestrel::test
