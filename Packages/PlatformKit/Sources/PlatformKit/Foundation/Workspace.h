#pragma once
// The desktop around the studio: showing a finished file to the user in the file browser.
#include <filesystem>

namespace pk {

// Opens the folder holding `file` with xdg-open when a desktop session is there (DISPLAY
// or WAYLAND_DISPLAY set and xdg-open on the PATH) and returns at once; the launched
// program is not waited for. Does nothing headless. True when the opener was launched.
bool revealInFileBrowser(const std::filesystem::path& file);

}  // namespace pk
