#pragma once
// Reads a coefficient bit stream most significant bit first. Never reads past the
// end: a read that needs missing bits fails and leaves the reader exhausted.

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumetra::radio {

class FrameBitReader {
public:
    explicit FrameBitReader(std::span<const uint8_t> bytes) : m_bytes(bytes), m_bitCount(bytes.size() * 8) {}

    // Reads n bits (0..24) into value; false when fewer than n bits remain.
    bool Read(int n, uint32_t& value)
    {
        if (m_exhausted || m_bitCount - m_bitPos < static_cast<std::size_t>(n)) {
            m_exhausted = true;
            return false;
        }
        uint32_t v = 0;
        for (int k = 0; k < n; ++k) {
            const std::size_t pos = m_bitPos++;
            v = (v << 1) | ((m_bytes[pos >> 3] >> (7 - (pos & 7))) & 1u);
        }
        value = v;
        return true;
    }

    // Counts zero bits from start up to limit, consuming the terminating one bit
    // when it comes before the limit. False when the data ends first.
    bool CountZeros(int start, int limit, int& count)
    {
        int z = start;
        while (z < limit) {
            if (m_bitPos >= m_bitCount) {
                m_exhausted = true;
                return false;
            }
            const std::size_t pos = m_bitPos++;
            if ((m_bytes[pos >> 3] >> (7 - (pos & 7))) & 1u)
                break;
            ++z;
        }
        count = z;
        return true;
    }

    bool Exhausted() const { return m_exhausted; }
    std::size_t BitPosition() const { return m_bitPos; }

private:
    std::span<const uint8_t> m_bytes;
    std::size_t m_bitCount;
    std::size_t m_bitPos = 0;
    bool m_exhausted = false;
};

} // namespace lumetra::radio
