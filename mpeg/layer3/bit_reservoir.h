#pragma once
// The main-data bit reservoir: a ring of 1024 32-bit words that receives each
// frame's main data (first byte most significant) and is read bit by bit by
// the granules, which may start in earlier frames' data. Reads never see past
// the last byte written: bits there read as zeros.

#include <cstdint>

namespace lumetra::mpeg {

class BitReservoir {
public:
    static constexpr int kWords = 1024;
    static constexpr int kBytes = kWords * 4;

    BitReservoir() { Reset(); }

    // Empty reservoir, read position at the start, frame start 0.
    void Reset();

    void AppendByte(uint32_t byte)
    {
        const uint32_t index = static_cast<uint32_t>(m_writeBytes >> 2) & (kWords - 1);
        const int shift = 24 - 8 * static_cast<int>(m_writeBytes & 3);
        m_words[index] = (m_words[index] & ~(0xffu << shift)) | ((byte & 0xffu) << shift);
        ++m_writeBytes;
        m_limitBits = m_writeBytes * 8;
    }

    // Four bytes at once, first byte most significant; same as four AppendByte.
    void AppendWord(uint32_t word)
    {
        const uint32_t index = static_cast<uint32_t>(m_writeBytes >> 2) & (kWords - 1);
        const int shift = 8 * static_cast<int>(m_writeBytes & 3);
        m_words[index] = (m_words[index] & ~(0xffffffffu >> shift)) | (word >> shift);
        if (shift) {
            uint32_t& next = m_words[(index + 1) & (kWords - 1)];
            next = (next & (0xffffffffu >> shift)) | (word << (32 - shift));
        }
        m_writeBytes += 4;
        m_limitBits = m_writeBytes * 8;
    }

    // Positions the reader at the main data of a frame whose main data
    // (mainDataSlots bytes) has just been appended and that starts
    // mainDataBegin bytes before them. Returns the bytes skipped, negative when
    // the frame refers to data the reservoir never received (the frame is to
    // be given up).
    int BeginFrame(int mainDataBegin, int mainDataSlots);

    // The next 32 bits without consuming them; bits past the written data are 0.
    uint32_t Peek32() const { return PeekAt(m_readBits); }
    uint32_t ReadBits(int n)
    {
        if (n <= 0)
            return 0;
        const uint32_t v = Peek32() >> (32 - n);
        m_readBits += n;
        return v;
    }
    uint32_t ReadBit() { return ReadBits(1); }
    void SkipBits(int n) { m_readBits += n; }
    // Bits consumed so far (the read bit counter); may pass the written data.
    int32_t Position() const { return m_readBits; }
    void SetPosition(int32_t bits) { m_readBits = bits; }
    // Where the written data ends, in the same count as Position().
    int32_t WrittenBits() const { return m_limitBits; }
    int32_t FrameStart() const { return m_frameStart; }

    // The 32 bits from bit position pos on.
    uint32_t PeekAt(int32_t pos) const
    {
        const uint32_t index = static_cast<uint32_t>(pos >> 5) & (kWords - 1);
        const int shift = pos & 31;
        uint32_t v = m_words[index] << shift;
        if (shift)
            v |= m_words[(index + 1) & (kWords - 1)] >> (32 - shift);
        const int32_t available = m_limitBits - pos;
        if (available < 32)
            v = available <= 0 ? 0 : v & (~0u << (32 - available));
        return v;
    }

private:
    uint32_t m_words[kWords];
    int32_t m_writeBytes = 0; // bytes written, in the frame-start count
    int32_t m_limitBits = 0;  // m_writeBytes * 8
    int32_t m_readBits = 0;   // read bit counter
    int32_t m_frameStart = 0; // bytes; where the next frame's main data goes
};

} // namespace lumetra::mpeg
