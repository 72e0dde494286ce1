#pragma once
// The running player's side of a hand-over: a path given by a later start is
// accepted (or answered busy while an earlier one is still pending), sorted by
// its ending, and opened through message 1035 on the player side (34) or as a
// station file in radio mode (17). Main thread only: the socket is read on the
// main thread's event loop, so the pending counter needs no lock of its own.

#include "platform/loop/main_loop.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace lumetra::engine {
class WindowMessageTarget;
}

namespace lumetra::app {

class FrontEndView;
class PlayerControl;

inline constexpr int kMsgHandOverOpen = 1035;
inline constexpr intptr_t kHandOverPlayerSide = 34;
inline constexpr intptr_t kHandOverStation = 17;

enum class HandOverSide {
    Station, // ".rdl"
    Player,  // ".mp3 .cda .mid .wav .m3u .pls .plr .cgi .rmi" and names ending ".pl"
    Ignored, // anything else is accepted and dropped
};
HandOverSide ClassifyHandOver(std::string_view path);

class HandOverReceiver {
public:
    // mainWindow receives the 1035 messages; view may be null (no window).
    HandOverReceiver(PlayerControl& player, engine::WindowMessageTarget* mainWindow, FrontEndView* view);

    // A complete request from another start: true accepts it (the sender ends),
    // false answers busy (the sender asks again).
    bool Offer(const std::string& path);
    // Message 1035.
    void Open(intptr_t side);
    // A station file given at start-up: opened in radio mode as a handed-over one.
    void OpenStationFileAtStart(const std::string& path);

private:
    void Sort();
    void EnterRadioModeForStation();
    // While the window is still in the other mode: ask again a little later.
    bool WaitForMode(intptr_t side, bool radioWanted);

    PlayerControl& m_player;
    engine::WindowMessageTarget* m_window;
    FrontEndView* m_view;
    // Raised from acceptance until the play that follows (or until a station
    // file or an ignored name has been dispatched).
    int m_pending = 0;
    std::string m_buffer;
    int m_modeWaits = 0;
    platform::LoopScope m_scope;
};

} // namespace lumetra::app
