#include "app/dialogs/SettingsFile.h"

#include <unistd.h>

#include "app/KestrelIni.h"
#include "burner/engine/KestrelBurner.h"

namespace kestrel::app {

namespace {

std::string Flag(bool Value) { return Value ? "1" : "0"; }

// A value is one line of the file: a line break in it would start a key of
// its own.
std::string OneLine(std::string Text) {
    for (char& c : Text)
        if (c == '\n' || c == '\r') c = ' ';
    return Text;
}

}  // namespace

std::vector<TSettingsValue> SettingsValues(const TKestrelBurner& Burner, const TAppOptions& Options,
                                           TSavePathState SavePath, const std::string& SessionText) {
    return {
        {"ArchiveFiles", Flag(Options.ArchiveFiles)},
        {"ImportSession", Flag(Options.ImportSession)},
        {"SavePath", SavePathName(SavePath)},
        {"CloseDisc", Flag(Burner.FinalizeDisc)},
        {"EjectDisc", Flag(Options.EjectDisc)},
        {"JolietFS", Flag(Burner.JolietFileSystem)},
        {"RockRidge", Flag(Burner.RockRidge)},
        {"Bootable", Flag(Burner.Bootable)},
        {"TestWrite", Flag(Burner.TestWrite)},
        {"QuickSaveISO", Flag(Options.QuickSaveISO)},
        {"ShowFiles", Flag(Options.ShowFiles)},
        {"PerformOPC", Flag(Burner.PerformOPC)},
        {"SessionNo", SessionText},
        {"ImportSession", Flag(Options.ImportSession)},
        {"BootImage", Burner.BootImageFile},
        {"VolumeLable", Burner.IdVolume},
        {"CacheSize", std::to_string(Burner.CacheSize())},
        {kBootNoEmulationKey, Flag(Burner.BootNoEmulation)},
        {kBootLoadSizeKey, std::to_string(Burner.BootLoadSize)},
        {kBootInfoTableKey, Flag(Burner.BootInfoTable)},
        {kUefiBootKey, Flag(Burner.EfiBootable)},
        {kUefiBootImageKey, Burner.EfiBootImageFile},
        {"VerifyWrittenData", Flag(Burner.VerifyAfterWrite)},
    };
}

void WriteSettings(const std::filesystem::path& File, const std::vector<TSettingsValue>& Values) {
    const TIniWriteError failure("Unable to write to " + File.string());
    const std::filesystem::path draft = File.string() + ".draft-" + std::to_string(getpid());
    std::error_code ec;
    if (File.has_parent_path()) std::filesystem::create_directories(File.parent_path(), ec);
    std::filesystem::remove(draft, ec);
    if (std::filesystem::exists(File, ec)) {
        std::filesystem::copy_file(File, draft, ec);
        if (ec) throw failure;
    }
    try {
        TKestrelIni ini(draft);
        for (const TSettingsValue& value : Values) ini.WriteString(kOptionsSection, value.Key, OneLine(value.Value));
    } catch (const TIniWriteError&) {
        std::filesystem::remove(draft, ec);
        throw failure;
    }
    std::filesystem::rename(draft, File, ec);
    if (ec) {
        std::filesystem::remove(draft, ec);
        throw failure;
    }
}

}  // namespace kestrel::app
