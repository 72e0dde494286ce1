#pragma once
// Writes PCM to a canonical 44-byte-header WAV file whose sizes are rewritten
// after every append, so the file is valid at any moment (also after a crash).

#include "platform/audio/wave_out.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace lumetra::platform::audio {

class WavFileWriter {
public:
    WavFileWriter() = default;
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;
    ~WavFileWriter();

    // With append set, a file already holding this format keeps its samples and
    // grows; anything else is truncated and started afresh.
    bool Open(const std::string& path, const WaveFormat& format, bool append);
    bool Append(const uint8_t* data, size_t bytes);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    uint64_t DataBytes() const { return m_dataBytes; }

private:
    bool WriteSizes();

    int m_fd = -1;
    uint64_t m_dataBytes = 0;
};

} // namespace lumetra::platform::audio
