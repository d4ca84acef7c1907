#pragma once
// A burner on a fresh virtual recorder for the import tests: its own state
// folder, discs inserted from image files (pressed or appendable), the log
// kept for inspection, and helpers to run peers and compare trees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "burner/engine/KestrelBurner.h"
#include "model/StateDriveSet.h"
#include "support/TestSupport.h"

namespace kestrel::test {

using TRun = TCommandResult;

// Runs a shell command line with a time budget; the test's environment is inherited.
inline TRun Shell(const std::string& Command, int Seconds = 120) { return RunWithBudget(Command, Seconds); }

inline std::string BinPath(const std::string& Name) { return std::string(KESTREL_BIN_DIR) + "/" + Name; }

// Sets a file's modification time (seconds since the epoch).
inline void SetTime(const std::string& Path, time_t Seconds) {
    const timespec times[2] = {{Seconds, 0}, {Seconds, 0}};
    utimensat(AT_FDCWD, Path.c_str(), times, 0);
}

inline time_t ModificationTime(const std::string& Path) {
    struct stat st {};
    return stat(Path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

// Files below Root (relative paths), sorted.
inline std::vector<std::string> FilesBelow(const std::string& Root) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Root))
        if (e.is_regular_file()) files.push_back(std::filesystem::relative(e.path(), Root).string());
    std::sort(files.begin(), files.end());
    return files;
}

// Every file of Expected is in Actual with the same bytes and modification
// time, and Actual holds no other file. Failures name the file.
inline void ExpectSameFiles(const std::string& Expected, const std::string& Actual) {
    EXPECT_EQ(FilesBelow(Expected), FilesBelow(Actual));
    for (const auto& name : FilesBelow(Expected)) {
        const std::string a = Expected + "/" + name, b = Actual + "/" + name;
        EXPECT_EQ(ReadFile(a), ReadFile(b)) << name;
        EXPECT_EQ(ModificationTime(a), ModificationTime(b)) << name;
    }
}

class TImportRig {
public:
    static constexpr int kDvdDrive = 0;
    static constexpr int kCdDrive = 1;

    TImportRig()
        : stateEnv_("KESTREL_VDRIVE_DIR", (work.Path() / "state").string()),
          layerEnv_("KESTREL_DEVICE_LAYER", "library"),
          drives_(std::make_unique<vdrive::StateDriveSet>((work.Path() / "state").string())) {
        burner.DoDebug = true;
        burner.OnDebugMessage = [this](TDebugLog*, const std::string& Line, uint8_t Type) {
            std::lock_guard lock(logLock_);
            log_.push_back({Line, Type});
        };
    }

    vdrive::Drive& Drive(int Index) { return drives_->At(Index); }

    // Puts an image on a disc: pressed (read-only) or an appendable CD-R/DVD-R.
    void Insert(int Index, vdrive::MediaKind Kind, const std::string& Image, bool Appendable = false) {
        const auto blocks = static_cast<uint32_t>((std::filesystem::file_size(Image) + 2047) / 2048);
        Drive(Index).Insert(vdrive::Medium::WithImage(Kind, blocks, Appendable), Image);
    }

    // Sets one of the recorder's test knobs of drive Index ("busy-count", ...).
    void SetKnob(int Index, const std::string& Key, const std::string& Value) {
        auto knobs = Drive(Index).CurrentKnobs();
        knobs.Set(Key, Value);
        Drive(Index).SetKnobs(knobs);
    }

    // Loads the library layer and selects drive Index.
    bool Open(int Index) {
        if (!burner.InitializeASPI(false, {})) return false;
        const auto devices = burner.Devices();
        if (devices.size() <= size_t(Index)) return false;
        burner.SelectDevice(devices[size_t(Index)]);
        return !burner.CurrentDevice().empty();
    }

    // Opens drive Index, empties the compilation and imports a session.
    bool Import(int Index, int Session, int MaxFiles = 65535, int MaxDirs = 8191) {
        EXPECT_TRUE(Open(Index));
        burner.ClearAll(MaxFiles, MaxDirs);
        return burner.ImportDiscSession(Session, nullptr);
    }

    bool Logged(const std::string& Part) {
        std::lock_guard lock(logLock_);
        for (const auto& [line, type] : log_)
            if (line.find(Part) != std::string::npos) return true;
        return false;
    }
    // The type of the first line holding Part; -1 when there is none.
    int LoggedType(const std::string& Part) {
        std::lock_guard lock(logLock_);
        for (const auto& [line, type] : log_)
            if (line.find(Part) != std::string::npos) return type;
        return -1;
    }
    std::string LogText() {
        std::lock_guard lock(logLock_);
        std::string text;
        for (const auto& entry : log_) text += entry.first + "\n";
        return text;
    }
    void ClearLog() {
        std::lock_guard lock(logLock_);
        log_.clear();
    }

    // An entry by "/" path, or null.
    TFEntry* Find(const std::string& Path) {
        TDEntry* dir = burner.RootDir;
        TFEntry* entry = nullptr;
        size_t start = 1;
        while (dir && start <= Path.size()) {
            size_t end = Path.find('/', start);
            if (end == std::string::npos) end = Path.size();
            const std::string name = Path.substr(start, end - start);
            entry = burner.FindFileEntry(dir, name);
            // A file without extension is stored with a "." appended.
            if (!entry) entry = burner.FindFileEntry(dir, name + ".");
            if (!entry) return nullptr;
            dir = entry->Dir;
            start = end + 1;
        }
        return entry;
    }

    TTempDir work;
    TKestrelBurner burner;

private:
    TScopedEnv stateEnv_;
    TScopedEnv layerEnv_;
    std::unique_ptr<vdrive::StateDriveSet> drives_;
    std::mutex logLock_;
    std::vector<std::pair<std::string, uint8_t>> log_;
};

}  // namespace kestrel::test
