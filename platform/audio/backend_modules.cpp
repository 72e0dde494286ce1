// The program's side of the sound-server backends: loads a backend's module
// on first use and forwards to it.
#include "platform/audio/audio_module.h"
#include "platform/audio/backends.h"
#include "platform/module_loader.h"

#include <cstdio>
#include <mutex>

namespace lumetra::platform::audio {
namespace {

// A backend's module, loaded at most once, on first use.
struct BackendModule {
    explicit BackendModule(const char* name) : fileName(name) {}
    const char* fileName;
    std::once_flag once;
    const AudioModuleTable* table = nullptr;
};

// nullptr, said once on standard error, when the module cannot be loaded.
const AudioModuleTable* Load(BackendModule& module)
{
    std::call_once(module.once, [&module] {
        std::string error;
        auto loaded = static_cast<const AudioModuleTable*>(
            LoadModuleTable(module.fileName, LUMETRA_MODULE_DIR, "lumetra_audio_module", error));
        if (loaded && loaded->size == sizeof(AudioModuleTable) && loaded->answers && loaded->makeSink) {
            loaded->useStreamDescription(CurrentStreamDescription, StreamDescriptionGeneration);
            module.table = loaded;
        } else {
            std::fprintf(stderr, "lumetra: %s\n",
                         loaded ? (std::string(module.fileName) + ": not a matching module").c_str() : error.c_str());
        }
    });
    return module.table;
}

} // namespace

#ifdef LUMETRA_HAVE_PULSE
namespace {
const AudioModuleTable* Pulse()
{
    static BackendModule module("lumetra-audio-pulse.so");
    return Load(module);
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
    static BackendModule module("lumetra-audio-alsa.so");
    return Load(module);
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
