#include "mpeg/layer3/hybrid_filter.h"
#include "mpeg/layer3/imdct.h"
#include "mpeg/layer3/requantizer.h"
#include "mpeg/layer3/stereo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace lumetra::mpeg {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The inverse MDCT as the standards write it: n outputs from n / 2 inputs.
std::vector<double> DirectImdct(const float* in, int n)
{
    std::vector<double> out(n);
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        for (int k = 0; k < n / 2; ++k)
            sum += in[k] * std::cos(kPi / (2 * n) * (2 * i + 1 + n / 2) * (2 * k + 1));
        out[i] = sum;
    }
    return out;
}

class ImdctSize : public testing::TestWithParam<int> {};

TEST_P(ImdctSize, EqualsTheDefiningSum)
{
    const int n = GetParam();
    std::mt19937 rng(n);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int round = 0; round < 50; ++round) {
        float in[18], out[36];
        for (int k = 0; k < n / 2; ++k)
            in[k] = round == 0 ? (k == 0 ? 1.0f : 0.0f) : value(rng);
        if (n == 36)
            Imdct36(in, out);
        else
            Imdct12(in, out);
        const auto ref = DirectImdct(in, n);
        for (int i = 0; i < n; ++i)
            ASSERT_NEAR(out[i], ref[i], 2e-5) << "output " << i << " round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, ImdctSize, testing::Values(12, 36));

double LongWindow(int type, int i)
{
    auto sine36 = [](int j) { return std::sin(kPi / 36 * (j + 0.5)); };
    auto sine12 = [](int j) { return std::sin(kPi / 12 * (j + 0.5)); };
    switch (type) {
    case 1:
        return i < 18 ? sine36(i) : i < 24 ? 1 : i < 30 ? sine12(i - 18) : 0;
    case 3:
        return i < 6 ? 0 : i < 12 ? sine12(i - 6) : i < 18 ? 1 : sine36(i);
    default:
        return sine36(i);
    }
}

// 44.1 kHz short bands, and the alias reduction coefficients c[i].
constexpr int16_t kShortBands[14] = {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192};
constexpr double kAliasC[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

// The alias reduction butterflies between subbands 0 .. subbands - 1.
void AliasReduce(double* x, int subbands)
{
    for (int sb = 1; sb < subbands; ++sb)
        for (int i = 0; i < 8; ++i) {
            const double cs = 1 / std::sqrt(1 + kAliasC[i] * kAliasC[i]), ca = kAliasC[i] * cs;
            const double bu = x[18 * sb - 1 - i], bd = x[18 * sb + i];
            x[18 * sb - 1 - i] = bu * cs - bd * ca;
            x[18 * sb + i] = bd * cs + bu * ca;
        }
}

// Random lines for the short bands from `first` on, in xr's order (band by
// band, window by window) and per window in `line`.
void FillShortBands(int first, std::mt19937& rng, float xr[576], float line[3][192])
{
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int band = first; band < 13; ++band) {
        const int width = kShortBands[band + 1] - kShortBands[band];
        for (int w = 0; w < 3; ++w)
            for (int f = 0; f < width; ++f)
                xr[3 * kShortBands[band] + w * width + f] = line[w][kShortBands[band] + f] = value(rng);
    }
}

// The 36 windowed outputs of short subband s: three overlapped 12-point transforms.
void ShortOutputs(float line[3][192], int s, double result[36])
{
    std::fill(result, result + 36, 0.0);
    for (int w = 0; w < 3; ++w) {
        const auto y = DirectImdct(&line[w][6 * s], 12);
        for (int i = 0; i < 12; ++i)
            result[6 + 6 * w + i] += y[i] * std::sin(kPi / 12 * (i + 0.5));
    }
}

// Odd subbands have their odd time slots negated (frequency inversion).
double Inverted(int s, int i, double v)
{
    return (s & 1) && (i & 1) ? -v : v;
}

// A reference hybrid filter for a sequence of long-block granules of each type.
TEST(HybridFilter, LongBlocksMatchTheStandardSteps)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    HybridFilter filter;
    std::vector<double> overlap(576, 0.0);
    for (int type : {0, 1, 3, 0}) {
        GranuleChannelInfo g{};
        g.blockType = type;
        g.windowSwitching = type != 0;
        float xr[576];
        double ref[576];
        for (int i = 0; i < 576; ++i)
            ref[i] = xr[i] = i < 300 ? value(rng) : 0.0f;
        AliasReduce(ref, 32);
        float out[18][32];
        filter.Run(xr, 300, g, nullptr, 0, out);
        for (int sb = 0; sb < 32; ++sb) {
            float in[18];
            for (int k = 0; k < 18; ++k)
                in[k] = static_cast<float>(ref[18 * sb + k]);
            auto y = DirectImdct(in, 36);
            for (int i = 0; i < 18; ++i) {
                const double expect = Inverted(sb, i, y[i] * LongWindow(type, i) + overlap[18 * sb + i]);
                ASSERT_NEAR(out[i][sb], expect, 5e-5) << "type " << type << " subband " << sb << " slot " << i;
                overlap[18 * sb + i] = y[18 + i] * LongWindow(type, 18 + i);
            }
        }
    }
}

// Short blocks, then a silent granule that gives out the overlap; mixed
// blocks: subbands 0 and 1 long (normal window, alias reduction between them
// only), the rest short from short band 3 on.
TEST(HybridFilter, ShortAndMixedBlocks)
{
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (int mixed = 0; mixed < 2; ++mixed) {
        GranuleChannelInfo g{};
        g.windowSwitching = 1;
        g.blockType = 2;
        g.mixedBlock = mixed;
        float xr[576];
        double longPart[36] = {};
        float line[3][192] = {};
        for (int i = 0; i < 36 * mixed; ++i)
            longPart[i] = xr[i] = value(rng);
        AliasReduce(longPart, 2 * mixed);
        FillShortBands(3 * mixed, rng, xr, line);
        HybridFilter filter;
        float out[18][32], second[18][32];
        filter.Run(xr, 576, g, kShortBands, !mixed, out);
        float zeros[576] = {};
        filter.Run(zeros, 0, g, kShortBands, !mixed, second);
        for (int s = 0; s < 32; ++s) {
            double result[36];
            ShortOutputs(line, s, result);
            if (s < 2 * mixed) {
                float in[18];
                for (int k = 0; k < 18; ++k)
                    in[k] = static_cast<float>(longPart[18 * s + k]);
                const auto y = DirectImdct(in, 36);
                for (int i = 0; i < 36; ++i)
                    result[i] = y[i] * LongWindow(0, i);
            }
            for (int i = 0; i < 18; ++i) {
                ASSERT_NEAR(out[i][s], Inverted(s, i, result[i]), 5e-5) << "mixed " << mixed << " sb " << s << " " << i;
                if (!mixed) {
                    ASSERT_NEAR(second[i][s], Inverted(s, i, result[18 + i]), 5e-5) << "subband " << s << " " << i;
                }
            }
        }
    }
}

TEST(Requantizer, TablesFollowTheirDefinitions)
{
    for (int i = 0; i < kGainEntries; ++i)
        ASSERT_FLOAT_EQ(GainTable()[i], static_cast<float>(std::pow(2.0, (i - 338) / 4.0)));
    for (int n = 0; n < kPowerEntries; ++n)
        ASSERT_FLOAT_EQ(PowerTable()[n], static_cast<float>(std::pow(n, 4.0 / 3.0)));
}

struct Block {
    int blockType;
    int mixed;
    int id;
};

class RequantizerBlocks : public testing::TestWithParam<Block> {};

// Against 2^((global_gain - 210) / 4) * 2^(-(1 + scalefac_scale) / 2 * factor) * |q|^(4/3).
TEST_P(RequantizerBlocks, EqualsTheStandardFormula)
{
    const Block b = GetParam();
    const BandLayout bands = BandLayoutFor(b.id, 1);
    std::mt19937 rng(b.blockType * 2 + b.mixed);
    GranuleChannelInfo g{};
    g.globalGain = 170;
    g.scalefacScale = 1;
    g.preflag = 1;
    g.windowSwitching = b.blockType != 0;
    g.blockType = b.blockType;
    g.mixedBlock = b.mixed;
    g.subblockGain[0] = 0;
    g.subblockGain[1] = 3;
    g.subblockGain[2] = 7;
    ScaleFactors sf{};
    for (int i = 0; i < 22; ++i)
        sf.l[i] = i % 16;
    for (int w = 0; w < 3; ++w)
        for (int i = 0; i < 12; ++i)
            sf.s[w][i] = (i + w) % 16;
    int32_t q[576];
    std::uniform_int_distribution<int> value(-8206, 8206);
    for (int i = 0; i < 576; ++i)
        q[i] = i % 7 == 0 ? value(rng) : (i % 5) - 2;
    float xr[576];
    Requantize(q, 500, g, sf, bands, xr);

    static const int pretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
    for (int i = 0; i < 576; ++i) {
        double factor;
        double extra = 0;
        const bool longLine = b.blockType != 2 || (b.mixed && i < 36);
        if (longLine) {
            int sfb = 0;
            while (bands.longBands[sfb + 1] <= i)
                ++sfb;
            factor = sf.l[sfb] + pretab[sfb];
        } else {
            int sfb = 0;
            while (3 * bands.shortBands[sfb + 1] <= i)
                ++sfb;
            const int width = bands.shortBands[sfb + 1] - bands.shortBands[sfb];
            const int w = (i - 3 * bands.shortBands[sfb]) / width;
            factor = sfb < 12 ? sf.s[w][sfb] : 0;
            extra = -2.0 * g.subblockGain[w];
        }
        const double expect = i >= 500 ? 0.0
                                       : (q[i] < 0 ? -1 : 1) * std::pow(2.0, (g.globalGain - 210) / 4.0 + extra) *
                                             std::pow(2.0, -(1 + g.scalefacScale) / 2.0 * factor) *
                                             std::pow(std::abs(q[i]), 4.0 / 3.0);
        ASSERT_NEAR(xr[i], expect, std::abs(expect) * 1e-6 + 1e-30) << "line " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, RequantizerBlocks,
                         testing::Values(Block{0, 0, 1}, Block{2, 0, 1}, Block{2, 1, 1}, Block{2, 1, 0},
                                         Block{3, 0, 0}));

TEST(Stereo, MiddleSideAndMpeg1IntensityFollowTheirFormulas)
{
    const BandLayout bands = BandLayoutFor(1, 0);
    float xr[2][576] = {};
    for (int i = 0; i < 576; ++i)
        xr[0][i] = static_cast<float>(i % 13) - 6.0f;
    for (int i = 0; i < 100; ++i)
        xr[1][i] = static_cast<float>(i % 5) - 2.5f; // non-zero up to line 99 (band 13: 90..109)
    float before[2][576];
    std::memcpy(before, xr, sizeof xr);
    GranuleChannelInfo right{};
    ScaleFactors sf{};
    for (int i = 0; i < 23; ++i) {
        sf.l[i] = i % 8; // 7 is not an intensity position
        sf.lLimit[i] = 7;
    }
    int count[2] = {576, 100};
    ProcessStereo(xr, count, true, true, false, right, sf, bands);
    for (int i = 0; i < 576; ++i) {
        int sfb = 0;
        while (bands.longBands[sfb + 1] <= i)
            ++sfb;
        const int pos = sf.l[sfb == 21 ? 20 : sfb];
        double l, r;
        if (sfb < 14 || pos == 7) {
            l = (before[0][i] + before[1][i]) / std::sqrt(2.0);
            r = (before[0][i] - before[1][i]) / std::sqrt(2.0);
        } else {
            const double ratio = std::tan(pos * kPi / 12);
            l = pos == 6 ? before[0][i] : before[0][i] * ratio / (1 + ratio);
            r = pos == 6 ? 0.0 : before[0][i] / (1 + ratio);
        }
        ASSERT_NEAR(xr[0][i], l, 1e-5) << "line " << i;
        ASSERT_NEAR(xr[1][i], r, 1e-5) << "line " << i;
    }
}

TEST(Stereo, LsfIntensityUsesPowersOfItsScale)
{
    const BandLayout bands = BandLayoutFor(0, 0);
    float xr[2][576] = {};
    for (int i = 0; i < 576; ++i)
        xr[0][i] = 1.0f;
    GranuleChannelInfo right{};
    ScaleFactors sf{};
    sf.intensityScale = 1;
    for (int i = 0; i < 23; ++i) {
        sf.l[i] = i;
        sf.lLimit[i] = 15;
    }
    int count[2] = {576, 0};
    ProcessStereo(xr, count, false, true, true, right, sf, bands);
    for (int sfb = 0; sfb < 22; ++sfb) {
        const int pos = sf.l[sfb == 21 ? 20 : sfb];
        const int i = bands.longBands[sfb];
        double l = 1, r = 1;
        if (pos == 15) {
            r = 0; // not intensity coded: the right channel keeps its zeros
        } else if (pos & 1) {
            l = std::pow(std::sqrt(0.5), (pos + 1) / 2);
        } else {
            r = std::pow(std::sqrt(0.5), pos / 2);
        }
        EXPECT_NEAR(xr[0][i], l, 1e-6) << "band " << sfb;
        EXPECT_NEAR(xr[1][i], r, 1e-6) << "band " << sfb;
    }
}

} // namespace
} // namespace lumetra::mpeg
