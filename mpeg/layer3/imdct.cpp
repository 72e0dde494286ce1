#include "mpeg/layer3/imdct.h"

#include <cmath>

namespace lumetra::mpeg {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kHalfSqrt3 = 0.866025403784438647f;

// DCT-IV of size N = 4M / 2 (N even, M = N / 2) through an M-point DFT:
// z[n] = x[2n] + i x[N-1-2n] turned by e^(-i pi n / N), transformed, turned by
// e^(-i pi (k + 1/4) / N); then y[2k] = Re, y[N-1-2k] = -Im.
// Twiddle factors in the element type T (float, or Float4 with every lane
// equal, which saves spreading them at each use).
template <int N, class T>
struct DctTwiddles {
    T preCos[N / 2], preSin[N / 2], postCos[N / 2], postSin[N / 2];
    DctTwiddles()
    {
        for (int n = 0; n < N / 2; ++n) {
            preCos[n] = T{} + static_cast<float>(std::cos(kPi * n / N));
            preSin[n] = T{} + static_cast<float>(std::sin(kPi * n / N));
            postCos[n] = T{} + static_cast<float>(std::cos(kPi * (n + 0.25) / N));
            postSin[n] = T{} + static_cast<float>(std::sin(kPi * (n + 0.25) / N));
        }
    }
};

template <int N, class T>
const DctTwiddles<N, T>& Twiddles()
{
    static const DctTwiddles<N, T> t;
    return t;
}

// W9^(b c) for b, c = 1..2 (index (b - 1) * 2 + (c - 1)).
template <class T>
struct Dft9Twiddles {
    T c[4], s[4];
    Dft9Twiddles()
    {
        for (int b = 1; b <= 2; ++b)
            for (int k = 1; k <= 2; ++k) {
                c[(b - 1) * 2 + k - 1] = T{} + static_cast<float>(std::cos(2 * kPi * b * k / 9));
                s[(b - 1) * 2 + k - 1] = T{} + static_cast<float>(std::sin(2 * kPi * b * k / 9));
            }
    }
};

template <class T>
const Dft9Twiddles<T>& TwiddlesDft9()
{
    static const Dft9Twiddles<T> t;
    return t;
}

// 3-point DFT (e^(-2 pi i n k / 3)) of (r0, i0), (r1, i1), (r2, i2) to outR,
// outI at stride.
template <class T>
inline void Dft3(T r0, T i0, T r1, T i1, T r2, T i2, T* outR, T* outI, int stride)
{
    const T sr = r1 + r2, si = i1 + i2;
    const T dr = r1 - r2, di = i1 - i2;
    const T mr = r0 - 0.5f * sr, mi = i0 - 0.5f * si;
    outR[0] = r0 + sr;
    outI[0] = i0 + si;
    outR[stride] = mr + kHalfSqrt3 * di;
    outI[stride] = mi - kHalfSqrt3 * dr;
    outR[2 * stride] = mr - kHalfSqrt3 * di;
    outI[2 * stride] = mi + kHalfSqrt3 * dr;
}

template <class T>
void Dct4Size18(const T x[18], T y[18])
{
    const DctTwiddles<18, T>& t = Twiddles<18, T>();
    T tr[9], ti[9];
    for (int n = 0; n < 9; ++n) {
        const T a = x[2 * n], b = x[17 - 2 * n];
        tr[n] = a * t.preCos[n] + b * t.preSin[n];
        ti[n] = b * t.preCos[n] - a * t.preSin[n];
    }
    // 9-point DFT as 3 x 3: n = 3a + b, k = c + 3d.
    T ar[3][3], ai[3][3]; // [b][c]
    for (int b = 0; b < 3; ++b)
        Dft3(tr[b], ti[b], tr[3 + b], ti[3 + b], tr[6 + b], ti[6 + b], ar[b], ai[b], 1);
    const Dft9Twiddles<T>& w = TwiddlesDft9<T>();
    for (int b = 1; b < 3; ++b) {
        for (int c = 1; c < 3; ++c) {
            const T cr = w.c[(b - 1) * 2 + c - 1], cs = w.s[(b - 1) * 2 + c - 1];
            const T r = ar[b][c], i = ai[b][c];
            ar[b][c] = r * cr + i * cs;
            ai[b][c] = i * cr - r * cs;
        }
    }
    T Tr[9], Ti[9];
    for (int c = 0; c < 3; ++c)
        Dft3(ar[0][c], ai[0][c], ar[1][c], ai[1][c], ar[2][c], ai[2][c], Tr + c, Ti + c, 3);
    for (int k = 0; k < 9; ++k) {
        const T sr = Tr[k] * t.postCos[k] + Ti[k] * t.postSin[k];
        const T si = Ti[k] * t.postCos[k] - Tr[k] * t.postSin[k];
        y[2 * k] = sr;
        y[17 - 2 * k] = -si;
    }
}

void Dct4Size6(const float x[6], float y[6])
{
    const DctTwiddles<6, float>& t = Twiddles<6, float>();
    float tr[3], ti[3];
    for (int n = 0; n < 3; ++n) {
        const float a = x[2 * n], b = x[5 - 2 * n];
        tr[n] = a * t.preCos[n] + b * t.preSin[n];
        ti[n] = b * t.preCos[n] - a * t.preSin[n];
    }
    float Tr[3], Ti[3];
    Dft3(tr[0], ti[0], tr[1], ti[1], tr[2], ti[2], Tr, Ti, 1);
    for (int k = 0; k < 3; ++k) {
        const float sr = Tr[k] * t.postCos[k] + Ti[k] * t.postSin[k];
        const float si = Ti[k] * t.postCos[k] - Tr[k] * t.postSin[k];
        y[2 * k] = sr;
        y[5 - 2 * k] = -si;
    }
}

} // namespace

// With y the DCT-IV of in, the IMDCT is y unfolded: the first quarter is
// y[9..17], the middle half -y reversed, the last quarter -y[0..8].
template <class T>
inline void Unfold36(const T y[18], T out[36])
{
    for (int i = 0; i < 9; ++i)
        out[i] = y[i + 9];
    for (int i = 9; i < 27; ++i)
        out[i] = -y[26 - i];
    for (int i = 27; i < 36; ++i)
        out[i] = -y[i - 27];
}

void Imdct36(const float in[18], float out[36])
{
    float y[18];
    Dct4Size18(in, y);
    Unfold36(y, out);
}

void Imdct36(const Float4 in[18], Float4 out[36])
{
    Float4 y[18];
    Dct4Size18(in, y);
    Unfold36(y, out);
}

void Imdct12(const float in[6], float out[12])
{
    float y[6];
    Dct4Size6(in, y);
    for (int i = 0; i < 3; ++i)
        out[i] = y[i + 3];
    for (int i = 3; i < 9; ++i)
        out[i] = -y[8 - i];
    for (int i = 9; i < 12; ++i)
        out[i] = -y[i - 9];
}

} // namespace lumetra::mpeg
