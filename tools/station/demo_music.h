#pragma once
// Music-like demo audio made on the spot: a four-chord loop with plucked
// arpeggios, a bass line, kick drum and hi-hat, 16-bit mono at any rate.

#include <cstdint>
#include <vector>

namespace lumetra::station {

// One loop of the demo music (8 seconds) at sampleRate.
std::vector<int16_t> MakeDemoMusic(int sampleRate);

inline constexpr const char* kDemoTitle = "Lumetra Demo Loop";

} // namespace lumetra::station
