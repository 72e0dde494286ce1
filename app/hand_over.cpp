#include "app/hand_over.h"
#include "app/front_end_view.h"
#include "app/headless.h"
#include "app/headless_commands.h"
#include "app/headless_registry.h"
#include "app/headless_web.h"
#include "app/player_control.h"
#include "engine/window_message.h"
#include "web/station_directory.h"
#include "web/stream_playlist.h"

#include <array>
#include <strings.h>

namespace lumetra::app {
namespace {

// How long a 1035 waits in all for the window to reach the mode it needs.
constexpr int kModeWaitMs = 50;
constexpr int kModeWaits = 200;

bool EndsWithNoCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() &&
           strncasecmp(text.data() + text.size() - end.size(), end.data(), end.size()) == 0;
}

} // namespace

HandOverSide ClassifyHandOver(std::string_view path)
{
    static constexpr std::array<std::string_view, 10> kPlayerEndings = {".mp3", ".cda", ".mid", ".wav", ".m3u",
                                                                        ".pls", ".plr", ".cgi", ".rmi", ".pl"};
    if (EndsWithNoCase(path, ".rdl"))
        return HandOverSide::Station;
    for (std::string_view ending : kPlayerEndings) {
        if (EndsWithNoCase(path, ending))
            return HandOverSide::Player;
    }
    return HandOverSide::Ignored;
}

HandOverReceiver::HandOverReceiver(PlayerControl& player, engine::WindowMessageTarget* mainWindow,
                                   FrontEndView* view)
    : m_player(player), m_window(mainWindow), m_view(view)
{
}

bool HandOverReceiver::Offer(const std::string& path)
{
    // Busy while an earlier hand-over has not led to its play, or its path still
    // waits in the buffer for its 1035.
    if (m_pending >= 1 || !m_buffer.empty())
        return false;
    ++m_pending;
    m_buffer = path;
    EmitEvent("handover", path);
    // The sender is answered first; the path is acted on once that is done.
    m_scope.Post([this] { Sort(); });
    return true;
}

void HandOverReceiver::Sort()
{
    switch (ClassifyHandOver(m_buffer)) {
    case HandOverSide::Station:
        EnterRadioModeForStation();
        engine::PostWindowMessage(m_window, kMsgHandOverOpen, kHandOverStation, 0);
        --m_pending;
        break;
    case HandOverSide::Player:
        if (m_view && m_view->RadioMode())
            m_view->PressModeButton(false);
        engine::PostWindowMessage(m_window, kMsgHandOverOpen, kHandOverPlayerSide, 0);
        break;
    case HandOverSide::Ignored:
        --m_pending;
        m_buffer.clear();
        break;
    }
}

// The directory's running flag keeps entering radio mode from fetching the
// directory: the station file is opened instead.
void HandOverReceiver::EnterRadioModeForStation()
{
    if (!m_view || m_view->RadioMode())
        return;
    FrontEndStationDirectory().SetRunning(true);
    m_view->PressModeButton(true);
}

void HandOverReceiver::OpenStationFileAtStart(const std::string& path)
{
    m_buffer = path;
    EnterRadioModeForStation();
    engine::PostWindowMessage(m_window, kMsgHandOverOpen, kHandOverStation, 0);
}

bool HandOverReceiver::WaitForMode(intptr_t side, bool radioWanted)
{
    if (!m_view || m_view->RadioMode() == radioWanted) {
        m_modeWaits = 0;
        return false;
    }
    if (++m_modeWaits > kModeWaits) {
        // The window never got there: the hand-over is dropped.
        m_modeWaits = 0;
        if (side == kHandOverPlayerSide)
            --m_pending;
        m_buffer.clear();
        FrontEndStationDirectory().SetRunning(false);
        return true;
    }
    m_scope.After(kModeWaitMs, [this, side] { engine::PostWindowMessage(m_window, kMsgHandOverOpen, side, 0); });
    return true;
}

void HandOverReceiver::Open(intptr_t side)
{
    if (side == kHandOverStation) {
        if (WaitForMode(side, true))
            return;
        std::string path = m_buffer;
        if (!RefuseIfNotRegular(path))
            OfferToOpenHandlers(path);
        FrontEndStationDirectory().SetRunning(false);
        ShowPanel(1);
        m_buffer.clear();
        return;
    }
    if (side != kHandOverPlayerSide || WaitForMode(side, false))
        return;
    m_player.Engine().StopAll();
    std::string path = m_buffer;
    if (web::IsStreamPlaylistName(path)) {
        // A stream (or another player's list of local files, which plays at once).
        if (!RefuseIfNotRegular(path))
            OfferToOpenHandlers(path);
        ShowPanel(1);
    } else {
        if (!RefuseIfNotRegular(path) && !m_player.AddEntry(path))
            EmitEvent("error", NotPlayableText(path));
        ShowPanel(0);
        m_player.Play();
    }
    --m_pending;
    if (m_view)
        m_view->Raise();
    m_player.Playlist().SetPlayIndex(0);
    m_buffer.clear();
}

} // namespace lumetra::app
