#include "engine/engine.h"
#include "engine/engine_lock.h"

namespace lumetra::engine {

Engine& TheEngine()
{
    static Engine engine(EngineDependencies{platform::audio::TheAudioSystem(), DefaultDecoderSource(),
                                            DefaultMixerAccess(), TheStreamProgress(), EngineLock()});
    return engine;
}

} // namespace lumetra::engine
