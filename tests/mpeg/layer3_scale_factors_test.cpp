#include "layer3_reference_codes.h"
#include "mpeg/layer3/scale_factors.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumetra::mpeg {
namespace {

using test::BitWriter;

BitReservoir Load(const BitWriter& w)
{
    BitReservoir r;
    for (uint8_t b : w.Bytes())
        r.AppendByte(b);
    r.AppendByte(0);
    return r;
}

// slen1..slen4 and preflag of MPEG-2 LSF scalefac_compress as ISO/IEC 13818-3
// writes the split (normal channel, and right channel of intensity stereo).
struct Split {
    int slen[4];
    int preflag;
    int table;
};

Split ExpectedSplit(int sfc, bool intensityRight)
{
    if (!intensityRight) {
        if (sfc < 400)
            return {{(sfc >> 4) / 5, (sfc >> 4) % 5, (sfc % 16) >> 2, sfc % 4}, 0, 0};
        if (sfc < 500) {
            const int x = sfc - 400;
            return {{(x >> 2) / 5, (x >> 2) % 5, x % 4, 0}, 0, 1};
        }
        const int x = sfc - 500;
        return {{x / 3, x % 3, 0, 0}, 1, 2};
    }
    const int c = sfc >> 1;
    if (c < 180)
        return {{c / 36, (c % 36) / 6, (c % 36) % 6, 0}, 0, 3};
    if (c < 244) {
        const int x = c - 180;
        return {{(x % 64) >> 4, (x % 16) >> 2, x % 4, 0}, 0, 4};
    }
    const int x = c - 244;
    return {{x / 3, x % 3, 0, 0}, 0, 5};
}

// Long-block scale factor counts per slen group of each table.
constexpr int kLongCounts[6][4] = {{6, 5, 5, 5}, {6, 5, 7, 3}, {11, 10, 0, 0},
                                   {7, 7, 7, 0}, {6, 6, 6, 3}, {8, 8, 5, 0}};

// Every 9-bit compression value, long blocks: the factors are read with the
// slen of their group and the intensity limits follow the slen.
TEST(ScaleFactorsLsf, EveryCompressionValueSplitsAsTheStandardSays)
{
    for (int right = 0; right < 2; ++right) {
        for (int sfc = 0; sfc < 512; ++sfc) {
            const Split e = ExpectedSplit(sfc, right);
            BitWriter w;
            std::vector<int> expected;
            int value = 0;
            for (int k = 0; k < 4; ++k)
                for (int n = 0; n < kLongCounts[e.table][k]; ++n, ++value) {
                    const int v = e.slen[k] ? (value * 7 + 3) % (1 << e.slen[k]) : 0;
                    w.Put(static_cast<uint32_t>(v), e.slen[k]);
                    expected.push_back(v);
                }
            BitReservoir r = Load(w);
            GranuleChannelInfo g{};
            g.scalefacCompress = sfc;
            ScaleFactors sf{};
            ReadScaleFactorsLsf(r, g, right, sf);
            SCOPED_TRACE(testing::Message() << "scalefac_compress " << sfc << " right " << right);
            ASSERT_EQ(r.Position(), w.BitCount());
            ASSERT_EQ(g.preflag, e.preflag);
            ASSERT_EQ(sf.intensityScale, right ? sfc & 1 : 0);
            int sfb = 0;
            for (int k = 0; k < 4; ++k)
                for (int n = 0; n < kLongCounts[e.table][k]; ++n, ++sfb) {
                    ASSERT_EQ(sf.l[sfb], expected[sfb]) << "band " << sfb;
                    ASSERT_EQ(sf.lLimit[sfb], (1 << e.slen[k]) - 1) << "band " << sfb;
                }
            ASSERT_EQ(sfb, 21);
        }
    }
}

TEST(ScaleFactorsLsf, ShortAndMixedBlocksFillWindowsInTurn)
{
    // Table 0 with slen 1, 2, 3, 1 (scalefac_compress = (1 * 5 + 2) * 16 + 3 * 4 + 1).
    const int sfc = (1 * 5 + 2) * 16 + 3 * 4 + 1;
    const int slen[4] = {1, 2, 3, 1};
    for (int mixed = 0; mixed < 2; ++mixed) {
        const int counts[4] = {mixed ? 6 : 9, 9, 9, 9};
        BitWriter w;
        std::vector<int> values;
        for (int k = 0; k < 4; ++k)
            for (int n = 0; n < counts[k]; ++n) {
                const int v = (static_cast<int>(values.size()) + 1) % (1 << slen[k]);
                w.Put(static_cast<uint32_t>(v), slen[k]);
                values.push_back(v);
            }
        BitReservoir r = Load(w);
        GranuleChannelInfo g{};
        g.scalefacCompress = sfc;
        g.windowSwitching = 1;
        g.blockType = 2;
        g.mixedBlock = mixed;
        ScaleFactors sf{};
        ReadScaleFactorsLsf(r, g, false, sf);
        EXPECT_EQ(r.Position(), w.BitCount());
        size_t i = 0;
        if (mixed) {
            for (int sfb = 0; sfb < 6; ++sfb)
                EXPECT_EQ(sf.l[sfb], values[i++]) << "long band " << sfb;
        }
        for (int sfb = mixed ? 3 : 0; sfb < 12; ++sfb)
            for (int win = 0; win < 3; ++win)
                EXPECT_EQ(sf.s[win][sfb], values[i++]) << "band " << sfb << " window " << win;
        EXPECT_EQ(i, values.size());
    }
}

// MPEG-1: slen1 for bands 0..10, slen2 for 11..20; in granule 1 a set scfsi
// group keeps granule 0's factors and reads nothing.
TEST(ScaleFactorsMpeg1, ScfsiGroupsAreReusedInTheSecondGranule)
{
    const int sfc = 13; // slen1 3, slen2 3
    BitWriter w0;
    for (int sfb = 0; sfb < 21; ++sfb)
        w0.Put(static_cast<uint32_t>(sfb % 8), 3);
    BitReservoir r0 = Load(w0);
    GranuleChannelInfo g{};
    g.scalefacCompress = sfc;
    ScaleFactors sf{};
    const int scfsi[4] = {0, 1, 0, 1};
    ReadScaleFactorsMpeg1(r0, g, scfsi, 0, sf);
    EXPECT_EQ(r0.Position(), 63);

    BitWriter w1; // groups 0 (bands 0..5) and 2 (11..15) only
    for (int sfb = 0; sfb < 6; ++sfb)
        w1.Put(7, 3);
    for (int sfb = 11; sfb < 16; ++sfb)
        w1.Put(1, 3);
    BitReservoir r1 = Load(w1);
    ReadScaleFactorsMpeg1(r1, g, scfsi, 1, sf);
    EXPECT_EQ(r1.Position(), 33);
    for (int sfb = 0; sfb < 21; ++sfb) {
        const int expect = sfb < 6 ? 7 : (sfb >= 11 && sfb < 16) ? 1 : sfb % 8;
        EXPECT_EQ(sf.l[sfb], expect) << "band " << sfb;
    }
    EXPECT_EQ(sf.l[21], 0);
}

} // namespace
} // namespace lumetra::mpeg
