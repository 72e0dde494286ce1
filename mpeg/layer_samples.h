#pragma once
// The per-frame arrays of layers I and II: allocation, scale factor selection
// and indices, sample codes ("Sample") and dequantised fractions ("fraction").

#include <cstdint>

namespace lumetra::mpeg {

// Layer II dequantisation of one subband and channel for the current frame:
// f = ((code has bit `half`) ? 0 : -1) + (code below `half`) x invHalf, then
// (f + d) x c.
struct Dequantiser {
    uint32_t half;
    double invHalf;
    double d;
    double c;
};

struct LayerSamples {
    uint32_t allocation[2][32];
    uint32_t scfsi[2][32];
    uint32_t scaleIndex[2][3][32];
    Dequantiser dequant[2][32];   // layer II, set with the scale factors
    uint32_t (*sample)[3][32];    // "Sample" work buffer, [2][3][32]
    float (*fraction)[3][32];     // "fraction" work buffer, [2][3][32]
};

} // namespace lumetra::mpeg
