#pragma once
// Decodes one wavelet-coded frame to 2048 unsigned 8-bit mono samples (128 is
// silence). A pure function of the payload, the smoothing-filter switch and the
// filter threshold; any payload, however short or hostile, gives 2048 samples.

#include "radio/codec/wavelet_frame.h"

#include <array>
#include <cstdint>
#include <span>

namespace lumetra::radio {

using Coefficients = std::array<int16_t, kFrameSamples>;

// Reads the 2048 coefficients of the payload's bit stream (after the header);
// coefficients the data does not reach are 0.
void ReadCoefficients(std::span<const uint8_t> payload, Coefficients& c);

void DecodeFrame(std::span<const uint8_t> payload, bool filterOn, int32_t threshold,
                 std::span<uint8_t, kFrameSamples> samples);

} // namespace lumetra::radio
