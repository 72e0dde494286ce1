#pragma once
// "PCM Samp": the synthesised samples of one frame's rows before they are
// interleaved into the engine's block.

#include <cstdint>

namespace lumetra::mpeg {

inline constexpr int kPcmRows = 18;
inline constexpr int kSubbands = 32;

struct PcmSamples {
    // channel c, row r, index j is at c * 576 + r * 32 + j
    int16_t s[2][kPcmRows][kSubbands];
};

// Appends rows [0, rows) to out, interleaved by sample frame (channel 0 then 1);
// returns the position after the last sample written.
int16_t* WritePcmRows(const PcmSamples& pcm, int rows, int channels, int16_t* out);

} // namespace lumetra::mpeg
