// RIFF WAV parsing of arbitrary bytes: never reads outside them, and whatever it
// accepts is a consistent, playable image.
#include "platform/audio/wave_file.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lumetra::platform::audio;
    WaveParseResult result = ParseWave(std::span<const uint8_t>(data, size));
    if (result.ok) {
        const WaveImage& image = result.image;
        if (!IsSupportedFormat(image.format) || image.samples.size() % image.format.blockAlign != 0 ||
            image.samples.data() < data || image.samples.data() + image.samples.size() > data + size)
            std::abort();
        volatile uint8_t sink = 0;
        for (uint8_t b : image.samples)
            sink = sink ^ b;
    }
    return 0;
}
