#include "mpeg/layer3/hybrid_filter.h"

#include "mpeg/layer3/imdct.h"
#include "mpeg/layer3/layer3_tables.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumetra::mpeg {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Windows {
    float block[4][36];   // block types 0, 1, 3 (long); 2 uses the first 12 as the short window
    float cs[8], ca[8];
    Windows()
    {
        for (int i = 0; i < 36; ++i)
            block[0][i] = static_cast<float>(std::sin(kPi / 36 * (i + 0.5)));
        for (int i = 0; i < 18; ++i)
            block[1][i] = block[0][i];
        for (int i = 18; i < 24; ++i)
            block[1][i] = 1.0f;
        for (int i = 24; i < 30; ++i)
            block[1][i] = static_cast<float>(std::sin(kPi / 12 * (i - 18 + 0.5)));
        for (int i = 30; i < 36; ++i)
            block[1][i] = 0.0f;
        for (int i = 0; i < 6; ++i)
            block[3][i] = 0.0f;
        for (int i = 6; i < 12; ++i)
            block[3][i] = static_cast<float>(std::sin(kPi / 12 * (i - 6 + 0.5)));
        for (int i = 12; i < 18; ++i)
            block[3][i] = 1.0f;
        for (int i = 18; i < 36; ++i)
            block[3][i] = block[0][i];
        for (int i = 0; i < 36; ++i)
            block[2][i] = i < 12 ? static_cast<float>(std::sin(kPi / 12 * (i + 0.5))) : 0.0f;
        for (int i = 0; i < 8; ++i) {
            const double c = layer3_tables::kAliasC[i];
            const double root = std::sqrt(1.0 + c * c);
            cs[i] = static_cast<float>(1.0 / root);
            ca[i] = static_cast<float>(c / root);
        }
    }
};

const Windows& TheWindows()
{
    static const Windows w;
    return w;
}

// Short-block lines from band-window-frequency order into each subband's
// 18 slots as frequency-major, window-minor: line f of window w at 3f + w.
void Reorder(float* xr, int firstBand, const int16_t* sb)
{
    float tmp[576];
    const int start = 3 * sb[firstBand];
    int n = 0;
    for (int sfb = firstBand; sfb < 13; ++sfb) {
        const int begin = sb[sfb];
        const int width = sb[sfb + 1] - begin;
        for (int f = 0; f < width; ++f)
            for (int w = 0; w < 3; ++w)
                tmp[n++] = xr[3 * begin + w * width + f];
    }
    std::memcpy(xr + start, tmp, sizeof(float) * n);
}

void AliasReduce(float* xr, int boundaries, const Windows& win)
{
    for (int sb = 1; sb <= boundaries; ++sb) {
        float* up = xr + 18 * sb - 1;   // counts down from the last line of subband sb - 1
        float* down = xr + 18 * sb;
        for (int i = 0; i < 8; ++i) {
            const float bu = up[-i];
            const float bd = down[i];
            up[-i] = bu * win.cs[i] - bd * win.ca[i];
            down[i] = bd * win.cs[i] + bu * win.ca[i];
        }
    }
}

} // namespace

HybridFilter::HybridFilter()
{
    std::memset(m_overlap, 0, sizeof m_overlap);
}

void HybridFilter::Run(float* xr, int count, const GranuleChannelInfo& g, const int16_t* shortBands, int ch,
                       float out[18][32])
{
    const Windows& win = TheWindows();
    if (m_resetPending) {
        std::memset(m_overlap, 0, sizeof m_overlap);
        m_resetPending = false;
    }
    const bool shortBlock = g.windowSwitching && g.blockType == 2;
    const bool mixed = shortBlock && g.mixedBlock;
    count = std::clamp(count, 0, 576);

    if (shortBlock && count > 0) {
        // Reordering moves values within their band: the band's end bounds them.
        const int firstBand = mixed ? 3 : 0;
        Reorder(xr, firstBand, shortBands);
        int sfb = firstBand;
        while (sfb < 12 && 3 * shortBands[sfb + 1] < count)
            ++sfb;
        count = std::max(count, 3 * static_cast<int>(shortBands[sfb + 1]));
    }
    int limit = (count + 17) / 18;   // subbands that may hold values
    if (!shortBlock || mixed) {
        const int boundaries = mixed ? 1 : std::min(limit, 31);
        AliasReduce(xr, boundaries, win);
        limit = std::max(limit, std::min(boundaries + 1, 32));
    }
    if (shortBlock)
        limit = std::max(limit, mixed ? 2 : 0);
    limit = std::min(limit, 32);

    float (*overlap)[18] = m_overlap[ch & 1];
    for (int sb = 0; sb < limit; ++sb) {
        const float* in = xr + 18 * sb;
        float* prev = overlap[sb];
        float res[36];
        if (!shortBlock || (mixed && sb < 2)) {
            const float* w = win.block[shortBlock ? 0 : (g.blockType & 3)];
            Imdct36(in, res);
            for (int i = 0; i < 36; ++i)
                res[i] *= w[i];
        } else {
            std::memset(res, 0, sizeof res);
            for (int w = 0; w < 3; ++w) {
                const float part[6] = {in[w], in[3 + w], in[6 + w], in[9 + w], in[12 + w], in[15 + w]};
                float o[12];
                Imdct12(part, o);
                float* dst = res + 6 + 6 * w;
                for (int i = 0; i < 12; ++i)
                    dst[i] += o[i] * win.block[2][i];
            }
        }
        for (int i = 0; i < 18; ++i) {
            out[i][sb] = res[i] + prev[i];
            prev[i] = res[18 + i];
        }
    }
    for (int sb = limit; sb < 32; ++sb) {
        float* prev = overlap[sb];
        for (int i = 0; i < 18; ++i) {
            out[i][sb] = prev[i];
            prev[i] = 0.0f;
        }
    }
    // Frequency inversion: odd slots of odd subbands change sign.
    for (int i = 1; i < 18; i += 2)
        for (int sb = 1; sb < 32; sb += 2)
            out[i][sb] = -out[i][sb];
}

} // namespace lumetra::mpeg
