#pragma once
// PulseAudio's and ALSA's sinks each live in a module of their own
// ("lumetra-audio-pulse.so", "lumetra-audio-alsa.so"), loaded when that backend
// is first probed or opened, so a run on the null or file device maps neither
// library (nor the codecs and X11 libraries PulseAudio's client pulls in). The
// functions of backends.h forward to this table.

#include "platform/audio/audio_sink.h"
#include "platform/audio/stream_description.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lumetra::platform::audio {

struct AudioModuleTable {
    std::size_t size; // sizeof(AudioModuleTable) where the module was built
    // The module reads the program's description of what plays through these.
    void (*useStreamDescription)(StreamDescription (*current)(), uint64_t (*generation)());
    // The backend's argument: the client name for Pulse, the PCM for ALSA.
    bool (*answers)(const std::string& argument);
    std::unique_ptr<AudioSink> (*makeSink)(const std::string& argument);
};

} // namespace lumetra::platform::audio

// The module's one exported symbol.
extern "C" const void* lumetra_audio_module();
