#pragma once
// Layer I: 4-bit allocations (shared above the joint-stereo bound), 6-bit scale
// factors, then 12 blocks of one sample per subband and channel.

#include "mpeg/bit_reader.h"
#include "mpeg/frame_header.h"
#include "mpeg/layer_samples.h"

#include <cstdint>

namespace lumetra::mpeg::layer1 {

void ReadAllocation(BitReader& reader, const FrameParams& params, LayerSamples& s);
void ReadScaleFactors(BitReader& reader, const FrameParams& params, LayerSamples& s);
// One block: reads, dequantises and denormalises into s.fraction[ch][row]
// (row 0 to 2).
void ReadBlock(BitReader& reader, const FrameParams& params, LayerSamples& s, int row);
uint16_t Crc(const FrameParams& params, const LayerSamples& s);

} // namespace lumetra::mpeg::layer1
