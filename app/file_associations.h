#pragma once
// Start-up's file associations and desktop shortcut, as the settings ask: the
// desktop entry and icon are (re)installed every time, as an installer's
// start-menu shortcut would be there; CheckMP3file 2 shows the setup dialog,
// 1 writes the association values into the settings store and makes the entry
// the desktop's default player; DesktopIcon copies the entry to the desktop.
// Problems are told once on standard error; the player starts regardless.

#include "settings/settings.h"

#include <functional>
#include <string>
#include <vector>

namespace lumetra::app {

// showSetup shows the setup dialog (it stores the settings on OK).
void ApplyAssociationSettings(const settings::Settings& settings, const std::function<void()>& showSetup);

// The association value strings with the program's path filled in: the
// classes-root values first, then those of the current user (count returned
// through userValuesFrom).
std::vector<std::string> AssociationValueStrings(const std::string& executable, std::size_t& userValuesFrom);

// The absolute path of the program the desktop starts (lumetra, also when
// the window runs in lumetra-window), empty when it cannot be read.
std::string ExecutablePath();

} // namespace lumetra::app
