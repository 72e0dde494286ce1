#include "settings/settings.h"

#include "settings/registry_values.h"

#include <string>

namespace lumetra::settings {
namespace {

struct NumericSetting {
    std::string_view name;
    int32_t Settings::*field;
};

// Load and save order.
constexpr std::array<NumericSetting, 6> kNumericSettings = {{
    {"Settings\\DesktopIcon", &Settings::desktopIcon},
    {"Settings\\CheckMP3file", &Settings::checkMp3File},
    {"Settings\\ConnectionSpeed", &Settings::connectionSpeed},
    {"Settings\\RadioFilter", &Settings::radioFilter},
    {"Settings\\RememberExpanded", &Settings::rememberExpanded},
    {"Settings\\MinWavSize", &Settings::minWavSize},
}};

std::string ValuePath(std::string_view name)
{
    return std::string(kProgramKey) + std::string(name);
}

} // namespace

const ConnectionSpeed& ConnectionSpeedAt(int32_t index)
{
    if (index < 0 || index >= static_cast<int32_t>(kConnectionSpeeds.size()))
        index = Settings{}.connectionSpeed;
    return kConnectionSpeeds[static_cast<size_t>(index)];
}

void LoadSettings(Settings& settings)
{
    for (const auto& setting : kNumericSettings) {
        int value = ReadRegistryNumber(RegistryRoot::CurrentUser, ValuePath(setting.name));
        if (value != -1)
            settings.*setting.field = value;
    }
}

void SaveSettings(const Settings& settings)
{
    for (const auto& setting : kNumericSettings)
        WriteRegistryString(RegistryRoot::CurrentUser,
                            ValuePath(setting.name) + "=" + std::to_string(settings.*setting.field));
}

Settings& CurrentSettings()
{
    static Settings settings;
    return settings;
}

int32_t LastMessageId()
{
    int value = ReadRegistryNumber(RegistryRoot::CurrentUser, ValuePath("Settings\\LastMessageID"));
    return value < 0 ? 0 : value;
}

void StoreLastMessageId(int32_t id)
{
    WriteRegistryString(RegistryRoot::CurrentUser, ValuePath("Settings\\LastMessageID") + "=" + std::to_string(id));
}

} // namespace lumetra::settings
