#pragma once
// Handing files and programs to the desktop: the file's default program, or a
// program started directly (never through a shell). Failures are swallowed.

#include <functional>
#include <string>

class QUrl;

namespace rasmik {

// Show mode "activate and show" of the shell's execute request. Programs on
// Linux choose their own window state, so the mode is accepted and not used.
constexpr int SwShow = 5;

// Opens target. An existing file or folder with no parameters goes to the
// desktop's default program for it (xdg-open); anything else is started as a
// program (searched on PATH when it has no folder) with parameters split into
// arguments as a command line is (double quotes group), in folder when one is
// given. A relative target is taken relative to folder. The verb may be empty
// or "open"; other verbs open nothing.
void ShellOpen(const std::string& target, const std::string& folder = {}, const std::string& parameters = {},
               const std::string& verb = {}, int showMode = SwShow);

// Opens a URL with the desktop's default program; answers whether it was
// accepted. QDesktopServices::openUrl unless replaced.
using UrlOpener = std::function<bool(const QUrl& url)>;
// Replaces the desktop opener (tests record what would be opened); an empty
// function restores the desktop's.
void SetUrlOpenerForTesting(UrlOpener opener);
// The opener in use.
bool OpenUrlOnDesktop(const QUrl& url);

} // namespace rasmik
