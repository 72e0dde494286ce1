#pragma once
// Requantisation of one granule and channel: each quantised value q becomes
// gain(band) * |q|^(4/3) with its sign, both factors looked up in tables that
// are built once per process.

#include "mpeg/layer3/scale_factors.h"
#include "mpeg/layer3/side_info.h"

#include <cstdint>

namespace lumetra::mpeg {

struct BandLayout {
    const int16_t* longBands;    // 23 boundaries
    const int16_t* shortBands;   // 14 boundaries per window
    int mixedLongBands;          // long bands before line 36 (8 MPEG-1, 6 LSF)
};

// The frame's band layout for the header's version and sampling frequency.
BandLayout BandLayoutFor(int id, int samplingFrequency);

// g[i] = 2^((i - 338) / 4), i = 0..383.
inline constexpr int kGainEntries = 384;
// p[n] = n^(4/3), n = 0..8207.
inline constexpr int kPowerEntries = 8208;
const float* GainTable();
const float* PowerTable();

// Writes xr[0..575] from q[0..count-1] (later values are 0).
void Requantize(const int32_t* q, int count, const GranuleChannelInfo& g, const ScaleFactors& sf,
                const BandLayout& bands, float* xr);

} // namespace lumetra::mpeg
