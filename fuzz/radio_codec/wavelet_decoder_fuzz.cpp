// Any payload, with the filter on or off and any threshold, decodes to 2048
// samples without reading outside the payload.

#include "radio/codec/wavelet_decoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace lumetra::radio;
    if (size < 5)
        return 0;
    // First 5 bytes pick the filter and threshold; the rest is the payload, copied
    // to a buffer of its exact size so that any over-read is caught.
    const bool filter = data[0] & 1;
    int32_t threshold;
    std::memcpy(&threshold, data + 1, sizeof threshold);
    const size_t n = size - 5;
    uint8_t* payload = new uint8_t[n];
    std::memcpy(payload, data + 5, n);
    std::array<uint8_t, kFrameSamples> samples;
    DecodeFrame(std::span<const uint8_t>(payload, n), filter, threshold, samples);
    delete[] payload;
    return 0;
}
