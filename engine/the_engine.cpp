#include "engine/engine.h"
#include "engine/engine_lock.h"
#include "engine/mci_sources.h"
#include "engine/media_dispatch.h"

#include <thread>

namespace lumetra::engine {

Engine& TheEngine()
{
    static Engine& engine = []() -> Engine& {
        // The sources first, so they outlive the engine, whose destructor closes them.
        MciSources& sources = TheMciSources();
        static Engine e(EngineDependencies{platform::audio::TheAudioSystem(), DefaultDecoderSource(),
                                           DefaultMixerAccess(), TheStreamProgress(), EngineLock()});
        // Made on the main window's thread: its CD device is slot 0.
        sources.SetMainThread(std::this_thread::get_id());
        e.SetMciSources(&sources);
        SetDispatchMciSources(&sources);
        return e;
    }();
    return engine;
}

} // namespace lumetra::engine
