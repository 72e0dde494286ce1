#include "bit_writer.h"
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

} // namespace
} // namespace lumetra::mpeg
