#include "radio/receiver/radio_status.h"

#include "radio/receiver/radio_host.h"

namespace lumetra::radio {

RadioStatus::RadioStatus(RadioHost& host, RadioDisplay& display) : m_host(host), m_display(display) {}

void RadioStatus::Show(std::string_view text, std::string_view flags)
{
    SetField(m_display.statusText, text);
    m_display.statusFlags[0] = flags.size() > 0 ? flags[0] : 's';
    m_display.statusFlags[1] = flags.size() > 1 ? flags[1] : 'y';
    m_host.Notify("UpdateInfo");
}

void RadioStatus::Refresh()
{
    m_host.Notify("UpdateInfo");
}

void RadioStatus::SetStationLine(std::string_view name)
{
    SetField(m_display.stationName, name);
}

void RadioStatus::SetTitle(const std::string& title)
{
    if (title == m_title)
        return;
    m_title = title;
    m_host.SetTitle(title);
}

void RadioStatus::SetStationTitle(const std::string& stationName, std::string_view suffix)
{
    std::string title = std::string(kRadioCaption) + " (" + stationName + ")";
    title.append(suffix);
    SetTitle(title);
}

} // namespace lumetra::radio
