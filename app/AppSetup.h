#pragma once
// What the program tells the desktop about itself: its names and its icon.

namespace kestrel::app {

// Call once the QApplication exists. The display name is the window's
// caption, so the desktop, which adds the display name to a window title
// that does not end with it, names the program once.
void SetUpApplication();

}  // namespace kestrel::app
