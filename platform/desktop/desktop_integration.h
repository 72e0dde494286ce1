#pragma once
// What stands in for the installer's start-menu shortcut, the file
// associations and the desktop shortcut: an XDG desktop entry "lumetra.desktop"
// with the program's icon under the data folder, the MIME defaults in
// mimeapps.list, and a copy of the entry on the desktop. Every folder comes from
// the XDG variables, so tests point them at temporary places.

#include <string>
#include <string_view>
#include <vector>

namespace lumetra::platform {

inline constexpr const char* kDesktopEntryName = "lumetra.desktop";

// The MIME types the entry handles; the first ones become the defaults.
const std::vector<std::string>& DesktopMimeTypes();

struct DesktopFolders {
    std::string dataHome;   // $XDG_DATA_HOME, default ~/.local/share
    std::string configHome; // $XDG_CONFIG_HOME, default ~/.config
    std::string desktop;    // XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop with the default configHome
};
DesktopFolders CurrentDesktopFolders();

// The entry's text for the program at executable (an absolute path).
std::string DesktopEntryText(const std::string& executable);

// A result the caller reports or ignores: empty when all went well.
struct DesktopResult {
    std::string error;
    bool Ok() const { return error.empty(); }
};

// Writes applications/lumetra.desktop and the icons (hicolor sizes and scalable)
// under dataHome; files already holding the same bytes are left alone.
DesktopResult InstallDesktopEntry(const DesktopFolders& folders, const std::string& executable);
// Makes the entry the default application of its MIME types in
// configHome/mimeapps.list, keeping every other line.
DesktopResult WriteMimeDefaults(const DesktopFolders& folders);
// Copies the installed entry into the desktop folder (when that folder exists)
// and marks it executable, as file managers want of launchers there.
DesktopResult CopyEntryToDesktop(const DesktopFolders& folders);

// mimeapps.list text with the entry as the default of each type and among its
// added associations; other groups and keys are kept as they were.
std::string MimeAppsWithDefaults(std::string_view text, std::string_view entry, const std::vector<std::string>& types);

} // namespace lumetra::platform
