#pragma once
// The program's name as the desktop shows it.

namespace kestrel::app {

// The application's title and the window's caption.
inline constexpr char kApplicationTitle[] = "Kestrel CD/DVD Burner";
inline constexpr char kWindowCaption[] = "Kestrel CD/DVD Burner 1.22";

}  // namespace kestrel::app
