#pragma once
// The audio a station plays: a file decoded by ffmpeg to 16-bit mono at the coded
// rate and held in memory, or the demo music; played in a loop, one frame at a time.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumetra::station {

class AudioSource {
public:
    // Loads path (empty: demo music) at sampleRate; false with a message on error.
    bool Load(const std::string& path, int sampleRate, std::string& error);

    // The next samples, wrapping round at the end.
    void NextFrame(std::span<int16_t> frame);

    std::size_t SampleCount() const { return m_samples.size(); }

private:
    std::vector<int16_t> m_samples;
    std::size_t m_position = 0;
};

} // namespace lumetra::station
