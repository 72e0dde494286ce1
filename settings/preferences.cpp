#include "settings/preferences.h"

#include "settings/registry_values.h"

namespace lumetra::settings {

PreferencesView OpenPreferences(const Settings& settings)
{
    PreferencesView view;
    view.desktopIcon = settings.desktopIcon != 0;
    view.defaultPlayer = settings.checkMp3File != 0;
    view.defaultPlayerEnabled = settings.checkMp3File != 1;
    view.rememberExpanded = settings.rememberExpanded != 0;
    view.radioFilter = settings.radioFilter != 0;
    view.connectionSpeed = settings.connectionSpeed;
    view.minWavSizeText = std::to_string(settings.minWavSize);
    return view;
}

void AcceptPreferences(const PreferencesView& view, Settings& settings)
{
    settings.desktopIcon = view.desktopIcon ? 1 : 0;
    settings.checkMp3File = view.defaultPlayer ? 1 : 0;
    settings.rememberExpanded = view.rememberExpanded ? 1 : 0;
    settings.radioFilter = view.radioFilter ? 1 : 0;
    settings.connectionSpeed = view.connectionSpeed;
    settings.minWavSize = DecimalValue(std::string_view(view.minWavSizeText).substr(0, 7));
    SaveSettings(settings);
}

} // namespace lumetra::settings
