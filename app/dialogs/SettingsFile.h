#pragma once
// Writing every key of the "Options" section at once: the values go into a
// copy of the settings file, which then replaces the file in one rename, so
// the file holds either all the new values or none of them.
#include <filesystem>
#include <string>
#include <vector>

#include "app/AppOptions.h"
#include "app/SettingsKeys.h"
#include "burner/iso/FillCompilation.h"

namespace kestrel {
class TKestrelBurner;
}

namespace kestrel::app {

struct TSettingsValue {
    std::string Key;
    std::string Value;
};

// The keys in the order OK writes them, with the burner's and the options'
// current values; SessionText is the session edit's text.
std::vector<TSettingsValue> SettingsValues(const TKestrelBurner& Burner, const TAppOptions& Options,
                                           TSavePathState SavePath, const std::string& SessionText);

// Writes Values into section "Options" of File (other sections and keys
// stay); a line break in a value becomes a blank. Throws TIniWriteError ("Unable to write to " + File) when the file
// cannot be written; the file is then unchanged.
void WriteSettings(const std::filesystem::path& File, const std::vector<TSettingsValue>& Values);

}  // namespace kestrel::app
