#include "mpeg/layer3/scale_factors.h"

#include "mpeg/layer3/layer3_tables.h"

#include <algorithm>
#include <cstring>

namespace lumetra::mpeg {
namespace {

constexpr int kMpeg1IllegalPosition = 7;

void SetLimits(ScaleFactors& sf, int32_t limit)
{
    std::fill(std::begin(sf.lLimit), std::end(sf.lLimit), limit);
    for (auto& w : sf.sLimit)
        std::fill(std::begin(w), std::end(w), limit);
}

} // namespace

void ReadScaleFactorsMpeg1(BitReservoir& r, const GranuleChannelInfo& g, const int32_t scfsi[4], int granule,
                           ScaleFactors& sf)
{
    const int slen1 = layer3_tables::kSlen[g.scalefacCompress & 15][0];
    const int slen2 = layer3_tables::kSlen[g.scalefacCompress & 15][1];
    sf.intensityScale = 0;
    SetLimits(sf, kMpeg1IllegalPosition);
    if (g.windowSwitching && g.blockType == 2) {
        int firstShort = 0;
        if (g.mixedBlock) {
            for (int sfb = 0; sfb < 8; ++sfb)
                sf.l[sfb] = static_cast<int32_t>(r.ReadBits(slen1));
            firstShort = 3;
        }
        for (int sfb = firstShort; sfb < 12; ++sfb)
            for (int w = 0; w < 3; ++w)
                sf.s[w][sfb] = static_cast<int32_t>(r.ReadBits(sfb < 6 ? slen1 : slen2));
        for (int w = 0; w < 3; ++w)
            sf.s[w][12] = 0;
        return;
    }
    // Long blocks: groups 0..5, 6..10, 11..15, 16..20.
    static constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
    for (int group = 0; group < 4; ++group) {
        if (granule == 1 && scfsi[group])
            continue;
        for (int sfb = kGroupStart[group]; sfb < kGroupStart[group + 1]; ++sfb)
            sf.l[sfb] = static_cast<int32_t>(r.ReadBits(sfb < 11 ? slen1 : slen2));
    }
    sf.l[21] = sf.l[22] = 0;
}

void ReadScaleFactorsLsf(BitReservoir& r, GranuleChannelInfo& g, bool intensityRight, ScaleFactors& sf)
{
    int table;
    int x;
    if (intensityRight) {
        sf.intensityScale = g.scalefacCompress & 1;
        x = g.scalefacCompress >> 1;
        table = x < 180 ? 3 : x < 244 ? 4 : 5;
    } else {
        sf.intensityScale = 0;
        x = g.scalefacCompress;
        table = x < 400 ? 0 : x < 500 ? 1 : 2;
    }
    const auto& rule = layer3_tables::kLsfSplit[table];
    x -= rule.first;
    int slen[4];
    for (int k = 3; k >= 0; --k) {
        slen[k] = x % rule.radix[k];
        x /= rule.radix[k];
    }
    g.preflag = rule.preflag;

    const bool shortBlock = g.windowSwitching && g.blockType == 2;
    const int kind = shortBlock ? (g.mixedBlock ? 2 : 1) : 0;
    const uint8_t* counts = layer3_tables::kLsfBandsPerGroup[table][kind];

    // The factors in transmission order, then placed by block kind.
    int32_t values[40] = {};
    int32_t limits[40] = {};
    int n = 0;
    for (int k = 0; k < 4; ++k) {
        for (int i = 0; i < counts[k] && n < 40; ++i, ++n) {
            values[n] = static_cast<int32_t>(r.ReadBits(slen[k]));
            limits[n] = (1 << slen[k]) - 1;
        }
    }
    std::memset(sf.l, 0, sizeof sf.l);
    std::memset(sf.s, 0, sizeof sf.s);
    SetLimits(sf, 0);
    int i = 0;
    if (!shortBlock) {
        for (int sfb = 0; sfb < 21; ++sfb, ++i) {
            sf.l[sfb] = values[i];
            sf.lLimit[sfb] = limits[i];
        }
        return;
    }
    int firstShort = 0;
    if (g.mixedBlock) {
        for (int sfb = 0; sfb < 6; ++sfb, ++i) {
            sf.l[sfb] = values[i];
            sf.lLimit[sfb] = limits[i];
        }
        firstShort = 3;
    }
    for (int sfb = firstShort; sfb < 12; ++sfb) {
        for (int w = 0; w < 3; ++w, ++i) {
            sf.s[w][sfb] = values[i];
            sf.sLimit[w][sfb] = limits[i];
        }
    }
}

} // namespace lumetra::mpeg
