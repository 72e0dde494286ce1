#include "mpeg/layer3/requantizer.h"

#include "mpeg/layer3/layer3_tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumetra::mpeg {
namespace {

constexpr int kLines = 576;

struct Tables {
    float gain[kGainEntries];
    float power[kPowerEntries];
    Tables()
    {
        for (int i = 0; i < kGainEntries; ++i)
            gain[i] = static_cast<float>(std::pow(2.0, (i - 338) / 4.0));
        for (int n = 0; n < kPowerEntries; ++n)
            power[n] = static_cast<float>(std::pow(static_cast<double>(n), 4.0 / 3.0));
    }
};

const Tables& TheTables()
{
    static const Tables tables;
    return tables;
}

inline float Gain(const float* gain, int index)
{
    return gain[std::clamp(index, 0, kGainEntries - 1)];
}

// Lines [begin, end) of one band with one gain; stops at count. The sign of q
// goes straight into the sign bit of the product. |q| beyond the power table
// (only from damaged data) is clamped to its last entry.
inline void ScaleBand(const int32_t* q, int begin, int end, int count, float gain, const float* power, float* xr)
{
    end = std::min(end, count);
    for (int i = begin; i < end; ++i) {
        const int32_t v = q[i];
        const uint32_t a = std::min(static_cast<uint32_t>(v < 0 ? -v : v), static_cast<uint32_t>(kPowerEntries - 1));
        uint32_t bits;
        const float product = gain * power[a];
        std::memcpy(&bits, &product, sizeof bits);
        bits |= static_cast<uint32_t>(v) & 0x80000000u;
        std::memcpy(&xr[i], &bits, sizeof bits);
    }
}

} // namespace

BandLayout BandLayoutFor(int id, int samplingFrequency)
{
    const int row = id == 1 ? 1 : 0;
    const int sf = std::clamp(samplingFrequency, 0, 2);
    BandLayout layout;
    layout.longBands = layer3_tables::kLongBands[row][sf];
    layout.shortBands = layer3_tables::kShortBands[row][sf];
    layout.mixedLongBands = 0;
    while (layout.mixedLongBands < 22 && layout.longBands[layout.mixedLongBands] < 36)
        ++layout.mixedLongBands;
    return layout;
}

const float* GainTable() { return TheTables().gain; }
const float* PowerTable() { return TheTables().power; }

void Requantize(const int32_t* q, int count, const GranuleChannelInfo& g, const ScaleFactors& sf,
                const BandLayout& bands, float* xr)
{
    const Tables& t = TheTables();
    count = std::clamp(count, 0, kLines);
    const int base = g.globalGain + 128;
    const int shift = 2 * (1 + g.scalefacScale);
    const bool shortBlock = g.windowSwitching && g.blockType == 2;

    int longEnd = shortBlock ? (g.mixedBlock ? bands.mixedLongBands : 0) : 22;
    for (int sfb = 0; sfb < longEnd; ++sfb) {
        const int begin = bands.longBands[sfb];
        if (begin >= count)
            break;
        const int pre = g.preflag ? layer3_tables::kPretab[sfb] : 0;
        const float gain = Gain(t.gain, base - shift * (sf.l[sfb] + pre));
        ScaleBand(q, begin, bands.longBands[sfb + 1], count, gain, t.power, xr);
    }
    if (shortBlock) {
        for (int sfb = g.mixedBlock ? 3 : 0; sfb < 13; ++sfb) {
            const int width = bands.shortBands[sfb + 1] - bands.shortBands[sfb];
            int begin = 3 * bands.shortBands[sfb];
            if (begin >= count)
                break;
            for (int w = 0; w < 3; ++w, begin += width) {
                const float gain = Gain(t.gain, base - 8 * g.subblockGain[w] - shift * sf.s[w][sfb]);
                ScaleBand(q, begin, begin + width, count, gain, t.power, xr);
            }
        }
    }
    if (count < kLines)
        std::memset(xr + count, 0, sizeof(float) * (kLines - count));
}

} // namespace lumetra::mpeg
