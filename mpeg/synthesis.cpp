#include "mpeg/synthesis.h"

#include "mpeg/dct32.h"
#include "mpeg/synthesis_window.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumetra::mpeg {
namespace {

using Float4 = float __attribute__((vector_size(16)));
using Int4 = int __attribute__((vector_size(16)));

} // namespace

Synthesis::Synthesis()
{
    std::memset(m_history, 0, sizeof m_history);
    std::memset(m_window, 0, sizeof m_window);
}

int Synthesis::Synthesize(const float subbands[32], int channel, int16_t* out)
{
    if (!m_ready) {
        ReadSynthesisWindow(m_window);
        m_ready = true;
    }
    const int offset = m_offset[channel] = (m_offset[channel] - 64) & 1023;
    float* history = m_history[channel];

    // V[i] = sum cos((16 + i)(2k + 1) pi / 64) S[k] from the DCT X of S:
    // V[0..15] = X[16..31], V[16] = 0, V[17..48] = -X[31..0], V[49..63] = -X[1..15].
    float x[32];
    Dct32(subbands, x);
    float* v = history + offset;
#pragma GCC unroll 32
    for (int i = 0; i < 16; ++i)
        v[i] = x[16 + i];
    v[16] = 0.0f;
    // v[17..48] = -x[31..0], four at a time: reversed and negated.
#pragma GCC unroll 8
    for (int i = 0; i < 32; i += 4) {
        Float4 part;
        __builtin_memcpy(&part, x + 28 - i, sizeof part);
        part = -__builtin_shufflevector(part, part, 3, 2, 1, 0);
        __builtin_memcpy(v + 17 + i, &part, sizeof part);
    }
#pragma GCC unroll 32
    for (int i = 49; i < 64; ++i)
        v[i] = -x[i - 48];

    // Each window row of 32 coefficients meets 32 consecutive history values:
    // the row start is a multiple of 32, so the 1023 mask never splits a row.
    // Rows are taken four samples at a time; every sample still adds its 16
    // products in row order, so the result equals the plain loop bit for bit.
    Float4 sum[8] = {};
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
        const Float4* d = reinterpret_cast<const Float4*>(m_window + 32 * i);
        const Float4* h = reinterpret_cast<const Float4*>(history + ((32 * i + ((i + 1) / 2) * 64 + offset) & 1023));
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k)
            sum[k] += d[k] * h[k];
    }

    // Scaling by 2^15 is exact, so the plain conversion below equals ToPcm16
    // whenever nothing needs limiting; only then the slow path is skipped.
    Float4 scaled[8];
    Int4 inRange = {-1, -1, -1, -1};
    for (int k = 0; k < 8; ++k) {
        scaled[k] = sum[k] * 32768.0f;
        inRange &= (scaled[k] < 32768.0f) & (scaled[k] >= -32768.0f);
    }
    int clips = 0;
    if ((inRange[0] & inRange[1] & inRange[2] & inRange[3]) != -1) {
        for (int k = 0; k < 8; ++k)
            for (int j = 0; j < 4; ++j)
                out[4 * k + j] = ToPcm16(sum[k][j], clips);
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

} // namespace lumetra::mpeg
