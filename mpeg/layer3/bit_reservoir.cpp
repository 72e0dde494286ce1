#include "mpeg/layer3/bit_reservoir.h"

#include <cstring>

namespace lumetra::mpeg {

void BitReservoir::Reset()
{
    std::memset(m_words, 0, sizeof m_words);
    m_writeBytes = 0;
    m_limitBits = 0;
    m_readBits = 0;
    m_frameStart = 0;
}

int BitReservoir::BeginFrame(int mainDataBegin, int mainDataSlots)
{
    // Decoding of the previous frame ended here; main data starts on a byte.
    int32_t mainDataEnd = m_readBits >> 3;
    if (m_readBits & 7) {
        m_readBits += 8 - (m_readBits & 7);
        ++mainDataEnd;
    }
    const int discard = m_frameStart - mainDataEnd - mainDataBegin;
    // Keep the counters small: the ring position is the same 4096 bytes back.
    if (mainDataEnd > kBytes) {
        m_frameStart -= kBytes;
        m_readBits -= kBytes * 8;
        m_writeBytes -= kBytes;
        m_limitBits = m_writeBytes * 8;
    }
    m_frameStart += mainDataSlots;
    if (discard >= 0)
        m_readBits += discard * 8;
    return discard;
}

} // namespace lumetra::mpeg
