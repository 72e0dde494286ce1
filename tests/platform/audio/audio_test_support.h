#pragma once
// Helpers shared by the sound output tests: buffers that remember what came back.

#include "platform/audio/wave_out.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

namespace lumetra::platform::audio::testing {

// Records every returned header in arrival order.
class DoneLog {
public:
    DoneCallback Callback()
    {
        return [this](WaveOutDevice*, WaveHeader* header) {
            std::lock_guard lock(m_mutex);
            m_headers.push_back(header);
            m_changed.notify_all();
        };
    }
    bool WaitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_headers.size() >= count; });
    }
    std::vector<WaveHeader*> Headers()
    {
        std::lock_guard lock(m_mutex);
        return m_headers;
    }
    size_t Count()
    {
        std::lock_guard lock(m_mutex);
        return m_headers.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<WaveHeader*> m_headers;
};

// Buffers cut from one block of sound, each header's user value its index.
struct BufferSet {
    std::vector<uint8_t> bytes;
    std::vector<WaveHeader> headers;

    BufferSet(std::vector<uint8_t> sound, size_t pieceBytes) : bytes(std::move(sound))
    {
        for (size_t at = 0; at < bytes.size(); at += pieceBytes) {
            WaveHeader h;
            h.data = bytes.data() + at;
            h.bufferLength = static_cast<uint32_t>(std::min(pieceBytes, bytes.size() - at));
            h.user = static_cast<intptr_t>(headers.size());
            headers.push_back(h);
        }
    }
};

// Prepares and queues every buffer; false at the first one refused.
inline bool WriteAll(WaveOutDevice& device, BufferSet& set)
{
    for (WaveHeader& h : set.headers) {
        if (device.Prepare(&h) != kWaveOk || device.Write(&h) != kWaveOk)
            return false;
    }
    return true;
}

// A 16-bit tone with some harmonics so that alignment by correlation is unambiguous.
inline std::vector<uint8_t> Tone16(int channels, int rate, double seconds, double amplitude = 12000)
{
    size_t frames = static_cast<size_t>(rate * seconds);
    std::vector<uint8_t> out(frames * channels * 2);
    for (size_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / rate;
        double v = amplitude * (0.6 * std::sin(2 * M_PI * 440 * t) + 0.3 * std::sin(2 * M_PI * 1234 * t) +
                                0.1 * std::sin(2 * M_PI * 97 * t));
        for (int c = 0; c < channels; ++c) {
            auto s = static_cast<int16_t>(c == 0 ? v : -v / 2);
            out[(i * channels + c) * 2] = static_cast<uint8_t>(static_cast<uint16_t>(s) & 0xFF);
            out[(i * channels + c) * 2 + 1] = static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8);
        }
    }
    return out;
}

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline uint32_t Le32(const std::vector<uint8_t>& d, size_t at)
{
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (static_cast<uint32_t>(d[at + 3]) << 24);
}

// A fresh temporary directory removed at the end of the test.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/lumetra-audio-XXXXXX";
        m_path = mkdtemp(pattern) ? pattern : "/tmp";
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace lumetra::platform::audio::testing
