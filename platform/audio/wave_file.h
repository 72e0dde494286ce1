#pragma once
// RIFF WAV images in memory: the PCM format and the sample bytes of the first
// "data" chunk. Pure parsing, no I/O.

#include "platform/audio/wave_out.h"

#include <cstdint>
#include <span>
#include <string>

namespace lumetra::platform::audio {

struct WaveImage {
    WaveFormat format;
    std::span<const uint8_t> samples; // whole frames, inside the parsed bytes
};

struct WaveParseResult {
    bool ok = false;
    std::string error; // why the bytes are not a playable WAV, when !ok
    WaveImage image;
};

// Accepts PCM (tag 1, or WAVE_FORMAT_EXTENSIBLE with a PCM sub-format), 8 or 16
// bits, 1 or 2 channels, 8000..48000 Hz. A "data" chunk longer than the bytes
// is cut to what is there.
WaveParseResult ParseWave(std::span<const uint8_t> bytes);

} // namespace lumetra::platform::audio
