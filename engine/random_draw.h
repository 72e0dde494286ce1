#pragma once
// The player's pseudo-random numbers: a linear congruential generator per thread,
// never seeded, so every run draws the same sequence (state starts at 1).

#include <cstdint>

namespace lumetra::engine {

class RandomGenerator {
public:
    // 0..32767: bits 16 to 30 of the next state.
    int Draw()
    {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state = 1;
};

// The calling thread's generator.
int RandomDraw();

} // namespace lumetra::engine
