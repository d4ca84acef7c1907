#pragma once
// The marker the program's own file browser puts on its drags, so the
// compilation list can tell them from drops of a file manager. Its value is
// the name of the list the drag started in and the process id.
#include <QString>

namespace kestrel::app {

inline constexpr char kBrowserDragFormat[] = "application/x-kestrel-browser-drag";

}  // namespace kestrel::app
