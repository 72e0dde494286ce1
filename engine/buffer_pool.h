#pragma once
// Output buffers of one open device: the 1024-byte silent priming buffer and enough
// one-frame buffers for the three-second queue. They are allocated once when the
// device opens and released when it closes, so the feeder and the buffer thread
// allocate nothing per frame.

#include "platform/audio/wave_out.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lumetra::engine {

inline constexpr std::size_t kPrimingBytes = 1024;
// The largest frame: 1152 samples of two 16-bit channels.
inline constexpr std::size_t kBlockBytes = 4608;

class BufferPool {
public:
    // count frame buffers of blockBytes each, plus the priming buffer.
    void Allocate(std::size_t count, std::size_t blockBytes);
    void Release();

    platform::audio::WaveHeader* Priming();
    // A frame buffer, or nullptr when all are out.
    platform::audio::WaveHeader* Take();
    void Give(platform::audio::WaveHeader* header);

    bool IsPriming(const platform::audio::WaveHeader* header) const;
    bool Owns(const platform::audio::WaveHeader* header) const;
    std::size_t BlockBytes() const { return m_blockBytes; }
    std::size_t Capacity() const { return m_headers.empty() ? 0 : m_headers.size() - 1; }

private:
    std::vector<platform::audio::WaveHeader> m_headers; // [0] is the priming buffer
    std::unique_ptr<uint8_t[]> m_data;
    std::vector<platform::audio::WaveHeader*> m_free;
    std::size_t m_blockBytes = 0;
};

} // namespace lumetra::engine
