#pragma once
// The bus side of the MPRIS service (mpris_service.h). It lives in the module
// "lumetra-mpris.so", loaded only when a session bus is configured, so a player
// without one never maps the bus library. The module sees the player only
// through MprisPlayer, and runs on the main thread's loop.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lumetra::platform {
class MainLoop;
}

namespace lumetra::app {

// The player as the bus shows it, read at one moment.
struct MprisState {
    enum Playback { Stopped, Playing, Paused } playback = Stopped;
    bool loaded = false;  // an item is open, or a station plays
    bool station = false; // path is the station's address, title its name
    std::string path;
    std::string title;
    std::string performer; // empty: none
    int64_t lengthUs = 0;  // 0: unknown
    int64_t positionUs = 0;
    bool repeat = false;
    bool shuffle = false;
    int volume = 0; // 0..65535
    int rowCount = 0;
};

class MprisPlayer {
public:
    virtual MprisState State() = 0;
    // A line of the headless protocol.
    virtual void Command(const std::string& line) = 0;
    virtual bool CanRaise() const = 0;
    virtual void Raise() = 0;
    // The orderly shutdown; called from the event loop after the reply went out.
    virtual void Quit() = 0;
    virtual std::vector<std::string> MimeTypes() const = 0;
    // The loop the bus connection is watched on; nullptr once none is installed.
    virtual platform::MainLoop* Loop() const = 0;

protected:
    ~MprisPlayer() = default;
};

// The object on the bus.
class MprisBus {
public:
    virtual ~MprisBus() = default;
    // Sends PropertiesChanged for what changed since the last call.
    virtual void Poll() = 0;
    // Answers nothing more and leaves the bus (shutdown has begun).
    virtual void Close() = 0;
};

struct MprisModuleTable {
    std::size_t size; // sizeof(MprisModuleTable) where the module was built
    // Registers the player on the session bus; nullptr, said on standard error, when it cannot.
    std::shared_ptr<MprisBus> (*start)(MprisPlayer& player);
};

} // namespace lumetra::app

// The module's one exported symbol.
extern "C" const void* lumetra_mpris_module();
