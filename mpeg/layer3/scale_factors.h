#pragma once
// Layer III scale factors of one granule and channel, read from the reservoir
// in the MPEG-1 form (slen pairs, reuse between granules) or the MPEG-2 LSF
// form (9-bit compression into four slen groups).

#include "mpeg/layer3/bit_reservoir.h"
#include "mpeg/layer3/side_info.h"

#include <cstdint>

namespace lumetra::mpeg {

struct ScaleFactors {
    int32_t l[23];    // long bands 0..20 transmitted, 21 and 22 stay 0
    int32_t s[3][13]; // [window][short band], bands 0..11 transmitted
    // Intensity stereo of the right channel: a band whose factor equals its
    // limit is not intensity coded (MPEG-1: 7 everywhere; LSF: 2^slen - 1).
    int32_t lLimit[23];
    int32_t sLimit[3][13];
    int32_t intensityScale; // LSF right channel: 0 or 1
};

// MPEG-1. Bands whose scfsi group is set keep their values from granule 0
// when granule is 1 and the block is not short.
void ReadScaleFactorsMpeg1(BitReservoir& r, const GranuleChannelInfo& g, const int32_t scfsi[4], int granule,
                           ScaleFactors& sf);

// MPEG-2 LSF; intensityRight for the right channel of an intensity-stereo
// frame. Sets g.preflag.
void ReadScaleFactorsLsf(BitReservoir& r, GranuleChannelInfo& g, bool intensityRight, ScaleFactors& sf);

} // namespace lumetra::mpeg
