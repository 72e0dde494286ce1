#include "engine/engine.h"
#include "engine/engine_lock.h"
#include "engine/mci_sources.h"
#include "engine/media_dispatch.h"

#include <thread>

namespace lumetra::engine {

Engine& TheEngine()
{
    static Engine& engine = [] () -> Engine& {
        static Engine e(EngineDependencies{platform::audio::TheAudioSystem(), DefaultDecoderSource(),
                                           DefaultMixerAccess(), TheStreamProgress(), EngineLock()});
        // Made on the main window's thread: its CD device is slot 0.
        TheMciSources().SetMainThread(std::this_thread::get_id());
        e.SetMciSources(&TheMciSources());
        SetDispatchMciSources(&TheMciSources());
        return e;
    }();
    return engine;
}

} // namespace lumetra::engine
