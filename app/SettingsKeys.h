#pragma once
// Names shared by everything that reads or writes the settings file: its
// section and the text form of the "Save path" state.
#include <string>

#include "burner/iso/FillCompilation.h"

namespace kestrel::app {

inline constexpr char kOptionsSection[] = "Options";

// "Checked", "Grayed" or "Unchecked", as the "SavePath" key holds it.
const char* SavePathName(TSavePathState State);
// "GRAYED" in any letter case is grayed, "CHECKED" checked, anything else unchecked.
TSavePathState SavePathFromText(std::string Text);

}  // namespace kestrel::app
