#pragma once
// Layer II: allocations with widths from the allocation table, scale factor
// selection, then 12 iterations of three samples per subband and channel.

#include "mpeg/bit_reader.h"
#include "mpeg/frame_header.h"
#include "mpeg/layer_samples.h"

#include <cstdint>

namespace lumetra::mpeg {

// Picks the table for the frame's rate and bitrate per channel (number 0..4),
// reads it into params.alloc when the number changes, returns the subband limit.
int ChooseAllocationTable(FrameParams& params);
// The table number alone, for an MPEG ID, sampling frequency index, bitrate
// index and channel count.
int AllocationTableNumber(int id, int samplingFrequency, int bitrateIndex, int channels);
// The same from a bit rate in kbit/s (free format: the one its frame length implies).
int AllocationTableNumberForKbps(int id, int samplingFrequency, int kbps, int channels);

namespace layer2 {

void ReadAllocation(BitReader& reader, const FrameParams& params, LayerSamples& s);
void ReadScaleFactors(BitReader& reader, const FrameParams& params, LayerSamples& s);
// Three samples per subband and channel into s.fraction[ch][0..2], scaled by
// scale factor part `part` (iteration / 4).
void ReadTriple(BitReader& reader, const FrameParams& params, int part, LayerSamples& s);
uint16_t Crc(const FrameParams& params, const LayerSamples& s);

} // namespace layer2
} // namespace lumetra::mpeg
