#pragma once
// The user's settings under "Software\Lumetra software\Lumetra Media Player\"
// of the current user, with their defaults.

#include <array>
#include <cstdint>
#include <string_view>

namespace lumetra::settings {

inline constexpr std::string_view kProgramKey = "Software\\Lumetra software\\Lumetra Media Player\\";
inline constexpr std::string_view kProgramVersion = "1.31";

// The six numeric settings loaded at start-up and written by the dialogs' OK.
struct Settings {
    int32_t desktopIcon = 1;
    int32_t checkMp3File = 1;    // 1 associations each start, 2 setup dialog, 0 leave alone
    int32_t connectionSpeed = 1; // index into kConnectionSpeeds
    int32_t radioFilter = 0;
    int32_t rememberExpanded = 1;
    int32_t minWavSize = 1000; // units of 1,000 bytes
};

struct ConnectionSpeed {
    std::string_view name;
    int highestStationSpeed;
};
inline constexpr std::array<ConnectionSpeed, 6> kConnectionSpeeds = {{
    {"14.4 Modem", 12},
    {"28.8/33.6 Modem", 24},
    {"56K Modem/ISDN", 36},
    {"ADSL/Cable Modem", 200},
    {"T1", 200},
    {"Intranet/LAN", 800},
}};
// The entry for a stored index; out-of-range indexes fall back to the default.
const ConnectionSpeed& ConnectionSpeedAt(int32_t index);

// Reads each stored number in turn; a missing value keeps what `settings` holds.
void LoadSettings(Settings& settings);
// Writes all six values as decimal text, in the order they are loaded.
void SaveSettings(const Settings& settings);

// The process-wide settings every part uses.
Settings& CurrentSettings();
inline void LoadSettings()
{
    LoadSettings(CurrentSettings());
}

// Settings\LastMessageID: 0 when absent or negative.
int32_t LastMessageId();
void StoreLastMessageId(int32_t id);

} // namespace lumetra::settings
