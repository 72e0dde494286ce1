// Any 2048 samples at any budget encode to a frame within the budget whose codes
// cover all 2048 coefficients: bytes appended after it change nothing.

#include "radio/codec/wavelet_decoder.h"
#include "radio/codec/wavelet_encoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lumetra::radio;
    if (size < 3)
        return 0;
    static WaveletEncoder encoder;
    EncoderSettings settings;
    settings.maxPayloadBytes = 1 + (data[0] | data[1] << 8) % 5120;
    settings.scale = 1 + data[2] % 4;
    encoder.SetSettings(settings);
    // The rest, repeated as needed, is the signal.
    std::array<int16_t, kFrameSamples> pcm{};
    const size_t n = size - 3;
    for (int k = 0; n >= 2 && k < kFrameSamples; ++k) {
        const size_t at = (2 * static_cast<size_t>(k)) % (n - n % 2);
        pcm[k] = static_cast<int16_t>(data[3 + at] | data[4 + at] << 8);
    }
    std::vector<uint8_t> payload(settings.maxPayloadBytes + 64);
    const EncodedFrameInfo info = encoder.Encode(pcm, payload);
    const size_t budget = settings.maxPayloadBytes < kMinFrameBytes ? kMinFrameBytes : settings.maxPayloadBytes;
    if (info.bytes < kFrameHeaderBytes || info.bytes > budget)
        std::abort();
    payload.resize(info.bytes);
    std::array<uint8_t, kFrameSamples> samples, extended;
    DecodeFrame(payload, false, 2, samples);
    payload.resize(info.bytes + 16, 0);
    DecodeFrame(payload, false, 2, extended);
    if (samples != extended)
        std::abort();
    return 0;
}
