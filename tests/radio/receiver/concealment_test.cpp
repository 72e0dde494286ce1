#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "radio/receiver/concealment.h"

namespace lumetra::radio {
namespace {

// Sub-block k holds the value k everywhere, so each fill shows where it came from.
std::vector<uint8_t> NumberedBlock()
{
    std::vector<uint8_t> b(kBlockSamples);
    for (int i = 0; i < kBlockSamples; ++i)
        b[size_t(i)] = uint8_t(i / kSubBlockSamples);
    return b;
}

std::array<uint32_t, 8> AllBut(std::initializer_list<int> missing)
{
    std::array<uint32_t, 8> f;
    f.fill(1);
    for (int m : missing)
        f[size_t(m)] = 0;
    return f;
}

uint8_t At(const std::vector<uint8_t>& b, int subBlock)
{
    return b[size_t(subBlock * kSubBlockSamples + 17)];
}

TEST(Concealment, FirstDatagramMissingBorrowsFromNeighboursAndMemory)
{
    auto block = NumberedBlock();
    ConcealmentMemory memory;
    memory.samples.fill(200);
    memory.valid = true;
    int lost = ConcealBlock(std::span<uint8_t, kBlockSamples>(block.data(), kBlockSamples), AllBut({0}), memory);
    EXPECT_EQ(lost, 8);
    EXPECT_EQ(At(block, 0), (1 + 200) >> 1);
    EXPECT_EQ(At(block, 8), (7 + 9) >> 1);
    EXPECT_EQ(At(block, 56), 55); // the last eight never look ahead
    EXPECT_EQ(At(block, 57), 57);
    EXPECT_TRUE(memory.valid);
    EXPECT_EQ(memory.samples[0], 63);
}

TEST(Concealment, WithoutMemoryFirstHoleCopiesNextOnly)
{
    auto block = NumberedBlock();
    ConcealmentMemory memory;
    ConcealBlock(std::span<uint8_t, kBlockSamples>(block.data(), kBlockSamples), AllBut({0, 7}), memory);
    EXPECT_EQ(At(block, 0), 1);
    EXPECT_EQ(At(block, 7), 6); // previous only: 8 is missing too
    EXPECT_EQ(At(block, 63), 62);
    EXPECT_FALSE(memory.valid);
}

TEST(Concealment, AllButOneMissingCostsFiftySix)
{
    auto block = NumberedBlock();
    ConcealmentMemory memory;
    int lost = ConcealBlock(std::span<uint8_t, kBlockSamples>(block.data(), kBlockSamples),
                            AllBut({0, 1, 2, 4, 5, 6, 7}), memory);
    EXPECT_EQ(lost, 56);
    EXPECT_EQ(At(block, 3), 3);
    EXPECT_EQ(At(block, 4), 3);   // from the previous piece
    EXPECT_EQ(At(block, 2), 3);   // from the next piece
    EXPECT_EQ(At(block, 5), 128); // neither neighbour arrived
}

TEST(Concealment, WholeBlockIsUntouchedAndNoiseGrowsWithTheLoss)
{
    auto block = NumberedBlock();
    auto copy = block;
    ConcealmentMemory memory;
    EXPECT_EQ(ConcealBlock(std::span<uint8_t, kBlockSamples>(block.data(), kBlockSamples), AllBut({}), memory), 0);
    EXPECT_EQ(block, copy);
    for (auto [lost, amplitude] : {std::pair{0, 0}, {8, 4}, {9, 8}, {16, 8}, {17, 16}, {24, 16}, {25, 32}, {56, 32}})
        EXPECT_EQ(NoiseAmplitude(lost), amplitude) << lost;
}

TEST(Concealment, NoiseStaysInRangeAndIsLimitedNotWrapped)
{
    std::vector<uint8_t> block(kBlockSamples, 128);
    block[0] = 0;
    block[1] = 255;
    std::srand(1);
    AddNoise(std::span<uint8_t, kBlockSamples>(block.data(), kBlockSamples), 32, std::rand);
    int lo = 255, hi = 0;
    for (size_t i = 2; i < block.size(); ++i) {
        lo = std::min<int>(lo, block[i]);
        hi = std::max<int>(hi, block[i]);
    }
    EXPECT_EQ(lo, 128 - 16);
    EXPECT_EQ(hi, 128 + 15);
    EXPECT_LE(block[0], 15);
    EXPECT_GE(block[1], 255 - 16);
}

} // namespace
} // namespace lumetra::radio
