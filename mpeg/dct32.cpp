#include "mpeg/dct32.h"

#include <array>
#include <cmath>
#include <numbers>

namespace lumetra::mpeg {
namespace {

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
template <int N, typename V>
[[gnu::always_inline]] inline void Dct(const V* x, V* out)
{
    if constexpr (N == 1) {
        out[0] = x[0];
    } else {
        const float* scale = Scales<N>();
        V a[N / 2], b[N / 2], ea[N / 2], eb[N / 2];
#pragma GCC unroll 16
        for (int n = 0; n < N / 2; ++n) {
            a[n] = x[n] + x[N - 1 - n];
            b[n] = (x[n] - x[N - 1 - n]) * scale[n];
        }
        Dct<N / 2>(a, ea);
        Dct<N / 2>(b, eb);
#pragma GCC unroll 16
        for (int k = 0; k < N / 2 - 1; ++k) {
            out[2 * k] = ea[k];
            out[2 * k + 1] = eb[k] + eb[k + 1];
        }
        out[N - 2] = ea[N / 2 - 1];
        out[N - 1] = eb[N / 2 - 1];
    }
}

} // namespace

void Dct32(const Float4 in[32], Float4 out[32])
{
    Dct<32>(in, out);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void Dct32(const Float8 in[32], Float8 out[32])
{
    Dct<32>(in, out);
}
#endif

} // namespace lumetra::mpeg
