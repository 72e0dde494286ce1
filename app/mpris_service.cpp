#include "app/mpris_service.h"
#include "app/event_text.h"
#include "app/headless.h"
#include "app/headless_radio.h"
#include "app/headless_registry.h"
#include "app/mpris_bus.h"
#include "app/player_control.h"
#include "engine/media_item_text.h"
#include "platform/desktop/desktop_integration.h"
#include "platform/loop/main_loop.h"
#include "platform/module_loader.h"
#include "radio/receiver/receiver.h"

#include <sys/stat.h>

#include <atomic>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumetra::app {
namespace {

// libdbus would otherwise try to start a bus of its own (autolaunch) when no
// address is given and no per-user bus socket exists.
bool SessionBusConfigured()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    return runtime && *runtime && ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

} // namespace

// The player control as the bus side reads and drives it.
class MprisObject final : public MprisPlayer {
public:
    MprisObject(PlayerControl& player, MprisService::Hooks hooks) : m_player(player), m_hooks(std::move(hooks)) {}

    MprisState State() override
    {
        MprisState state = EngineState();
        // A station plays beside the engine's item: its name stands for the title.
        radio::Receiver* receiver = radio::CurrentReceiver();
        if (!state.loaded && receiver && !receiver->Closed()) {
            const char* name = RadioDisplayBlock().stationName;
            state.playback = MprisState::Playing;
            state.loaded = state.station = true;
            state.path = receiver->StationAddress();
            state.title = AnsiToUtf8(std::string_view(name, strnlen(name, sizeof RadioDisplayBlock().stationName)));
        }
        state.repeat = m_player.Repeat();
        state.shuffle = m_player.Shuffle();
        state.volume = m_player.Volume();
        state.rowCount = m_player.RowCount();
        return state;
    }
    void Command(const std::string& line) override { DispatchHeadlessLine(line); }
    bool CanRaise() const override { return static_cast<bool>(m_hooks.raise); }
    void Raise() override
    {
        if (m_hooks.raise)
            m_hooks.raise();
    }
    void Quit() override { m_hooks.quit(); }
    std::vector<std::string> MimeTypes() const override { return platform::DesktopMimeTypes(); }
    platform::MainLoop* Loop() const override { return platform::HasMainLoop() ? &platform::TheMainLoop() : nullptr; }

    std::shared_ptr<MprisBus> bus;

private:
    MprisState EngineState()
    {
        engine::Engine& engine = m_player.Engine();
        std::lock_guard lock(engine.Lock());
        MprisState state;
        switch (engine.State()) {
        case engine::kStatePlaying:
            state.playback = MprisState::Playing;
            break;
        case engine::kStatePaused:
            state.playback = MprisState::Paused;
            break;
        default:
            break;
        }
        const MediaItem& item = engine.CurrentItem();
        state.loaded = item.layer != -1 && item.path[0] != '\0';
        if (state.loaded) {
            state.path = item.path;
            state.title = TextToUtf8(engine::ItemDisplayName(item, item.path));
            std::string performer(item.performer, strnlen(item.performer, sizeof item.performer));
            if (performer != "performer n/a")
                state.performer = TextToUtf8(performer);
            if (item.sampleRate > 0) {
                if (item.totalSamples > 0)
                    state.lengthUs = static_cast<int64_t>(item.totalSamples) * 1000000 / item.sampleRate;
                state.positionUs = static_cast<int64_t>(engine.PlayedPosition()) * 1000000 / item.sampleRate;
            }
        }
        return state;
    }

    PlayerControl& m_player;
    MprisService::Hooks m_hooks;
};

MprisService::MprisService(PlayerControl& player, Hooks hooks)
{
    if (!SessionBusConfigured()) {
        std::fprintf(stderr, "lumetra: no session bus (DBUS_SESSION_BUS_ADDRESS is not set): "
                             "no MPRIS control\n");
        return;
    }
    // The bus library comes in only now, with a bus to talk to.
    std::string error;
    auto module = static_cast<const MprisModuleTable*>(
        platform::LoadModuleTable("lumetra-mpris.so", LUMETRA_MODULE_DIR, "lumetra_mpris_module", error));
    if (!module || module->size != sizeof(MprisModuleTable)) {
        std::fprintf(stderr, "lumetra: %s: no MPRIS control\n",
                     module ? "lumetra-mpris.so: not a matching module" : error.c_str());
        return;
    }
    auto object = std::make_shared<MprisObject>(player, std::move(hooks));
    object->bus = module->start(*object);
    if (!object->bus)
        return;
    m_object = std::move(object);
    // Every fourth tick, for the changes no event tells of.
    std::weak_ptr<MprisObject> polled = m_object;
    auto ticks = std::make_shared<int>(0);
    RegisterTimerHook([polled, ticks] {
        if (++*ticks < 4)
            return;
        *ticks = 0;
        if (auto object = polled.lock())
            object->bus->Poll();
    });
    // Most changes come with an event: announce them at once, one look for a burst.
    auto pending = std::make_shared<std::atomic<bool>>(false);
    SetEventObserver([polled, pending] {
        if (pending->exchange(true))
            return;
        platform::PostToMainLoop([polled, pending] {
            pending->store(false);
            if (auto object = polled.lock())
                object->bus->Poll();
        });
    });
    RegisterShutdownStep([polled] {
        if (auto object = polled.lock())
            object->bus->Close();
    });
}

MprisService::~MprisService()
{
    if (!m_object)
        return;
    SetEventObserver({});
    m_object->bus.reset();
}

} // namespace lumetra::app
