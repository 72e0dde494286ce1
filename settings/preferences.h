#pragma once
// What the preferences and setup dialogs show and store; the window draws
// them. Opening fills the view from the settings, OK writes all six values.

#include "settings/settings.h"

#include <string>

namespace lumetra::settings {

struct PreferencesView {
    bool desktopIcon = false;   // 1046 "Put icon on desktop"
    bool defaultPlayer = false; // 1036 "Make Lumetra Media Player(TM) the default MP3/CD/MIDI/WAV player"
    bool defaultPlayerEnabled = true;
    bool rememberExpanded = false; // 1035 "Remember expanded categories"
    bool radioFilter = false;      // 1033 "Reduce Radio Static"
    int connectionSpeed = 0;       // 1034, index into kConnectionSpeeds
    std::string minWavSizeText;    // 1051, "%d"
};

inline constexpr const char* kPreferencesTitle = "Preferences - Lumetra Media Player (tm)";
inline constexpr const char* kSetupTitle = "Lumetra Media Player (tm) Setup";
inline constexpr const char* kAboutText = "Lumetra Media Player(TM) Version ";

PreferencesView OpenPreferences(const Settings& settings);
// OK: check boxes give 1 or 0, the speed its index, the WAV threshold the
// decimal value of the edit box's first 7 characters (0 when not a number);
// the six values are stored and written.
void AcceptPreferences(const PreferencesView& view, Settings& settings);

} // namespace lumetra::settings
