#include "mpeg/synthesis.h"
#include "mpeg/synthesis_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
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

TEST(SynthesisWindow, HoldsTheStandardCoefficients)
{
    float d[512];
    ReadSynthesisWindow(d);
    EXPECT_FLOAT_EQ(d[0], 0.0f);
    EXPECT_FLOAT_EQ(d[1], -0.000015259f);
    EXPECT_FLOAT_EQ(d[32], -0.000442505f);
    EXPECT_FLOAT_EQ(d[256], 1.144989014f);
    EXPECT_FLOAT_EQ(d[511], 0.000015259f);
    // The window is odd-symmetric about 256 except at the multiples of 64.
    for (int i = 1; i < 256; ++i)
        EXPECT_FLOAT_EQ(d[512 - i], i % 64 ? -d[i] : d[i]) << i;
}

// The filter bank as the standard writes it: a shifting V of 1024 values,
// 64 x 32 matrixing, U built from V, 512 windowed products.
class ReferenceSynthesis {
public:
    ReferenceSynthesis() { ReadSynthesisWindow(m_d); }
    void Run(const float s[32], double out[32])
    {
        for (int i = 1023; i >= 64; --i)
            m_v[i] = m_v[i - 64];
        for (int i = 0; i < 64; ++i) {
            double sum = 0;
            for (int k = 0; k < 32; ++k)
                sum += std::cos((16 + i) * (2 * k + 1) * std::numbers::pi / 64) * s[k];
            m_v[i] = sum;
        }
        double u[512];
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 32; ++j) {
                u[i * 64 + j] = m_v[i * 128 + j];
                u[i * 64 + 32 + j] = m_v[i * 128 + 96 + j];
            }
        for (int j = 0; j < 32; ++j) {
            out[j] = 0;
            for (int i = 0; i < 16; ++i)
                out[j] += u[j + 32 * i] * m_d[j + 32 * i];
        }
    }

private:
    float m_d[512];
    double m_v[1024] = {};
};

TEST(Synthesis, MatchesTheDirectFilterBank)
{
    Synthesis fast;
    ReferenceSynthesis reference[2];
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    long equal = 0, total = 0;
    for (int slot = 0; slot < 300; ++slot) {
        for (int ch = 0; ch < 2; ++ch) {
            float s[32];
            for (float& x : s)
                x = noise(rng) * (ch ? 0.5f : 1.0f);
            int16_t out[32];
            double expect[32];
            EXPECT_EQ(fast.Synthesize(s, ch, out), 0);
            reference[ch].Run(s, expect);
            for (int j = 0; j < 32; ++j) {
                int clips = 0;
                const int want = ToPcm16(expect[j], clips);
                ASSERT_LE(std::abs(out[j] - want), 1) << "slot " << slot << " ch " << ch << " j " << j;
                equal += out[j] == want;
                ++total;
            }
        }
    }
    EXPECT_GE(static_cast<double>(equal) / total, 0.995);
}

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
