#include "mpeg/synthesis.h"

#include "mpeg/dct32.h"
#include "mpeg/synthesis_window.h"

#include <cstring>

namespace lumetra::mpeg {

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
    for (int i = 0; i < 16; ++i)
        v[i] = x[16 + i];
    v[16] = 0.0f;
    for (int i = 17; i <= 48; ++i)
        v[i] = -x[48 - i];
    for (int i = 49; i < 64; ++i)
        v[i] = -x[i - 48];

    // Each window row of 32 coefficients meets 32 consecutive history values:
    // the row start is a multiple of 32, so the 1023 mask never splits a row.
    float sum[32] = {};
    for (int i = 0; i < 16; ++i) {
        const float* d = m_window + 32 * i;
        const float* h = history + ((32 * i + ((i + 1) / 2) * 64 + offset) & 1023);
        for (int j = 0; j < 32; ++j)
            sum[j] += d[j] * h[j];
    }

    // Scaling by 2^15 is exact, so the plain conversion below equals ToPcm16
    // whenever nothing needs limiting; only then the slow path is skipped.
    float scaled[32];
    bool limit = false;
    for (int j = 0; j < 32; ++j) {
        scaled[j] = sum[j] * 32768.0f;
        limit |= !(scaled[j] < 32768.0f && scaled[j] >= -32768.0f);
    }
    int clips = 0;
    if (limit) {
        for (int j = 0; j < 32; ++j)
            out[j] = ToPcm16(sum[j], clips);
    } else {
        for (int j = 0; j < 32; ++j)
            out[j] = static_cast<int16_t>(static_cast<int>(scaled[j]));
    }
    return clips;
}

} // namespace lumetra::mpeg
