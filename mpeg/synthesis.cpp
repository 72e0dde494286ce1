#include "mpeg/synthesis.h"

#include "mpeg/dct32.h"
#include "mpeg/synthesis_window.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumetra::mpeg {
namespace {

using Int4 = int __attribute__((vector_size(16)));

[[gnu::always_inline]] inline Float4 Load4(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void Transpose4(Float4& a, Float4& b, Float4& c, Float4& d)
{
    const Float4 ab0 = __builtin_shufflevector(a, b, 0, 4, 1, 5), ab1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const Float4 cd0 = __builtin_shufflevector(c, d, 0, 4, 1, 5), cd1 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(ab0, cd0, 0, 1, 4, 5);
    b = __builtin_shufflevector(ab0, cd0, 2, 3, 6, 7);
    c = __builtin_shufflevector(ab1, cd1, 0, 1, 4, 5);
    d = __builtin_shufflevector(ab1, cd1, 2, 3, 6, 7);
}

// Up to four slots' subbands into lanes (x[k][j] = in[j][k]); missing slots are 0.
[[gnu::always_inline]] inline void ToLanes(const float (*in)[32], int n, Float4 x[32])
{
    for (int k = 0; k < 32; k += 4) {
        Float4 r[4];
        for (int j = 0; j < 4; ++j)
            r[j] = j < n ? Load4(in[j] + k) : Float4{};
        Transpose4(r[0], r[1], r[2], r[3]);
        for (int j = 0; j < 4; ++j)
            x[k + j] = r[j];
    }
}

[[gnu::always_inline]] inline void FromLanes(const Float4 y[32], float (*out)[32])
{
    for (int k = 0; k < 32; k += 4) {
        Float4 r[4] = {y[k], y[k + 1], y[k + 2], y[k + 3]};
        Transpose4(r[0], r[1], r[2], r[3]);
        for (int j = 0; j < 4; ++j)
            std::memcpy(out[j] + k, &r[j], sizeof r[j]);
    }
}

// One slot whose transform X is done: V into the history, the window over it,
// 32 samples out. V is the vector width of the window sums.
template <typename V>
[[gnu::always_inline]] inline int Emit(const float x[32], float* history, int& offsetRef, const float* window,
                                       int16_t* out)
{
    const int offset = offsetRef = (offsetRef - 64) & 1023;

    // V[i] = sum cos((16 + i)(2k + 1) pi / 64) S[k] from the DCT X of S:
    // V[0..15] = X[16..31], V[16] = 0, V[17..48] = -X[31..0], V[49..63] = -X[1..15],
    // built four at a time from a[m] = X[4m..4m+3] and stored whole: a wide
    // load of values just stored in pieces would wait for the stores.
    Float4 a[8], part[16];
    for (int m = 0; m < 8; ++m)
        a[m] = Load4(x + 4 * m);
    for (int m = 0; m < 4; ++m)
        part[m] = a[4 + m];
    const Float4 top = -__builtin_shufflevector(a[7], a[7], 3, 2, 1, 0);
    part[4] = __builtin_shufflevector(Float4{}, top, 0, 4, 5, 6);
    for (int m = 0; m < 7; ++m)
        part[5 + m] = -__builtin_shufflevector(a[7 - m], a[6 - m], 0, 7, 6, 5);
    for (int m = 0; m < 4; ++m)
        part[12 + m] = -a[m];
    float* v = history + offset;
    for (int m = 0; m < 16; ++m)
        std::memcpy(v + 4 * m, &part[m], sizeof part[m]);

    // Each window row of 32 coefficients meets 32 consecutive history values:
    // the row start is a multiple of 32, so the 1023 mask never splits a row.
    // Every sample adds its 16 products in row order whatever the width, so
    // the result equals the plain loop bit for bit. Row 0 is V[0..31] of this
    // slot, still in registers.
    constexpr int kLanes = sizeof(V) / sizeof(float);
    constexpr int kVectors = 32 / kLanes;
    V first[kVectors];
    for (int k = 0; k < kVectors; ++k) {
        if constexpr (kLanes == 8)
            first[k] = __builtin_shufflevector(part[2 * k], part[2 * k + 1], 0, 1, 2, 3, 4, 5, 6, 7);
        else
            first[k] = part[k];
    }
    V sum[kVectors] = {};
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
        const V* d = reinterpret_cast<const V*>(window + 32 * i);
        const V* h =
            i == 0 ? first : reinterpret_cast<const V*>(history + ((32 * i + ((i + 1) / 2) * 64 + offset) & 1023));
#pragma GCC unroll 8
        for (int k = 0; k < kVectors; ++k)
            sum[k] += d[k] * h[k];
    }

    // Scaling by 2^15 is exact, so the plain conversion below equals ToPcm16
    // whenever nothing needs limiting; only then the slow path is skipped.
    Float4 scaled[8];
    for (int k = 0; k < kVectors; ++k) {
        if constexpr (kLanes == 8) {
            scaled[2 * k] = __builtin_shufflevector(sum[k], sum[k], 0, 1, 2, 3) * 32768.0f;
            scaled[2 * k + 1] = __builtin_shufflevector(sum[k], sum[k], 4, 5, 6, 7) * 32768.0f;
        } else {
            scaled[k] = sum[k] * 32768.0f;
        }
    }
    Int4 inRange = {-1, -1, -1, -1};
    for (int k = 0; k < 8; ++k)
        inRange &= (scaled[k] < 32768.0f) & (scaled[k] >= -32768.0f);
    int clips = 0;
#if defined(__SSE2__)
    const bool limited = _mm_movemask_ps(reinterpret_cast<__m128>(inRange)) != 15;
#else
    const bool limited = (inRange[0] & inRange[1] & inRange[2] & inRange[3]) != -1;
#endif
    if (limited) {
        float sums[32];
        std::memcpy(sums, sum, sizeof sums);
        for (int j = 0; j < 32; ++j)
            out[j] = ToPcm16(sums[j], clips);
        return clips;
    }
    for (int k = 0; k < 8; k += 2) {
        const Int4 lo = __builtin_convertvector(scaled[k], Int4);
        const Int4 hi = __builtin_convertvector(scaled[k + 1], Int4);
#if defined(__SSE2__)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * k),
                         _mm_packs_epi32(reinterpret_cast<__m128i>(lo), reinterpret_cast<__m128i>(hi)));
#else
        for (int j = 0; j < 4; ++j) {
            out[4 * k + j] = static_cast<int16_t>(lo[j]);
            out[4 * k + 4 + j] = static_cast<int16_t>(hi[j]);
        }
#endif
    }
    return clips;
}

// The transforms of four (or, wide, eight) slots at once, then each slot's
// window in turn.
template <bool Wide>
[[gnu::always_inline]] inline int Run(float* history, int& offset, const float* window, const float (*in)[32],
                                      int count, int16_t (*out)[32])
{
    int clips = 0;
    for (int t = 0; t < count;) {
        const int n = std::min(count - t, Wide ? 8 : 4);
        alignas(32) float x[8][32];
        Float4 lo[32], y[32];
        ToLanes(in + t, n, lo);
        if constexpr (Wide) {
            if (n > 4) {
                Float4 hi[32];
                ToLanes(in + t + 4, n - 4, hi);
                Float8 x8[32], y8[32];
                for (int k = 0; k < 32; ++k)
                    x8[k] = __builtin_shufflevector(lo[k], hi[k], 0, 1, 2, 3, 4, 5, 6, 7);
                Dct32(x8, y8);
                for (int k = 0; k < 32; ++k) {
                    y[k] = __builtin_shufflevector(y8[k], y8[k], 0, 1, 2, 3);
                    hi[k] = __builtin_shufflevector(y8[k], y8[k], 4, 5, 6, 7);
                }
                FromLanes(hi, x + 4);
            } else {
                Dct32(lo, y);
            }
        } else {
            Dct32(lo, y);
        }
        FromLanes(y, x);
        for (int j = 0; j < n; ++j)
            clips += Emit<std::conditional_t<Wide, Float8, Float4>>(x[j], history, offset, window, out[t + j]);
        t += n;
    }
    return clips;
}

int RunNarrow(float* history, int& offset, const float* window, const float (*in)[32], int count, int16_t (*out)[32])
{
    return Run<false>(history, offset, window, in, count, out);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] int RunWide(float* history, int& offset, const float* window, const float (*in)[32], int count,
                                    int16_t (*out)[32])
{
    return Run<true>(history, offset, window, in, count, out);
}
#endif

Synthesis::Kernel ChooseKernel(bool wide)
{
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (wide && __builtin_cpu_supports("avx2"))
        return RunWide;
#endif
    (void)wide;
    return RunNarrow;
}

} // namespace

Synthesis::Synthesis(bool wide) : m_kernel(ChooseKernel(wide))
{
    std::memset(m_history, 0, sizeof m_history);
    std::memset(m_window, 0, sizeof m_window);
}

int Synthesis::Synthesize(const float subbands[32], int channel, int16_t* out)
{
    return SynthesizeSlots(reinterpret_cast<const float(*)[32]>(subbands), 1, channel,
                           reinterpret_cast<int16_t(*)[32]>(out));
}

int Synthesis::SynthesizeSlots(const float (*in)[32], int count, int channel, int16_t (*out)[32])
{
    if (!m_ready) {
        ReadSynthesisWindow(m_window);
        m_ready = true;
    }
    channel &= 1;
    return m_kernel(m_history[channel], m_offset[channel], m_window, in, count, out);
}

} // namespace lumetra::mpeg
