#pragma once
// CRC-16 (generator 0x8005, start 0xFFFF, most significant bit first) of the
// protected frame bits.

#include "mpeg/frame_header.h"

#include <cstdint>

namespace lumetra::mpeg {

class FrameCrc {
public:
    void Add(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            bool carry = (m_crc & 0x8000u) != 0;
            m_crc = (m_crc << 1) & 0xFFFFu;
            if (carry != (((value >> i) & 1u) != 0))
                m_crc ^= 0x8005u;
        }
    }
    // The header bits from the bitrate index to the emphasis.
    void AddHeader(const FrameHeader& h)
    {
        Add(h.bitrateIndex, 4);
        Add(h.samplingFrequency, 2);
        Add(h.padding, 1);
        Add(h.extension, 1);
        Add(h.mode, 2);
        Add(h.modeExt, 2);
        Add(h.copyright, 1);
        Add(h.original, 1);
        Add(h.emphasis, 2);
    }
    uint16_t Value() const { return static_cast<uint16_t>(m_crc & 0xFFFFu); }

private:
    uint32_t m_crc = 0xFFFFu;
};

} // namespace lumetra::mpeg
