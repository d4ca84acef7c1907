#pragma once
// Names shared by everything that reads or writes the settings file: its
// section, the keys of the boot choices, and the text form of the "Save
// path" state.
#include <string>

#include "burner/iso/FillCompilation.h"

namespace kestrel::app {

inline constexpr char kOptionsSection[] = "Options";

// The boot choices besides the BIOS boot image's "Bootable" and "BootImage".
// A file without them reads as before they existed: an emulated BIOS entry
// and no UEFI entry.
inline constexpr char kBootNoEmulationKey[] = "BootNoEmulation";  // Boolean
inline constexpr char kBootLoadSizeKey[] = "BootLoadSize";        // 512-byte units, 0 = the default
inline constexpr char kBootInfoTableKey[] = "BootInfoTable";      // Boolean
inline constexpr char kUefiBootKey[] = "UefiBoot";                // Boolean
inline constexpr char kUefiBootImageKey[] = "UefiBootImage";      // file path

// "Checked", "Grayed" or "Unchecked", as the "SavePath" key holds it.
const char* SavePathName(TSavePathState State);
// "GRAYED" in any letter case is grayed, "CHECKED" checked, anything else unchecked.
TSavePathState SavePathFromText(std::string Text);

}  // namespace kestrel::app
