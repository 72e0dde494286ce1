#pragma once
// The per-frame arrays of layers I and II: allocation, scale factor selection
// and indices, sample codes ("Sample") and dequantised fractions ("fraction").

#include <cstdint>

namespace lumetra::mpeg {

struct LayerSamples {
    uint32_t allocation[2][32];
    uint32_t scfsi[2][32];
    uint32_t scaleIndex[2][3][32];
    // Set with the scale factors: the fraction of a sample code in part k is
    // code x step[ch][k][sb] + base[ch][k][sb] (both 0 without allocation),
    // dequantisation and scale factor in one. Layer I uses part 0.
    double step[2][3][32];
    double base[2][3][32];
    // Set with the scale factors: the codes of every block (layer I) or
    // triple (layer II) of the frame, in reading order. A layer II read takes
    // three codes of its width, or one that holds three samples (split by
    // table when there is one); a layer I read one code.
    struct CodeRead {
        const uint16_t* split;
        uint16_t steps; // 0: three separate codes
        uint8_t ch;
        uint8_t sb;
    };
    CodeRead reads[64];
    int readCount;
    uint8_t codeBits[192];
    int codeCount;
    uint32_t (*sample)[3][32]; // "Sample" work buffer, [2][3][32]
    float (*fraction)[3][32];  // "fraction" work buffer, [2][3][32]
};

} // namespace lumetra::mpeg
