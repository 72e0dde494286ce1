// The module's side: the table over the backend built into it, and the stream
// description read from the program that loaded it.
#include "platform/audio/audio_module.h"
#include "platform/audio/backends.h"

using namespace lumetra::platform::audio;

namespace {
StreamDescription (*g_current)() = nullptr;
uint64_t (*g_generation)() = nullptr;
} // namespace

namespace lumetra::platform::audio {

StreamDescription CurrentStreamDescription()
{
    return g_current ? g_current() : StreamDescription{};
}

uint64_t StreamDescriptionGeneration()
{
    return g_generation ? g_generation() : 0;
}

} // namespace lumetra::platform::audio

extern "C" __attribute__((visibility("default"))) const void* lumetra_audio_module()
{
    static const AudioModuleTable table{
        sizeof(AudioModuleTable),
        [](StreamDescription (*current)(), uint64_t (*generation)()) {
            g_current = current;
            g_generation = generation;
        },
#if defined(LUMETRA_HAVE_PULSE)
        [](const std::string&) { return PulseServerAnswers(); },
        MakePulseSink,
#elif defined(LUMETRA_HAVE_ALSA)
        AlsaDeviceOpens,
        MakeAlsaSink,
#endif
    };
    return &table;
}
