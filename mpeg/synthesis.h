#pragma once
// Polyphase synthesis: 32 subband samples of one channel to 32 PCM samples.
// History and window live as long as the object (the decoder context keeps one
// for the whole process); the window is read from "dewindow" on the first call.

#include <cstdint>

namespace lumetra::mpeg {

// A window sum to a 16-bit sample: x 32768, truncated toward zero, limited to
// -32768..32767; counts a clip when the limit was needed.
inline int16_t ToPcm16(double sum, int& clips)
{
    const double value = sum * 32768.0;
    if (value >= 32768.0) {
        ++clips;
        return 32767;
    }
    if (value < -32768.0) {
        ++clips;
        return -32768;
    }
    if (value != value)
        return 0; // NaN from damaged input
    return static_cast<int16_t>(static_cast<int>(value));
}

class Synthesis {
public:
    // Wide: eight-float vectors where the processor has them (AVX2). Both
    // widths give the same samples; tests compare them.
    explicit Synthesis(bool wide = true);
    // Writes 32 consecutive samples to out; returns the number clipped.
    int Synthesize(const float subbands[32], int channel, int16_t* out);
    // count consecutive time slots of one channel, slot t from in[t] to out[t];
    // the same as count calls of Synthesize, only faster.
    int SynthesizeSlots(const float (*in)[32], int count, int channel, int16_t (*out)[32]);

    using Kernel = int (*)(float* history, int& offset, const float* window, const float (*in)[32], int count,
                           int16_t (*out)[32]);

private:
    alignas(32) float m_history[2][1024];
    int m_offset[2] = {64, 64};
    alignas(32) float m_window[512];
    bool m_ready = false;
    Kernel m_kernel;
};

} // namespace lumetra::mpeg
