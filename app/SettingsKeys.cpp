#include "app/SettingsKeys.h"

#include <cctype>

namespace kestrel::app {

const char* SavePathName(TSavePathState State) {
    switch (State) {
        case TSavePathState::Checked: return "Checked";
        case TSavePathState::Grayed: return "Grayed";
        default: return "Unchecked";
    }
}

TSavePathState SavePathFromText(std::string Text) {
    for (char& c : Text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (Text == "GRAYED") return TSavePathState::Grayed;
    if (Text == "CHECKED") return TSavePathState::Checked;
    return TSavePathState::Unchecked;
}

}  // namespace kestrel::app
