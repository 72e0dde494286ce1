#pragma once
// The receiver's status line and window title: written into the radio display
// block and announced to the main window with "UpdateInfo".

#include <string>
#include <string_view>

#include "radio/receiver/radio_display.h"

namespace lumetra::radio {

class RadioHost;

inline constexpr const char* kRadioCaption = "Radio Lumetra";

class RadioStatus {
public:
    RadioStatus(RadioHost& host, RadioDisplay& display);

    // flags: two characters, 'b'/'s' then 'y'/'r'.
    void Show(std::string_view text, std::string_view flags);
    void Refresh(); // "UpdateInfo" without a change
    void SetStationLine(std::string_view name);

    void SetTitle(const std::string& title); // the host hears only changes
    // "Radio Lumetra (name)" with an optional suffix such as " [Slow CPU]".
    void SetStationTitle(const std::string& stationName, std::string_view suffix = {});
    const std::string& Title() const { return m_title; }

    RadioDisplay& Display() { return m_display; }
    std::string_view Text() const { return m_display.statusText; }

private:
    RadioHost& m_host;
    RadioDisplay& m_display;
    std::string m_title = kRadioCaption;
};

} // namespace lumetra::radio
