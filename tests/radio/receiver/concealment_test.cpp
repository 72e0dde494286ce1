#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "radio/receiver/concealment.h"

namespace lumetra::radio {
namespace {

// Sub-block k of the block holds the value k everywhere, so each fill shows where
// it came from; the memory of the block before holds 200.
struct HoleCase {
    std::vector<int> missing; // datagrams of the block that never arrived
    bool memory;
    int lost;
    std::vector<std::pair<int, int>> subBlocks; // sub-block, value after concealment
    bool memoryAfter;
};

TEST(Concealment, HolesBorrowFromTheirNeighboursAndTheBlockBefore)
{
    const HoleCase cases[] = {
        // Both neighbours: their mean; sub-block 0 takes the memory; the last eight never look ahead.
        {{0}, true, 8, {{0, (1 + 200) >> 1}, {8, (7 + 9) >> 1}, {56, 55}, {57, 57}}, true},
        {{0, 7}, false, 16, {{0, 1}, {7, 6}, {63, 62}}, false},
        // Only datagram 3 arrived: its pieces spill one step either way, the rest is silence.
        {{0, 1, 2, 4, 5, 6, 7}, false, 56, {{3, 3}, {4, 3}, {2, 3}, {5, 128}}, false},
        {{}, false, 0, {{0, 0}, {63, 63}}, true},
    };
    for (const HoleCase& c : cases) {
        std::vector<uint8_t> block(kBlockSamples);
        for (int i = 0; i < kBlockSamples; ++i)
            block[size_t(i)] = uint8_t(i / kSubBlockSamples);
        std::array<uint32_t, 8> received;
        received.fill(1);
        for (int m : c.missing)
            received[size_t(m)] = 0;
        ConcealmentMemory memory;
        memory.samples.fill(200);
        memory.valid = c.memory;
        EXPECT_EQ(ConcealBlock(std::span<uint8_t, kBlockSamples>(block.data(), kBlockSamples), received, memory),
                  c.lost);
        for (auto [k, value] : c.subBlocks)
            EXPECT_EQ(block[size_t(k * kSubBlockSamples + 17)], value) << "lost " << c.lost << " sub-block " << k;
        EXPECT_EQ(memory.valid, c.memoryAfter);
        EXPECT_EQ(memory.samples[0], c.memoryAfter ? 63 : 200); // the last sub-block, kept for the next block
    }
}

TEST(Concealment, NoiseGrowsWithTheLossStaysInRangeAndIsLimitedNotWrapped)
{
    for (auto [lost, amplitude] : {std::pair{0, 0}, {8, 4}, {9, 8}, {16, 8}, {17, 16}, {24, 16}, {25, 32}, {56, 32}})
        EXPECT_EQ(NoiseAmplitude(lost), amplitude) << lost;
    std::vector<uint8_t> block(kBlockSamples, 128);
    block[0] = 0;
    block[1] = 255;
    std::srand(1);
    AddNoise(std::span<uint8_t, kBlockSamples>(block.data(), kBlockSamples), 32, std::rand);
    auto [lo, hi] = std::minmax_element(block.begin() + 2, block.end());
    EXPECT_EQ(*lo, 128 - 16);
    EXPECT_EQ(*hi, 128 + 15);
    EXPECT_LE(block[0], 15);
    EXPECT_GE(block[1], 255 - 16);
}

} // namespace
} // namespace lumetra::radio
