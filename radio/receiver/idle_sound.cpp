#include "radio/receiver/idle_sound.h"

#include <algorithm>
#include <cstring>

#include "platform/resources/resources.h"

namespace lumetra::radio {
namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

constexpr int kDefaultDevice = 0;

} // namespace

std::optional<WavImage> ParseWav(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    std::optional<platform::audio::WaveFormat> format;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + pos;
        size_t size = Le32(chunk + 4);
        size_t body = pos + 8;
        size_t available = bytes.size() - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16 && available >= 16) {
            platform::audio::WaveFormat f;
            f.formatTag = Le16(chunk + 8);
            f.channels = Le16(chunk + 10);
            f.samplesPerSec = Le32(chunk + 12);
            f.avgBytesPerSec = Le32(chunk + 16);
            f.blockAlign = Le16(chunk + 20);
            f.bitsPerSample = Le16(chunk + 22);
            if (f.formatTag != 1 || f.channels == 0 || f.blockAlign == 0)
                return std::nullopt;
            format = f;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format)
                return std::nullopt;
            size_t n = std::min(size, available);
            n -= n % format->blockAlign;
            if (n == 0)
                return std::nullopt;
            return WavImage{*format, bytes.subspan(body, n)};
        }
        if (size > available)
            break;
        pos = body + size + (size & 1);
    }
    return std::nullopt;
}

bool IdleSound::Start()
{
    Stop();
    auto resource = platform::FindResource("wave", "IDLE");
    if (!resource)
        return false;
    auto wav = ParseWav(*resource);
    if (!wav)
        return false;
    {
        std::lock_guard lock(m_loopLock);
        m_looping = true;
    }
    // Each time the sound comes back it is queued again until Stop.
    auto again = [this](platform::audio::WaveOutDevice* device, platform::audio::WaveHeader* header) {
        std::lock_guard lock(m_loopLock);
        if (m_looping)
            device->Write(header);
    };
    if (m_audio.Open(kDefaultDevice, wav->format, again, m_device) != platform::audio::kWaveOk || !m_device) {
        m_device.reset();
        return false;
    }
    m_header = platform::audio::WaveHeader{};
    m_header.data = const_cast<uint8_t*>(wav->data.data());  // the device only reads it
    m_header.bufferLength = uint32_t(wav->data.size());
    if (m_device->Prepare(&m_header) != platform::audio::kWaveOk || m_device->Write(&m_header) != platform::audio::kWaveOk) {
        Stop();
        return false;
    }
    return true;
}

void IdleSound::Stop()
{
    {
        std::lock_guard lock(m_loopLock);
        m_looping = false;
    }
    if (!m_device)
        return;
    m_device->Reset();
    m_device->Unprepare(&m_header);
    m_device->Close();
    m_device.reset();
}

} // namespace lumetra::radio
