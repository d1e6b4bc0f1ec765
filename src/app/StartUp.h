#pragma once
// What the program starts with, shared by the window and the command line.

namespace rasmik {

inline constexpr const char* StartCaption = "Rasmik - Version 1400.10.01";
// The main window's size before it is shown or maximized; the grid takes
// its whole width.
inline constexpr int StartWindowWidth = 696;
inline constexpr int StartWindowHeight = 480;

} // namespace rasmik
