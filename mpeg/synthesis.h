#pragma once
// Polyphase synthesis: 32 subband samples of one channel to 32 PCM samples.
// History and window live as long as the object (the decoder context keeps one
// for the whole process); the window is read from "dewindow" on the first call.

#include <cstdint>

namespace lumetra::mpeg {

class Synthesis {
public:
    Synthesis();
    // Writes 32 consecutive samples to out; returns the number clipped.
    int Synthesize(const float subbands[32], int channel, int16_t* out);

private:
    alignas(32) float m_history[2][1024];
    int m_offset[2] = {64, 64};
    float m_window[512];
    bool m_ready = false;
};

} // namespace lumetra::mpeg
