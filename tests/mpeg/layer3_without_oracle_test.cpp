// Layer III paths no encoder at hand writes (lame writes neither mixed blocks
// nor intensity stereo), so the mpg123 comparisons never reach them.
#include "bit_writer.h"
#include "mpeg/layer3/hybrid_filter.h"
#include "mpeg/layer3/requantizer.h"
#include "mpeg/layer3/scale_factors.h"
#include "mpeg/layer3/stereo.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace lumetra::mpeg {
namespace {

// The right channel has values in band 0 only: the bands above take both
// channels from the left one, as their intensity position says.
TEST(Stereo, IntensityPositionsSetTheChannelRatios)
{
    for (const bool lsf : {false, true}) {
        SCOPED_TRACE(lsf ? "MPEG-2" : "MPEG-1");
        const BandLayout bands = BandLayoutFor(lsf ? 0 : 1, 0);
        float xr[2][576] = {};
        for (float& v : xr[0])
            v = 1.0f;
        xr[1][0] = 0.5f;
        GranuleChannelInfo right{};
        right.windowSwitching = right.blockType = 1; // a start block: long bands
        ScaleFactors sf{};
        sf.intensityScale = 1;
        const int illegal = lsf ? 15 : 7; // not intensity coded
        for (int i = 0; i < 23; ++i) {
            sf.l[i] = i % (illegal + 1);
            sf.lLimit[i] = illegal;
        }
        int count[2] = {576, 4};
        ProcessStereo(xr, count, false, true, lsf, right, sf, bands);
        EXPECT_EQ(xr[0][0], 1.0f);
        EXPECT_EQ(xr[1][0], 0.5f);
        for (int sfb = 1; sfb < 22; ++sfb) {
            const int pos = sf.l[sfb == 21 ? 20 : sfb]; // the last band uses its neighbour's
            double l = 1, r = 0;
            if (pos != illegal && !lsf) {
                const double ratio = std::tan(pos * std::numbers::pi / 12);
                l = pos == 6 ? 1 : ratio / (1 + ratio);
                r = pos == 6 ? 0 : 1 / (1 + ratio);
            } else if (pos != illegal) {
                l = pos & 1 ? std::pow(std::sqrt(0.5), (pos + 1) / 2) : 1;
                r = pos & 1 ? 1 : std::pow(std::sqrt(0.5), pos / 2);
            }
            for (int i = bands.longBands[sfb]; i < bands.longBands[sfb + 1]; ++i) {
                ASSERT_NEAR(xr[0][i], l, 1e-6) << "band " << sfb << " line " << i;
                ASSERT_NEAR(xr[1][i], r, 1e-6) << "band " << sfb << " line " << i;
            }
        }
    }
}

// The two long subbands of a mixed block are filtered as a long block's (normal
// window, alias reduction between them only, frequency inversion): with values
// in lines 0..27 only, both give the same output.
TEST(HybridFilter, MixedBlockLongSubbandsEqualALongBlock)
{
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    float longLines[576] = {}, mixedLines[576];
    for (int i = 0; i < 28; ++i)
        longLines[i] = value(rng);
    std::memcpy(mixedLines, longLines, sizeof longLines);
    GranuleChannelInfo longBlock{}, mixed{};
    mixed.windowSwitching = mixed.mixedBlock = 1;
    mixed.blockType = 2;
    const int16_t* shortBands = BandLayoutFor(1, 0).shortBands;
    HybridFilter a, b;
    float longOut[18][32], mixedOut[18][32];
    a.Run(longLines, 28, longBlock, shortBands, 0, longOut);
    b.Run(mixedLines, 28, mixed, shortBands, 0, mixedOut);
    for (int i = 0; i < 18; ++i)
        for (int sb = 0; sb < 32; ++sb)
            ASSERT_NEAR(mixedOut[i][sb], longOut[i][sb], 1e-6) << "slot " << i << " subband " << sb;
}

BitReservoir Loaded(const test::BitWriter& w)
{
    BitReservoir r;
    for (uint8_t b : w.Bytes())
        r.AppendByte(b);
    return r;
}

// MPEG-2, right channel of intensity stereo: scalefac_compress / 2 picks one of
// three splits and its slen; each factor is read with its group's slen, and the
// group's largest value is its illegal (not intensity coded) position.
TEST(ScaleFactorsLsf, IntensityRightChannelSplitsEveryCompressionValue)
{
    constexpr int kLongCounts[3][4] = {{7, 7, 7, 0}, {6, 6, 6, 3}, {8, 8, 5, 0}};
    for (int sfc = 0; sfc < 512; ++sfc) {
        SCOPED_TRACE(sfc);
        const int c = sfc >> 1, table = c < 180 ? 0 : c < 244 ? 1 : 2;
        const int x = c - (table == 0 ? 0 : table == 1 ? 180 : 244);
        const std::array<int, 4> slen = table == 0   ? std::array{x / 36, x % 36 / 6, x % 6, 0}
                                        : table == 1 ? std::array{x >> 4 & 3, x >> 2 & 3, x & 3, 0}
                                                     : std::array{x / 3, x % 3, 0, 0};
        test::BitWriter w;
        std::vector<int> values;
        for (int k = 0; k < 4; ++k)
            for (int n = 0; n < kLongCounts[table][k]; ++n) {
                values.push_back(slen[k] ? (static_cast<int>(values.size()) * 7 + 3) % (1 << slen[k]) : 0);
                w.Put(static_cast<uint32_t>(values.back()), slen[k]);
            }
        BitReservoir r = Loaded(w);
        GranuleChannelInfo g{};
        g.scalefacCompress = sfc;
        ScaleFactors sf{};
        ReadScaleFactorsLsf(r, g, true, sf);
        ASSERT_EQ(r.Position(), w.BitCount());
        ASSERT_EQ(g.preflag, 0);
        ASSERT_EQ(sf.intensityScale, sfc & 1);
        int sfb = 0;
        for (int k = 0; k < 4; ++k)
            for (int n = 0; n < kLongCounts[table][k]; ++n, ++sfb) {
                ASSERT_EQ(sf.l[sfb], values[sfb]) << "band " << sfb;
                ASSERT_EQ(sf.lLimit[sfb], (1 << slen[k]) - 1) << "band " << sfb;
            }
        ASSERT_EQ(sfb, 21);
    }
}

// MPEG-2 scale factors of a mixed block: six long bands, then short bands 3..11
// window by window; table 0 with slen 1, 2, 3, 1.
TEST(ScaleFactorsLsf, MixedBlockFillsLongBandsThenShortWindows)
{
    const int slen[4] = {1, 2, 3, 1}, counts[4] = {6, 9, 9, 9};
    test::BitWriter w;
    std::vector<int> values;
    for (int k = 0; k < 4; ++k)
        for (int n = 0; n < counts[k]; ++n) {
            values.push_back((static_cast<int>(values.size()) + 1) % (1 << slen[k]));
            w.Put(static_cast<uint32_t>(values.back()), slen[k]);
        }
    BitReservoir r = Loaded(w);
    GranuleChannelInfo g{};
    g.scalefacCompress = (1 * 5 + 2) * 16 + 3 * 4 + 1;
    g.windowSwitching = g.mixedBlock = 1;
    g.blockType = 2;
    ScaleFactors sf{};
    ReadScaleFactorsLsf(r, g, false, sf);
    EXPECT_EQ(r.Position(), w.BitCount());
    std::size_t i = 0;
    for (int sfb = 0; sfb < 6; ++sfb)
        EXPECT_EQ(sf.l[sfb], values[i++]) << "long band " << sfb;
    for (int sfb = 3; sfb < 12; ++sfb)
        for (int win = 0; win < 3; ++win)
            EXPECT_EQ(sf.s[win][sfb], values[i++]) << "band " << sfb << " window " << win;
}

} // namespace
} // namespace lumetra::mpeg
