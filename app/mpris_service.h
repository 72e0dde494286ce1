#pragma once
// The player on the session bus as org.mpris.MediaPlayer2.lumetra, the
// interface desktops, media keys and status applets use to control players:
// its methods run the same commands as the headless protocol, its properties
// read the player control and the engine, and PropertiesChanged goes out when
// the state, the item, the volume, shuffle or repeat change (looked at after
// each event, each call and every fourth tick of the player's timer). Without a
// session bus it says so once on standard error and stays off, never loading
// the bus library (mpris_bus.h). Runs on the main thread's loop.

#include <functional>
#include <memory>

namespace lumetra::app {

class PlayerControl;
class MprisObject;

class MprisService {
public:
    struct Hooks {
        std::function<void()> raise; // empty: nothing to raise (headless)
        std::function<void()> quit;  // the orderly shutdown
    };
    MprisService(PlayerControl& player, Hooks hooks);
    ~MprisService();
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    bool OnBus() const { return m_object != nullptr; }

private:
    std::shared_ptr<MprisObject> m_object;
};

} // namespace lumetra::app
