#include "mpeg/dct32.h"

#include <array>
#include <cmath>
#include <numbers>

namespace lumetra::mpeg {
namespace {

using Float4 = float __attribute__((vector_size(16)));

// 1 / (2 cos(pi (2n + 1) / (2N))) for the butterflies of size N.
template <int N>
std::array<float, N / 2> MakeScales()
{
    std::array<float, N / 2> s{};
    for (int n = 0; n < N / 2; ++n)
        s[n] = static_cast<float>(0.5 / std::cos(std::numbers::pi * (2 * n + 1) / (2.0 * N)));
    return s;
}

const std::array<float, 16> kScale32 = MakeScales<32>();
const std::array<float, 8> kScale16 = MakeScales<16>();
const std::array<float, 4> kScale8 = MakeScales<8>();
const std::array<float, 2> kScale4 = MakeScales<4>();
const std::array<float, 1> kScale2 = MakeScales<2>();

template <int N>
const float* Scales()
{
    if constexpr (N == 32)
        return kScale32.data();
    else if constexpr (N == 16)
        return kScale16.data();
    else if constexpr (N == 8)
        return kScale8.data();
    else if constexpr (N == 4)
        return kScale4.data();
    else
        return kScale2.data();
}

// Fully inlined and unrolled: the sizes are fixed, and calls and loop counters
// would otherwise cost as much as the arithmetic.
template <int N>
[[gnu::always_inline]] inline void Dct(const float* x, float* out)
{
    if constexpr (N == 1) {
        out[0] = x[0];
    } else {
        const float* scale = Scales<N>();
        float a[N / 2], b[N / 2], ea[N / 2], eb[N / 2 + 1];
        if constexpr (N >= 8) {
            // Four butterflies at once, each with the same two operations as below.
#pragma GCC unroll 4
            for (int n = 0; n < N / 2; n += 4) {
                Float4 lo, hi, sc;
                __builtin_memcpy(&lo, x + n, sizeof lo);
                __builtin_memcpy(&hi, x + N - 4 - n, sizeof hi);
                __builtin_memcpy(&sc, scale + n, sizeof sc);
                hi = __builtin_shufflevector(hi, hi, 3, 2, 1, 0);
                const Float4 sum = lo + hi;
                const Float4 diff = (lo - hi) * sc;
                __builtin_memcpy(a + n, &sum, sizeof sum);
                __builtin_memcpy(b + n, &diff, sizeof diff);
            }
        } else {
            for (int n = 0; n < N / 2; ++n) {
                a[n] = x[n] + x[N - 1 - n];
                b[n] = (x[n] - x[N - 1 - n]) * scale[n];
            }
        }
        Dct<N / 2>(a, ea);
        Dct<N / 2>(b, eb);
        if constexpr (N >= 8) {
            // The last odd output is eb alone; the pad only keeps the loads in bounds.
            eb[N / 2] = 0.0f;
#pragma GCC unroll 4
            for (int k = 0; k < N / 2; k += 4) {
                Float4 e, b0, b1;
                __builtin_memcpy(&e, ea + k, sizeof e);
                __builtin_memcpy(&b0, eb + k, sizeof b0);
                __builtin_memcpy(&b1, eb + k + 1, sizeof b1);
                const Float4 odd = b0 + b1;
                const Float4 lo = __builtin_shufflevector(e, odd, 0, 4, 1, 5);
                const Float4 hi = __builtin_shufflevector(e, odd, 2, 6, 3, 7);
                __builtin_memcpy(out + 2 * k, &lo, sizeof lo);
                __builtin_memcpy(out + 2 * k + 4, &hi, sizeof hi);
            }
        } else {
            for (int k = 0; k < N / 2 - 1; ++k) {
                out[2 * k] = ea[k];
                out[2 * k + 1] = eb[k] + eb[k + 1];
            }
            out[N - 2] = ea[N / 2 - 1];
        }
        out[N - 1] = eb[N / 2 - 1];
    }
}

} // namespace

void Dct32(const float in[32], float out[32])
{
    Dct<32>(in, out);
}

} // namespace lumetra::mpeg
