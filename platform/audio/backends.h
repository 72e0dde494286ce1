#pragma once
// The sinks of the sound-server backends; each is built only when its library is.

#include "platform/audio/audio_sink.h"

#include <memory>
#include <string>

namespace lumetra::platform::audio {

#ifdef LUMETRA_HAVE_PULSE
// Whether a PulseAudio (or PipeWire) server answers within a short time.
bool PulseServerAnswers();
std::unique_ptr<AudioSink> MakePulseSink(const std::string& clientName);
#endif

#ifdef LUMETRA_HAVE_ALSA
// Whether the PCM can be opened for playback now.
bool AlsaDeviceOpens(const std::string& pcm);
std::unique_ptr<AudioSink> MakeAlsaSink(const std::string& pcm);
#endif

} // namespace lumetra::platform::audio
