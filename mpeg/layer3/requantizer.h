#pragma once
// Requantisation of one granule and channel: each quantised value q becomes
// gain(band) * |q|^(4/3) with its sign, both factors looked up in tables that
// are built once per process.

#include "mpeg/layer3/scale_factors.h"
#include "mpeg/layer3/side_info.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace lumetra::mpeg {

struct BandLayout {
    const int16_t* longBands;  // 23 boundaries
    const int16_t* shortBands; // 14 boundaries per window
    int mixedLongBands;        // long bands before line 36 (8 MPEG-1, 6 LSF)
};

// The frame's band layout for the header's version and sampling frequency.
BandLayout BandLayoutFor(int id, int samplingFrequency);

// g[i] = 2^((i - 338) / 4), i = 0..383.
inline constexpr int kGainEntries = 384;
// p[n] = n^(4/3), n = 0..8207.
inline constexpr int kPowerEntries = 8208;
const float* GainTable();
const float* PowerTable();

// gain * |v|^(4/3) with the sign of v put straight into the sign bit; |v|
// beyond the power table (only from damaged data) is clamped to its end.
inline float RequantizeValue(int32_t v, float gain, const float* power)
{
    const uint32_t a = std::min(static_cast<uint32_t>(v < 0 ? -v : v), static_cast<uint32_t>(kPowerEntries - 1));
    const float product = gain * power[a];
    uint32_t bits;
    std::memcpy(&bits, &product, sizeof bits);
    bits |= static_cast<uint32_t>(v) & 0x80000000u;
    float result;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

// The gain of each run of lines of one granule and channel, in bitstream order:
// run r covers lines [end[r - 1], end[r]) (long bands, then for short blocks
// each band's three windows).
struct GainSegments {
    int16_t end[48];
    float gain[48];
    int count;
};
void BuildGainSegments(const GranuleChannelInfo& g, const ScaleFactors& sf, const BandLayout& bands,
                       GainSegments& segments);

// Writes xr[0..575] from q[0..count-1] (later values are 0).
void Requantize(const int32_t* q, int count, const GranuleChannelInfo& g, const ScaleFactors& sf,
                const BandLayout& bands, float* xr);

} // namespace lumetra::mpeg
