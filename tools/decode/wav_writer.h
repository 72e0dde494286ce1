#pragma once
// Writes 16-bit PCM WAV files; the RIFF and data sizes are filled in on Close.

#include <cstdint>
#include <cstdio>

namespace lumetra::tools {

class WavWriter {
public:
    ~WavWriter();
    bool Open(const char* path, int sampleRate, int channels);
    bool Write(const int16_t* samples, std::size_t count);
    bool Close(); // false when a write or the final header update failed

private:
    FILE* m_file = nullptr;
    uint32_t m_dataBytes = 0;
    bool m_failed = false;
};

} // namespace lumetra::tools
