#pragma once
// Writes a coefficient bit stream most significant bit first into a byte buffer of
// fixed capacity; bits beyond the capacity are counted but not stored, so an
// encoder can measure a frame that does not fit.

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumetra::radio {

class FrameBitWriter {
public:
    explicit FrameBitWriter(std::span<uint8_t> buffer) : m_buffer(buffer) {}

    void Write(uint32_t value, int n)
    {
        for (int k = n - 1; k >= 0; --k)
            PutBit((value >> k) & 1u);
    }
    void WriteZeros(int n)
    {
        for (int k = 0; k < n; ++k)
            PutBit(0);
    }

    std::size_t BitCount() const { return m_bitPos; }
    std::size_t ByteCount() const { return (m_bitPos + 7) / 8; }
    bool Overflowed() const { return ByteCount() > m_buffer.size(); }

private:
    void PutBit(uint32_t bit)
    {
        const std::size_t byte = m_bitPos >> 3;
        if (byte < m_buffer.size()) {
            const auto mask = static_cast<uint8_t>(0x80u >> (m_bitPos & 7));
            m_buffer[byte] = static_cast<uint8_t>(bit ? (m_buffer[byte] | mask) : (m_buffer[byte] & ~mask));
        }
        ++m_bitPos;
    }

    std::span<uint8_t> m_buffer;
    std::size_t m_bitPos = 0;
};

} // namespace lumetra::radio
