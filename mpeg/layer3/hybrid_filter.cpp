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
    float block[4][36]; // block types 0, 1, 3 (long); 2 uses the first 12 as the short window
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

inline Float4 Load4(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store4(float* p, Float4 v)
{
    std::memcpy(p, &v, sizeof v);
}

// Butterflies across each subband boundary up to boundaries: the 8 lines
// below it (read downward) against the 8 above.
void AliasReduce(float* xr, int boundaries, const Windows& win)
{
    const Float4 cs0 = Load4(win.cs), cs1 = Load4(win.cs + 4);
    const Float4 ca0 = Load4(win.ca), ca1 = Load4(win.ca + 4);
    for (int sb = 1; sb <= boundaries; ++sb) {
        float* up = xr + 18 * sb - 8; // lines 18 sb - 8 .. 18 sb - 1
        float* down = xr + 18 * sb;
        // up reversed: lane i holds line 18 sb - 1 - i.
        const Float4 u0 = __builtin_shufflevector(Load4(up + 4), Load4(up + 4), 3, 2, 1, 0);
        const Float4 u1 = __builtin_shufflevector(Load4(up), Load4(up), 3, 2, 1, 0);
        const Float4 d0 = Load4(down), d1 = Load4(down + 4);
        const Float4 nu0 = u0 * cs0 - d0 * ca0, nu1 = u1 * cs1 - d1 * ca1;
        Store4(down, d0 * cs0 + u0 * ca0);
        Store4(down + 4, d1 * cs1 + u1 * ca1);
        Store4(up + 4, __builtin_shufflevector(nu0, nu0, 3, 2, 1, 0));
        Store4(up, __builtin_shufflevector(nu1, nu1, 3, 2, 1, 0));
    }
}

// Subbands sb..sb+3 of a long block (in: their 4 x 18 lines), frequency
// inversion included: lanes 1 and 3 are odd subbands.
void LongGroup(const float* in, const float* w, float (*overlap)[32], float (*out)[32], int sb)
{
    // Lanes from the four subbands' lines: 4 x 4 transposes, then the last two.
    Float4 x[18];
    for (int k = 0; k < 16; k += 4) {
        const Float4 a = Load4(in + k), b = Load4(in + 18 + k), c = Load4(in + 36 + k), d = Load4(in + 54 + k);
        const Float4 ab0 = __builtin_shufflevector(a, b, 0, 4, 1, 5), ab1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
        const Float4 cd0 = __builtin_shufflevector(c, d, 0, 4, 1, 5), cd1 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
        x[k] = __builtin_shufflevector(ab0, cd0, 0, 1, 4, 5);
        x[k + 1] = __builtin_shufflevector(ab0, cd0, 2, 3, 6, 7);
        x[k + 2] = __builtin_shufflevector(ab1, cd1, 0, 1, 4, 5);
        x[k + 3] = __builtin_shufflevector(ab1, cd1, 2, 3, 6, 7);
    }
    for (int k = 16; k < 18; ++k)
        x[k] = Float4{in[k], in[18 + k], in[36 + k], in[54 + k]};
    Float4 res[36];
    Imdct36(x, res);
    const Float4 invert = {1.0f, -1.0f, 1.0f, -1.0f};
    for (int i = 0; i < 18; i += 2) {
        Store4(&out[i][sb], res[i] * w[i] + Load4(&overlap[i][sb]));
        Store4(&out[i + 1][sb], (res[i + 1] * w[i + 1] + Load4(&overlap[i + 1][sb])) * invert);
    }
    for (int i = 0; i < 18; ++i)
        Store4(&overlap[i][sb], res[18 + i] * w[18 + i]);
}

void LongSubband(const float* in, const float* w, float (*overlap)[32], float (*out)[32], int sb)
{
    float res[36];
    Imdct36(in, res);
    for (int i = 0; i < 18; ++i) {
        const float v = res[i] * w[i] + overlap[i][sb];
        out[i][sb] = (sb & i & 1) ? -v : v;
        overlap[i][sb] = res[18 + i] * w[18 + i];
    }
}

// Three 12-point transforms, windowed and overlapped at 6, 12 and 18.
void ShortSubband(const float* in, const float* w, float (*overlap)[32], float (*out)[32], int sb)
{
    float res[36] = {};
    for (int win = 0; win < 3; ++win) {
        const float part[6] = {in[win], in[3 + win], in[6 + win], in[9 + win], in[12 + win], in[15 + win]};
        float o[12];
        Imdct12(part, o);
        float* dst = res + 6 + 6 * win;
        for (int i = 0; i < 12; ++i)
            dst[i] += o[i] * w[i];
    }
    for (int i = 0; i < 18; ++i) {
        const float v = res[i] + overlap[i][sb];
        out[i][sb] = (sb & i & 1) ? -v : v;
        overlap[i][sb] = res[18 + i];
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
    int limit = (count + 17) / 18; // subbands that may hold values
    if (!shortBlock || mixed) {
        const int boundaries = mixed ? 1 : std::min(limit, 31);
        AliasReduce(xr, boundaries, win);
        limit = std::max(limit, std::min(boundaries + 1, 32));
    }
    if (shortBlock)
        limit = std::max(limit, mixed ? 2 : 0);
    limit = std::min(limit, 32);

    float(*overlap)[32] = m_overlap[ch & 1];
    int sb = 0;
    if (!shortBlock) {
        // Four subbands at a time; those past the limit hold zeros.
        const float* w = win.block[g.blockType & 3];
        for (; sb < limit; sb += 4)
            LongGroup(xr + 18 * sb, w, overlap, out, sb);
    } else {
        for (; sb < limit; ++sb) {
            if (mixed && sb < 2)
                LongSubband(xr + 18 * sb, win.block[0], overlap, out, sb);
            else
                ShortSubband(xr + 18 * sb, win.block[2], overlap, out, sb);
        }
    }
    // Subbands without values: the overlap alone. Frequency inversion (odd
    // slots of odd subbands change sign) is done on every path.
    for (int i = 0; i < 18; ++i) {
        for (int s = sb; s < 32; ++s) {
            out[i][s] = (s & i & 1) ? -overlap[i][s] : overlap[i][s];
            overlap[i][s] = 0.0f;
        }
    }
}

} // namespace lumetra::mpeg
