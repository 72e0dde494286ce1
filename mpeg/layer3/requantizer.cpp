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

// Lines [begin, end) of one band with one gain; stops at count.
inline void ScaleBand(const int32_t* q, int begin, int end, int count, float gain, const float* power, float* xr)
{
    end = std::min(end, count);
    for (int i = begin; i < end; ++i)
        xr[i] = RequantizeValue(q[i], gain, power);
}

} // namespace

BandLayout BandLayoutFor(int id, int samplingFrequency)
{
    const int row = id == 1 || id == 2 ? id : 0; // the table rows follow the header's id
    const int sf = std::clamp(samplingFrequency, 0, 2);
    BandLayout layout;
    layout.longBands = layer3_tables::kLongBands[row][sf];
    layout.shortBands = layer3_tables::kShortBands[row][sf];
    layout.mixedLongBands = 0;
    while (layout.mixedLongBands < 22 && layout.longBands[layout.mixedLongBands] < 36)
        ++layout.mixedLongBands;
    return layout;
}

const float* GainTable()
{
    return TheTables().gain;
}
const float* PowerTable()
{
    return TheTables().power;
}

void BuildGainSegments(const GranuleChannelInfo& g, const ScaleFactors& sf, const BandLayout& bands,
                       GainSegments& segments)
{
    const Tables& t = TheTables();
    const int base = g.globalGain + 128;
    const int shift = 2 * (1 + g.scalefacScale);
    const bool shortBlock = g.windowSwitching && g.blockType == 2;
    int n = 0;
    const int longEnd = shortBlock ? (g.mixedBlock ? bands.mixedLongBands : 0) : 22;
    for (int sfb = 0; sfb < longEnd; ++sfb) {
        const int pre = g.preflag ? layer3_tables::kPretab[sfb] : 0;
        segments.end[n] = bands.longBands[sfb + 1];
        segments.gain[n++] = Gain(t.gain, base - shift * (sf.l[sfb] + pre));
    }
    if (shortBlock) {
        for (int sfb = g.mixedBlock ? 3 : 0; sfb < 13; ++sfb) {
            const int width = bands.shortBands[sfb + 1] - bands.shortBands[sfb];
            int end = 3 * bands.shortBands[sfb];
            for (int w = 0; w < 3; ++w) {
                end += width;
                segments.end[n] = static_cast<int16_t>(end);
                segments.gain[n++] = Gain(t.gain, base - 8 * g.subblockGain[w] - shift * sf.s[w][sfb]);
            }
        }
    }
    segments.count = n;
}

void Requantize(const int32_t* q, int count, const GranuleChannelInfo& g, const ScaleFactors& sf,
                const BandLayout& bands, float* xr)
{
    GainSegments segments;
    BuildGainSegments(g, sf, bands, segments);
    count = std::clamp(count, 0, kLines);
    int begin = 0;
    for (int s = 0; s < segments.count && begin < count; ++s) {
        ScaleBand(q, begin, segments.end[s], count, segments.gain[s], PowerTable(), xr);
        begin = segments.end[s];
    }
    if (count < kLines)
        std::memset(xr + count, 0, sizeof(float) * (kLines - count));
}

} // namespace lumetra::mpeg
