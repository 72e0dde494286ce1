#pragma once
// A window on top of the front end: the player, its timer and its shutdown stay
// the front end's; the view shows them and turns clicks into player commands.

#include <functional>

namespace lumetra::app {

class PlayerControl;

class FrontEndView {
public:
    virtual ~FrontEndView() = default;
    // Once the player exists, before the command-line file is opened. requestQuit
    // starts the orderly shutdown (the window was closed).
    virtual void Attach(PlayerControl& player, std::function<void()> requestQuit) = 0;
    // Every 50 ms, after the front end's own timer work.
    virtual void Tick() = 0;
    // At shutdown, before the engine stops.
    virtual void Detach() = 0;
    // Brings the window to the front (a desktop's request).
    virtual void Raise() = 0;

    // Start-up and hand-overs act on the window as its buttons do. Without a
    // window there is one mode and no panel, so by default these do nothing.
    virtual bool RadioMode() const { return false; }
    // As pressing RADIO (1033) or MP3 (1032).
    virtual void PressModeButton(bool radio) { (void)radio; }
    // 0 the playlist, 1 the information screen, 2 the library.
    virtual void ShowPanel(int view) { (void)view; }
};

} // namespace lumetra::app
