#include "engine/buffer_pool.h"

#include <cstring>

namespace lumetra::engine {

using platform::audio::WaveHeader;

void BufferPool::Allocate(std::size_t count, std::size_t blockBytes)
{
    m_blockBytes = blockBytes;
    m_headers.assign(count + 1, WaveHeader{});
    m_data.reset(new uint8_t[kPrimingBytes + count * blockBytes]);
    std::memset(m_data.get(), 0, kPrimingBytes);
    m_headers[0].data = m_data.get();
    m_free.clear();
    m_free.reserve(count);
    for (std::size_t i = count; i >= 1; --i) {
        m_headers[i].data = m_data.get() + kPrimingBytes + (i - 1) * blockBytes;
        m_free.push_back(&m_headers[i]);
    }
}

void BufferPool::Release()
{
    m_headers.clear();
    m_headers.shrink_to_fit();
    m_free.clear();
    m_free.shrink_to_fit();
    m_data.reset();
    m_blockBytes = 0;
}

WaveHeader* BufferPool::Priming()
{
    WaveHeader* h = &m_headers[0];
    *h = WaveHeader{};
    h->data = m_data.get();
    h->bufferLength = kPrimingBytes;
    return h;
}

WaveHeader* BufferPool::Take()
{
    if (m_free.empty())
        return nullptr;
    WaveHeader* h = m_free.back();
    m_free.pop_back();
    uint8_t* data = h->data;
    *h = WaveHeader{};
    h->data = data;
    return h;
}

void BufferPool::Give(WaveHeader* header)
{
    if (!IsPriming(header))
        m_free.push_back(header);
}

bool BufferPool::IsPriming(const WaveHeader* header) const
{
    return !m_headers.empty() && header == &m_headers[0];
}

bool BufferPool::Owns(const WaveHeader* header) const
{
    return !m_headers.empty() && header >= &m_headers.front() && header <= &m_headers.back();
}

} // namespace lumetra::engine
