#pragma once
// Huffman decoding of one granule and channel: big-value pairs by region, then
// count1 quadruples up to the end of the channel's part2_3 data.

#include "mpeg/layer3/bit_reservoir.h"
#include "mpeg/layer3/huffman_tables.h"
#include "mpeg/layer3/requantizer.h"
#include "mpeg/layer3/side_info.h"

#include <cstdint>

namespace lumetra::mpeg {

inline constexpr int kGranuleLines = 576;

// Decodes one code with table t from the 32 bits in window (first bit most
// significant). Returns the bits used and the leaf value, or -1 when no leaf is
// reached within 32 bits (an illegal code).
int WalkHuffmanTree(const HuffmanTable& t, uint32_t window, uint32_t& value);
// The same result, its first bits taken from the table's lookup.
int DecodeHuffmanCode(const HuffmanTable& t, uint32_t window, uint32_t& value);

// Decodes into q[0..575] (position p is subband p / 18, slot p % 18), reading
// the reservoir from its position up to partEnd, where the reservoir is left.
// Returns the number of positions decoded; all later ones are 0.
int DecodeHuffman(BitReservoir& reservoir, const GranuleChannelInfo& g, const int16_t longBands[23],
                  const HuffmanTables& tables, int32_t partEnd, int32_t q[kGranuleLines]);

// The same decoding with each value requantised as it is decoded (the values
// equal Requantize() of DecodeHuffman()'s output).
int DecodeHuffmanRequantized(BitReservoir& reservoir, const GranuleChannelInfo& g, const int16_t longBands[23],
                             const HuffmanTables& tables, int32_t partEnd, const GainSegments& gains,
                             float xr[kGranuleLines]);

} // namespace lumetra::mpeg
