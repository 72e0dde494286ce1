// The program's side of the sound-server backends: loads a backend's module
// on first use and forwards to it.
#include "platform/audio/audio_module.h"
#include "platform/audio/backends.h"
#include "platform/module_loader.h"

#include <cstdio>
#include <mutex>

namespace lumetra::platform::audio {
namespace {

// nullptr, said once on standard error, when the module cannot be loaded.
const AudioModuleTable* Load(const char* fileName, std::once_flag& once, const AudioModuleTable*& table)
{
    std::call_once(once, [fileName, &table] {
        std::string error;
        auto loaded = static_cast<const AudioModuleTable*>(
            LoadModuleTable(fileName, LUMETRA_MODULE_DIR, "lumetra_audio_module", error));
        if (loaded && loaded->size == sizeof(AudioModuleTable) && loaded->answers && loaded->makeSink) {
            loaded->useStreamDescription(CurrentStreamDescription, StreamDescriptionGeneration);
            table = loaded;
        } else {
            std::fprintf(stderr, "lumetra: %s\n",
                         loaded ? (std::string(fileName) + ": not a matching module").c_str() : error.c_str());
        }
    });
    return table;
}

} // namespace

#ifdef LUMETRA_HAVE_PULSE
namespace {
const AudioModuleTable* Pulse()
{
    static std::once_flag once;
    static const AudioModuleTable* table = nullptr;
    return Load("lumetra-audio-pulse.so", once, table);
}
} // namespace

bool PulseServerAnswers()
{
    const AudioModuleTable* module = Pulse();
    return module && module->answers("");
}

std::unique_ptr<AudioSink> MakePulseSink(const std::string& clientName)
{
    const AudioModuleTable* module = Pulse();
    return module ? module->makeSink(clientName) : nullptr;
}
#endif

#ifdef LUMETRA_HAVE_ALSA
namespace {
const AudioModuleTable* Alsa()
{
    static std::once_flag once;
    static const AudioModuleTable* table = nullptr;
    return Load("lumetra-audio-alsa.so", once, table);
}
} // namespace

bool AlsaDeviceOpens(const std::string& pcm)
{
    const AudioModuleTable* module = Alsa();
    return module && module->answers(pcm);
}

std::unique_ptr<AudioSink> MakeAlsaSink(const std::string& pcm)
{
    const AudioModuleTable* module = Alsa();
    return module ? module->makeSink(pcm) : nullptr;
}
#endif

} // namespace lumetra::platform::audio
