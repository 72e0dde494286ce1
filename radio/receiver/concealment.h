#pragma once
// Fills the holes of a block (sub-blocks of datagrams that never arrived) from
// their neighbours, and lays noise over a damaged block so the patching is heard
// as static rather than as clicks.

#include <array>
#include <cstdint>
#include <span>

namespace lumetra::radio {

inline constexpr int kSubBlockSamples = 256;
inline constexpr int kSubBlocksPerBlock = 64;
inline constexpr int kDatagramsPerBlock = 8;
inline constexpr int kBlockSamples = kSubBlockSamples * kSubBlocksPerBlock;

// The last sub-block of the previous block, so a block's first hole can borrow it.
struct ConcealmentMemory {
    std::array<uint8_t, kSubBlockSamples> samples;
    bool valid = false;
    void Reset()
    {
        samples.fill(128);
        valid = false;
    }
    ConcealmentMemory() { Reset(); }
};

// Conceals in place; returns the number of lost sub-blocks (0..64).
int ConcealBlock(std::span<uint8_t, kBlockSamples> block, const std::array<uint32_t, 8>& received,
                 ConcealmentMemory& memory);

// Noise amplitude for a block with `lost` sub-blocks missing (0 when none).
int NoiseAmplitude(int lost);

// Adds uniform noise in [-A/2, A/2 - 1] to every sample, limited to 0..255.
// random() must return values as std::rand does.
void AddNoise(std::span<uint8_t, kBlockSamples> block, int amplitude, int (*random)());

} // namespace lumetra::radio
