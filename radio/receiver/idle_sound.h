#pragma once
// The resource sound that loops while a radio transmission is lost ("IDLE"),
// played through its own wave device on the wave line.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "platform/audio/wave_out.h"

namespace lumetra::radio {

struct WavImage {
    platform::audio::WaveFormat format;
    std::span<const uint8_t> data;
};

// A PCM WAV file's format and sample bytes, or nothing when it is not one.
std::optional<WavImage> ParseWav(std::span<const uint8_t> bytes);

class IdleSound {
public:
    explicit IdleSound(platform::audio::AudioSystem& audio) : m_audio(audio) {}
    ~IdleSound() { Stop(); }

    // Starts looping the "IDLE" wave resource; false when it cannot be played.
    bool Start();
    void Stop();
    bool Playing() const { return m_device != nullptr; }

private:
    platform::audio::AudioSystem& m_audio;
    std::unique_ptr<platform::audio::WaveOutDevice> m_device;
    platform::audio::WaveHeader m_header;
    std::mutex m_loopLock;
    bool m_looping = false;
};

} // namespace lumetra::radio
