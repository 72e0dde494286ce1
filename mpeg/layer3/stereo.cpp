#include "mpeg/layer3/stereo.h"

#include "mpeg/layer3/layer3_tables.h"

#include <algorithm>

namespace lumetra::mpeg {
namespace {

constexpr float kSqrt2 = 1.4142135f;

void MiddleSide(float* l, float* r, int begin, int end)
{
    for (int i = begin; i < end; ++i) {
        const float m = l[i];
        const float s = r[i];
        l[i] = (m + s) / kSqrt2;
        r[i] = (m - s) / kSqrt2;
    }
}

bool AnyNonZero(const float* v, int begin, int end)
{
    for (int i = begin; i < end; ++i)
        if (v[i] != 0.0f)
            return true;
    return false;
}

struct Intensity {
    bool lsf;
    int scale;
    bool middleSide;

    // One band [begin, end) with intensity position pos and its illegal value.
    void Band(float* l, float* r, int begin, int end, int pos, int limit) const
    {
        if (pos == limit || (!lsf && pos >= 7)) {
            if (middleSide)
                MiddleSide(l, r, begin, end);
            return;
        }
        float kl, kr;
        if (lsf) {
            const float* io = layer3_tables::kIntensityLsf[scale & 1];
            if (pos == 0) {
                kl = kr = 1.0f;
            } else if (pos & 1) {
                kl = io[std::min((pos + 1) / 2, 15)];
                kr = 1.0f;
            } else {
                kl = 1.0f;
                kr = io[std::min(pos / 2, 15)];
            }
        } else {
            kl = layer3_tables::kIntensityLeft[pos];
            kr = layer3_tables::kIntensityRight[pos];
        }
        for (int i = begin; i < end; ++i) {
            const float v = l[i];
            l[i] = v * kl;
            r[i] = v * kr;
        }
    }
};

} // namespace

void ProcessStereo(float (*xr)[576], int count[2], bool middleSide, bool intensity, bool lsf,
                   const GranuleChannelInfo& right, const ScaleFactors& rightSf, const BandLayout& bands)
{
    float* l = xr[0];
    float* r = xr[1];
    const int both = std::max(count[0], count[1]);
    if (!intensity) {
        if (middleSide)
            MiddleSide(l, r, 0, both);
        count[0] = count[1] = both;
        return;
    }

    const Intensity is{lsf, rightSf.intensityScale, middleSide};
    const int16_t* lb = bands.longBands;
    const int16_t* sb = bands.shortBands;
    const bool shortBlock = right.windowSwitching && right.blockType == 2;

    // Long bands [0, longEnd): intensity coded from the band after the last
    // one where the right channel has values.
    auto longPart = [&](int longEnd) {
        int first = 0;
        for (int sfb = longEnd - 1; sfb >= 0; --sfb) {
            if (AnyNonZero(r, lb[sfb], lb[sfb + 1])) {
                first = sfb + 1;
                break;
            }
        }
        if (middleSide)
            MiddleSide(l, r, 0, lb[first]);
        for (int sfb = first; sfb < longEnd; ++sfb) {
            // The last band carries no factor of its own and uses its neighbour's.
            const int src = sfb == 21 ? 20 : sfb;
            is.Band(l, r, lb[sfb], lb[sfb + 1], rightSf.l[src], rightSf.lLimit[src]);
        }
    };

    if (!shortBlock) {
        longPart(22);
    } else {
        const int firstShort = right.mixedBlock ? 3 : 0;
        int highest = -1; // highest short band with right-channel values, any window
        for (int w = 0; w < 3; ++w) {
            int first = firstShort;
            for (int sfb = 12; sfb >= firstShort; --sfb) {
                const int width = sb[sfb + 1] - sb[sfb];
                const int begin = 3 * sb[sfb] + w * width;
                if (AnyNonZero(r, begin, begin + width)) {
                    first = sfb + 1;
                    highest = std::max(highest, sfb);
                    break;
                }
            }
            for (int sfb = firstShort; sfb < 13; ++sfb) {
                const int width = sb[sfb + 1] - sb[sfb];
                const int begin = 3 * sb[sfb] + w * width;
                if (sfb < first) {
                    if (middleSide)
                        MiddleSide(l, r, begin, begin + width);
                    continue;
                }
                const int src = sfb == 12 ? 11 : sfb;
                is.Band(l, r, begin, begin + width, rightSf.s[w][src], rightSf.sLimit[w][src]);
            }
        }
        if (right.mixedBlock) {
            if (highest < 0)
                longPart(bands.mixedLongBands);
            else if (middleSide)
                MiddleSide(l, r, 0, lb[bands.mixedLongBands]);
        }
    }
    count[0] = count[1] = 576;
}

} // namespace lumetra::mpeg
