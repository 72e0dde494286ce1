#pragma once
// Minimal RIFF WAVE reading and writing for the codec tool: PCM 8 or 16 bits,
// any channel count (mixed down to mono on reading).

#include <cstdint>
#include <string>
#include <vector>

namespace lumetra::tools {

struct MonoPcm {
    int sampleRate = 0;
    std::vector<int16_t> samples;
};

// Reads path; on failure returns false and sets error.
bool ReadWavMono(const std::string& path, MonoPcm& pcm, std::string& error);

// Writes unsigned 8-bit mono samples as a WAV file.
bool WriteWav8(const std::string& path, int sampleRate, const std::vector<uint8_t>& samples);

} // namespace lumetra::tools
