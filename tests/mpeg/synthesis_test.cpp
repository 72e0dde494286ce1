#include "mpeg/synthesis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace lumetra::mpeg {
namespace {

struct PcmCase {
    double sum;
    int16_t sample;
    int clips;
};

class Pcm16 : public ::testing::TestWithParam<PcmCase> {};

TEST_P(Pcm16, TruncatesTowardZeroAndCountsClips)
{
    int clips = 0;
    EXPECT_EQ(ToPcm16(GetParam().sum, clips), GetParam().sample);
    EXPECT_EQ(clips, GetParam().clips);
}

constexpr double kLsb = 1.0 / 32768.0;
INSTANTIATE_TEST_SUITE_P(Cases, Pcm16,
                         ::testing::Values(PcmCase{1.0, 32767, 1}, PcmCase{-1.0, -32768, 0},
                                           PcmCase{0.99999 * kLsb, 0, 0}, PcmCase{-0.99999 * kLsb, 0, 0},
                                           PcmCase{1.5 * kLsb, 1, 0}, PcmCase{-1.5 * kLsb, -1, 0},
                                           PcmCase{32766.9 * kLsb, 32766, 0}, PcmCase{3.0, 32767, 1},
                                           PcmCase{-1.0 - kLsb, -32768, 1}, PcmCase{NAN, 0, 0}));

// Batches of every length a layer uses, in both vector widths, equal the
// one-slot path bit for bit, clip counts included.
TEST(Synthesis, BatchesAndWidthsAgree)
{
    Synthesis single(false), narrow(false), wide(true);
    std::mt19937 rng(9);
    std::normal_distribution<float> noise(0.0f, 0.08f);
    for (int count = 1; count <= 18; ++count) {
        float in[18][32];
        for (auto& row : in)
            for (float& x : row)
                x = noise(rng);
        int16_t one[18][32], batch[2][18][32];
        int clips = 0;
        for (int t = 0; t < count; ++t)
            clips += single.Synthesize(in[t], count & 1, one[t]);
        EXPECT_EQ(narrow.SynthesizeSlots(in, count, count & 1, batch[0]), clips);
        EXPECT_EQ(wide.SynthesizeSlots(in, count, count & 1, batch[1]), clips);
        for (const auto& b : batch)
            ASSERT_EQ(std::memcmp(one, b, sizeof(int16_t) * 32 * count), 0) << count;
    }
}

TEST(Synthesis, LoudInputClipsAndIsCounted)
{
    Synthesis synthesis;
    float s[32] = {};
    s[0] = 40.0f;
    int clips = 0;
    int16_t out[32];
    for (int slot = 0; slot < 16; ++slot)
        clips += synthesis.Synthesize(s, 0, out);
    EXPECT_GT(clips, 0);
}

} // namespace
} // namespace lumetra::mpeg
