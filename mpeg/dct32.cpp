#include "mpeg/dct32.h"

#include <array>
#include <cmath>
#include <numbers>

namespace lumetra::mpeg {
namespace {

// 1 / (2 cos(pi (2n + 1) / (2N))) for the butterflies of size N.
template <int N>
std::array<double, N / 2> MakeScales()
{
    std::array<double, N / 2> s{};
    for (int n = 0; n < N / 2; ++n)
        s[n] = 0.5 / std::cos(std::numbers::pi * (2 * n + 1) / (2.0 * N));
    return s;
}

template <int N>
struct Dct {
    static void Run(const double* x, double* out)
    {
        static const std::array<double, N / 2> scale = MakeScales<N>();
        double a[N / 2], b[N / 2], ea[N / 2], eb[N / 2];
        for (int n = 0; n < N / 2; ++n) {
            a[n] = x[n] + x[N - 1 - n];
            b[n] = (x[n] - x[N - 1 - n]) * scale[n];
        }
        Dct<N / 2>::Run(a, ea);
        Dct<N / 2>::Run(b, eb);
        for (int k = 0; k < N / 2; ++k) {
            out[2 * k] = ea[k];
            out[2 * k + 1] = eb[k] + (k + 1 < N / 2 ? eb[k + 1] : 0.0);
        }
    }
};

template <>
struct Dct<1> {
    static void Run(const double* x, double* out) { out[0] = x[0]; }
};

} // namespace

void Dct32(const float in[32], double out[32])
{
    double x[32];
    for (int i = 0; i < 32; ++i)
        x[i] = in[i];
    Dct<32>::Run(x, out);
}

} // namespace lumetra::mpeg
